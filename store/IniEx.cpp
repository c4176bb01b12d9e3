#include "store/IniEx.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <system_error>
#include <utility>

#include "store/IniFile.h"
#include "text/Cp1250.h"

namespace fs = std::filesystem;

namespace {

bool IsHeader(std::string_view line) {
    return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Leading white space, an optional sign, then digits up to the first other character;
// clamped to the signed 32-bit range.
std::int32_t ParseInt(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && IsSpace(text[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        magnitude = std::min(kLimit, magnitude * 10 + (text[pos] - '0'));
    }
    if (negative) {
        return static_cast<std::int32_t>(-magnitude);
    }
    return static_cast<std::int32_t>(std::min(magnitude, kLimit - 1));
}

// A ";" starts a comment: the value ends before the last one.
std::string_view WithoutComment(std::string_view value) {
    return value.substr(0, std::min(value.size(), value.rfind(';')));
}

// Grows a full table by an eighth (at least the growth step): geometric, so that filling it stays
// linear, yet moving a table of millions of lines holds little more than twice its size.
std::size_t GrownCapacity(std::size_t capacity, int growthStep) {
    return capacity + std::max(capacity / 8, static_cast<std::size_t>(growthStep));
}

// Room for a table read from a file: the program adds a few dozen keys at most, and adding them
// to a long table must not move it (for a moment, that would hold it twice).
std::size_t WithRoomToAdd(std::size_t count) {
    return count + std::min<std::size_t>(count / 8, 128);
}

// Calls onLine for every line of text: CR LF or LF ends a line (a lone CR stays in it), and
// the last line may lack its end.
template <typename OnLine>
void ForEachLine(std::string_view text, OnLine&& onLine) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        onLine(line);
    }
}

}  // namespace

IniEntry::IniEntry(std::string_view key, std::string_view value)
    : line_(key.size() + 1 + value.size(), '=') {
    key.copy(line_.data(), key.size());
    value.copy(line_.data() + key.size() + 1, value.size());
}

void IniEntry::SetValue(std::string_view value) {
    line_.resize(KeyLength() + 1);
    line_ += value;
}

CIniEx::CIniEx(int growthStep) : growthStep_(std::max(1, growthStep)) {}

CIniEx::~CIniEx() {
    if (writeOnClose_) {
        Save();
    }
    Clear();
}

bool CIniEx::OpenInProgramFolder(const std::string& fileName, bool writeOnClose,
                                 bool createIfMissing, bool caseInsensitive) {
    return Open(ProgramFolder() / fileName, writeOnClose, createIfMissing, caseInsensitive);
}

bool CIniEx::Open(const fs::path& path, bool writeOnClose, bool createIfMissing,
                  bool caseInsensitive) {
    if (IsOpen()) {
        Save();
    }
    Clear();
    writeOnClose_ = writeOnClose;
    caseInsensitive_ = caseInsensitive;

    std::string text;
    openResult_ = inifile::Read(path, createIfMissing, kMaxFileSize, text);
    if (openResult_ != IniOpenResult::Opened) {
        return false;
    }
    path_ = path;
    Parse(text);
    return true;
}

void CIniEx::LoadText(std::string_view text, bool caseInsensitive) {
    Clear();
    caseInsensitive_ = caseInsensitive;
    Parse(text);
}

void CIniEx::Parse(std::string_view text) {
    // Count first, so that every table is allocated once at its final size: growing them line
    // by line would, at its peak, hold three entries' room for every line of the file.
    std::vector<std::uint32_t> entryCounts(1, 0);
    ForEachLine(text, [&](std::string_view line) {
        if (IsHeader(line)) {
            entryCounts.push_back(0);
        } else {
            ++entryCounts.back();
        }
    });
    sections_.reserve(
        std::max(WithRoomToAdd(entryCounts.size()), static_cast<std::size_t>(growthStep_)));
    sections_.emplace_back();
    sections_.back().entries.reserve(WithRoomToAdd(entryCounts.front()));
    ForEachLine(text, [&](std::string_view line) {
        if (IsHeader(line)) {
            IniSection& section = AppendSection({});
            const std::uint32_t count = entryCounts[sections_.size() - 1];
            // The name counts only once the section holds an entry.
            if (count > 0) {
                section.name = line.substr(1, line.size() - 2);
            }
            section.entries.reserve(WithRoomToAdd(count));
            return;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            sections_.back().entries.emplace_back(line, std::string_view());
        } else {
            sections_.back().entries.emplace_back(line.substr(0, equals), line.substr(equals + 1));
        }
    });
}

