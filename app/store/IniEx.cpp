#include "app/store/IniEx.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <random>
#include <system_error>
#include <utility>

#include "app/store/Cp1250.h"

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

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Creates a new file beside target, readable and writable as a fresh file would be (umask).
int CreateTempBeside(const fs::path& target, fs::path& tempPath) {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::minstd_rand random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kChars - 2);
    // A shortened stem keeps the name within NAME_MAX for long file names.
    const std::string stem = target.filename().string().substr(0, 200);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = stem + ".tmp-";
        for (int i = 0; i < 6; ++i) {
            name += kChars[pick(random)];
        }
        tempPath = target.parent_path() / name;
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

void SyncFolder(const fs::path& folder) {
    FileDescriptor dir(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) {
        ::fsync(dir.Get());
    }
}

// Writes content to a new file and renames it over target; target stays as it was on failure.
bool ReplaceFile(const fs::path& path, std::string_view content) {
    // A symbolic link stays a link: the file it points to is the one replaced. A file that
    // has gone meanwhile is simply written anew.
    fs::path target = path;
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        std::error_code ec;
        target = fs::weakly_canonical(path, ec);
        if (ec) {
            return false;
        }
    }
    struct stat old {};
    const bool hadOld = ::stat(target.c_str(), &old) == 0;

    fs::path tempPath;
    FileDescriptor file(CreateTempBeside(target, tempPath));
    if (file.Get() < 0) {
        return false;
    }
    bool ok = WriteAll(file.Get(), content);
    if (ok && hadOld) {
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            // Only a privileged process may give the file back; others keep their own.
            (void)!::fchown(file.Get(), old.st_uid, old.st_gid);
        }
        ok = ::fchmod(file.Get(), old.st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(file.Get()) == 0;
    ok = file.Close() && ok;
    ok = ok && ::rename(tempPath.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(tempPath.c_str());
        return false;
    }
    SyncFolder(target.parent_path());
    return true;
}

}  // namespace

CIniEx::CIniEx(int growthStep) : growthStep_(std::max(1, growthStep)) {}

CIniEx::~CIniEx() {
    if (writeOnClose_) {
        Save();
    }
    Clear();
}

fs::path CIniEx::ProgramFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && exe.has_parent_path()) {
        return exe.parent_path();
    }
    fs::path current = fs::current_path(ec);
    return ec ? fs::path(".") : current;
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

    // Read and write access: a file this program could not save counts as not opened.
    const int flags = O_RDWR | O_CLOEXEC | (createIfMissing ? O_CREAT : 0);
    FileDescriptor file(path.empty() ? -1 : ::open(path.c_str(), flags, 0666));
    if (file.Get() < 0) {
        return false;
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;  // end of file, or a read error: keep what was read
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    file.Close();
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
    sections_.clear();
    sections_.reserve(static_cast<std::size_t>(growthStep_));
    sections_.emplace_back();
    std::size_t current = 0;
    std::string currentName;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (end != std::string_view::npos && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (IsHeader(line)) {
            AppendSection({});
            current = sections_.size() - 1;
            currentName = line.substr(1, line.size() - 2);
            continue;
        }
        const std::size_t equals = line.find('=');
        IniEntry entry;
        if (equals == std::string_view::npos) {
            entry.key = line;
        } else {
            entry.key = line.substr(0, equals);
            entry.value = line.substr(equals + 1);
        }
        // The name counts from the section's first entry on; copying it once keeps a long name
        // over many lines linear.
        if (sections_[current].entries.empty()) {
            sections_[current].name = currentName;
        }
        sections_[current].entries.push_back(std::move(entry));
    }
}

IniSection& CIniEx::AppendSection(std::string name) {
    if (sections_.size() == sections_.capacity()) {
        // At least the growth step, but doubling: a file with very many headers must not make
        // reading it quadratic.
        sections_.reserve(sections_.capacity() +
                          std::max(sections_.capacity(), static_cast<std::size_t>(growthStep_)));
    }
    sections_.push_back(IniSection{std::move(name), {}});
    return sections_.back();
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

const IniSection* CIniEx::FindSection(std::string_view name) const {
    const auto it = std::find_if(sections_.begin(), sections_.end(),
                                 [&](const IniSection& s) { return Equal(s.name, name); });
    return it == sections_.end() ? nullptr : &*it;
}

IniSection* CIniEx::FindSection(std::string_view name) {
    return const_cast<IniSection*>(std::as_const(*this).FindSection(name));
}

std::string CIniEx::GetText(std::string_view section, std::string_view key,
                            std::string_view defaultValue) const {
    const IniSection* found = FindSection(section);
    if (found == nullptr) {
        return std::string(defaultValue);
    }
    const auto entry = std::find_if(found->entries.rbegin(), found->entries.rend(),
                                    [&](const IniEntry& e) { return Equal(e.key, key); });
    if (entry == found->entries.rend()) {
        return std::string(defaultValue);
    }
    const std::string& value = entry->value;
    return value.substr(0, std::min(value.size(), value.rfind(';')));
}

std::int32_t CIniEx::GetInt(std::string_view section, std::string_view key,
                            std::int32_t defaultValue) const {
    return ParseInt(GetText(section, key, std::to_string(defaultValue)));
}

std::uint32_t CIniEx::GetUnsigned(std::string_view section, std::string_view key,
                                  std::uint32_t defaultValue) const {
    // A missing key gives the default itself, even one above the signed range.
    const IniSection* found = FindSection(section);
    const bool present =
        found != nullptr && std::any_of(found->entries.begin(), found->entries.end(),
                                        [&](const IniEntry& e) { return Equal(e.key, key); });
    if (!present) {
        return defaultValue;
    }
    return static_cast<std::uint32_t>(ParseInt(GetText(section, key, {})));
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
    IniSection* found = FindSection(section);
    if (found == nullptr) {
        found = &AppendSection(std::string(section));
        modified_ = true;
    }
    const auto entry = std::find_if(found->entries.rbegin(), found->entries.rend(),
                                    [&](const IniEntry& e) { return Equal(e.key, key); });
    if (entry == found->entries.rend()) {
        found->entries.push_back(IniEntry{std::string(key), std::string(value)});
        modified_ = true;
    } else if (entry->value != value) {
        // Any byte counts, letter case included: file paths are case-sensitive here.
        entry->value = value;
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
    std::string text;
    for (std::size_t i = 0; i < sections_.size(); ++i) {
        const IniSection& section = sections_[i];
        // Section 0 never has a header; a header read without entries is dropped.
        if (i > 0 && !section.entries.empty()) {
            text += '[';
            text += section.name;
            text += "]\r\n";
        }
        for (const IniEntry& entry : section.entries) {
            text += entry.key;
            // Only a blank line goes without "=": "=value" must keep its empty key.
            if (!entry.key.empty() || !entry.value.empty()) {
                text += '=';
            }
            text += entry.value;
            text += "\r\n";
        }
    }
    return text;
}

bool CIniEx::Save() {
    if (!modified_) {
        return true;
    }
    if (path_.empty()) {
        return false;
    }
    return ReplaceFile(path_, ToText());
}

void CIniEx::Clear() {
    sections_.clear();
    path_.clear();
    modified_ = false;
}