IniSection& CIniEx::AppendSection(std::string name) {
    if (sections_.size() == sections_.capacity()) {
        sections_.reserve(GrownCapacity(sections_.capacity(), growthStep_));
    }
    sections_.push_back(IniSection{std::move(name), {}});
    if (sectionIndex_) {
        sectionIndex_->emplace(Hash(sections_.back().name),
                               static_cast<std::uint32_t>(sections_.size() - 1));
    }
    return sections_.back();
}

void CIniEx::AppendEntry(std::size_t section, std::string_view key, std::string_view value) {
    std::vector<IniEntry>& entries = sections_[section].entries;
    if (entries.size() == entries.capacity()) {
        entries.reserve(GrownCapacity(entries.capacity(), growthStep_));
    }
    entries.emplace_back(key, value);
    if (const auto index = entryIndexes_.find(section); index != entryIndexes_.end()) {
        index->second[Hash(key)] = static_cast<std::uint32_t>(entries.size() - 1);
    }
}

bool CIniEx::Equal(std::string_view a, std::string_view b) const {
    if (!caseInsensitive_) {
        return a == b;
    }
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return cp1250::ToLower(static_cast<unsigned char>(x)) ==
               cp1250::ToLower(static_cast<unsigned char>(y));
    });
}

std::uint64_t CIniEx::Hash(std::string_view text) const {
    std::uint64_t hash = 14695981039346656037u;  // FNV-1a over the bytes as Equal sees them
    for (const char c : text) {
        const unsigned char byte =
            caseInsensitive_
                ? static_cast<unsigned char>(cp1250::ToLower(static_cast<unsigned char>(c)))
                : static_cast<unsigned char>(c);
        hash = (hash ^ byte) * 1099511628211u;
    }
    return hash;
}

std::size_t CIniEx::FindSection(std::string_view name) const {
    const auto scan = [&] {
        std::size_t i = 0;
        while (i < sections_.size() && !Equal(sections_[i].name, name)) {
            ++i;
        }
        return i;
    };
    if (sections_.size() < kIndexFrom) {
        return scan();
    }
    if (!sectionIndex_) {
        sectionIndex_.emplace();
        for (std::size_t i = 0; i < sections_.size(); ++i) {
            sectionIndex_->emplace(Hash(sections_[i].name), static_cast<std::uint32_t>(i));
        }
    }
    const auto hit = sectionIndex_->find(Hash(name));
    if (hit == sectionIndex_->end()) {
        return sections_.size();
    }
    return Equal(sections_[hit->second].name, name) ? hit->second : scan();
}

const IniEntry* CIniEx::FindEntry(std::size_t section, std::string_view key) const {
    const std::vector<IniEntry>& entries = sections_[section].entries;
    const auto scan = [&]() -> const IniEntry* {
        for (std::size_t i = entries.size(); i-- > 0;) {
            if (Equal(entries[i].Key(), key)) {
                return &entries[i];
            }
        }
        return nullptr;
    };
    if (entries.size() < kIndexFrom) {
        return scan();
    }
    auto [slot, fresh] = entryIndexes_.try_emplace(section);
    HashIndex& index = slot->second;
    if (fresh) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            index[Hash(entries[i].Key())] = static_cast<std::uint32_t>(i);
        }
    }
    const auto hit = index.find(Hash(key));
    if (hit == index.end()) {
        return nullptr;
    }
    return Equal(entries[hit->second].Key(), key) ? &entries[hit->second] : scan();
}

const IniEntry* CIniEx::Find(std::string_view section, std::string_view key) const {
    const std::size_t found = FindSection(section);
    return found < sections_.size() ? FindEntry(found, key) : nullptr;
}

std::string CIniEx::GetText(std::string_view section, std::string_view key,
                            std::string_view defaultValue) const {
    const IniEntry* entry = Find(section, key);
    return std::string(entry == nullptr ? defaultValue : WithoutComment(entry->Value()));
}

std::int32_t CIniEx::GetInt(std::string_view section, std::string_view key,
                            std::int32_t defaultValue) const {
    const IniEntry* entry = Find(section, key);
    return entry == nullptr ? defaultValue : ParseInt(WithoutComment(entry->Value()));
}

std::uint32_t CIniEx::GetUnsigned(std::string_view section, std::string_view key,
                                  std::uint32_t defaultValue) const {
    // A missing key gives the default itself, even one above the signed range.
    const IniEntry* entry = Find(section, key);
    return entry == nullptr ? defaultValue
                            : static_cast<std::uint32_t>(ParseInt(WithoutComment(entry->Value())));
}

bool CIniEx::SetText(std::string_view section, std::string_view key, std::string_view value) {
    const auto hasLineFeed = [](std::string_view s) { return s.find('\n') != s.npos; };
    const bool formsHeader =
        !key.empty() && key.front() == '[' && !value.empty() && value.back() == ']';
    if (hasLineFeed(section) || hasLineFeed(key) || hasLineFeed(value) ||
        key.find('=') != key.npos || formsHeader) {
        return false;
    }
    if (sections_.empty()) {
        sections_.emplace_back();  // a store that never opened still keeps its updates in memory
    }
    const std::size_t found = FindSection(section);
    if (found == sections_.size()) {
        AppendSection(std::string(section));
        modified_ = true;
    }
    auto* entry = const_cast<IniEntry*>(FindEntry(found, key));
    if (entry == nullptr) {
        AppendEntry(found, key, value);
        modified_ = true;
    } else if (entry->Value() != value) {
        // Any byte counts, letter case included: file paths are case-sensitive here.
        entry->SetValue(value);
        modified_ = true;
    }
    return true;
}

bool CIniEx::SetInt(std::string_view section, std::string_view key, std::int32_t value) {
    return SetText(section, key, std::to_string(value));
}

bool CIniEx::SetUnsigned(std::string_view section, std::string_view key, std::uint32_t value) {
    return SetText(section, key, std::to_string(value));
}

std::string CIniEx::ToText() const {
    std::size_t size = 0;
    for (const IniSection& section : sections_) {
        size += section.name.size() + 4;
        for (const IniEntry& entry : section.entries) {
            size += entry.Key().size() + entry.Value().size() + 3;
        }
    }
    std::string text;
    text.reserve(size);
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const IniSection& section = sections_[i];
        // Section 0 never has a header; a header read without entries is dropped.
        if (i > 0 && !section.entries.empty()) {
            text += '[';
            text += section.name;
            text += "]\r\n";
        }
        for (const IniEntry& entry : section.entries) {
            text += entry.Key();
            // Only a blank line goes without "=": "=value" must keep its empty key.
            if (!entry.Key().empty() || !entry.Value().empty()) {
                text += '=';
            }
            text += entry.Value();
            text += "\r\n";
        }
    }
    return text;
}

bool CIniEx::Save() {
    saveError_ = 0;
    if (!modified_) {
        saveResult_ = IniSaveResult::Written;
    } else if (path_.empty()) {
        saveResult_ = IniSaveResult::NoFile;
    } else if (const std::string text = ToText(); text.size() > kMaxFileSize) {
        // A file the store would refuse to read back is not written.
        saveResult_ = IniSaveResult::Failed;
        saveError_ = EFBIG;
    } else {
        saveResult_ = inifile::Write(path_, text, saveError_);
    }
    return saveResult_ == IniSaveResult::Written || saveResult_ == IniSaveResult::WrittenInPlace;
}

void CIniEx::Clear() {
    sections_.clear();
    sectionIndex_.reset();
    entryIndexes_.clear();
    path_.clear();
    modified_ = false;
}
