#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One line of a section: "key=value", or a line without "=" kept as a key with an empty value
// (blank lines and comments live here, so a hand-edited file survives a save).
class IniEntry {
public:
    // The key must not contain "=".
    IniEntry(std::string_view key, std::string_view value);
    std::string_view Key() const { return std::string_view(line_).substr(0, KeyLength()); }
    std::string_view Value() const { return std::string_view(line_).substr(KeyLength() + 1); }
    void SetValue(std::string_view value);
    bool operator==(const IniEntry&) const = default;

private:
    std::size_t KeyLength() const { return line_.find('='); }

    // Key, "=" and value in one string, split at its first "=": a file of many short lines
    // costs one small object per line, with no allocation of its own up to the short-string
    // size.
    std::string line_;
};

// Why Open refused a file, or why Save wrote nothing.
enum class IniOpenResult {
    Opened,
    CannotOpen,      // missing (without create), or not creatable
    Unreadable,      // there, but not to be read (permissions): never written either
    NotRegularFile,  // a folder, pipe, device or socket: never read, never written
    TooLarge,        // above kMaxFileSize: not read, never written
};
enum class IniSaveResult {
    Written,         // replaced through a new file, or nothing needed writing
    WrittenInPlace,  // the folder took no new file, so the file itself was rewritten
    NoFile,          // the store has no file (never opened, or the file was refused)
    ReadOnly,        // the file is write-protected (mode, immutable flag, read-only mount)
    // Neither way of writing worked; the old file is as it was. (On Windows, should a replace
    // take the old file away and neither move nor write the new one under its name, the
    // settings stay in the new file beside it, never deleted.)
    Failed,
};

// Section 0 is the unnamed run of lines before the first header. A section read from a header
// keeps an empty name until its first entry, so an empty section is neither found nor written.
struct IniSection {
    std::string name;
    std::vector<IniEntry> entries;
    bool operator==(const IniSection&) const = default;
};

// The settings file store: an INI-style text file held whole in memory. Keys and values are
// 8-bit strings kept byte for byte (the file is in Windows-1250; converting is the caller's job).
// A ";" inside a value starts a comment: lookups return the value up to its last ";".
// Used from one thread only.
class CIniEx {
public:
    // A settings file is a few kilobytes; anything this large is damage or a mistake.
    static constexpr std::uint64_t kMaxFileSize = std::uint64_t{16} << 20;

    explicit CIniEx(int growthStep = 4);
    ~CIniEx();  // saves when opened with writeOnClose, then clears
    CIniEx(const CIniEx&) = delete;
    CIniEx& operator=(const CIniEx&) = delete;

    // Opens fileName in the folder of the running executable (see ProgramFolder).
    bool OpenInProgramFolder(const std::string& fileName, bool writeOnClose, bool createIfMissing,
                             bool caseInsensitive);
    // Reads the whole file at path. An open store is saved and cleared first. Fails, leaving the
    // store empty, when the file cannot be read (or created), is not a regular file or is larger
    // than kMaxFileSize (see LastOpenResult). A file that cannot be written is still read.
    bool Open(const std::filesystem::path& path, bool writeOnClose, bool createIfMissing,
              bool caseInsensitive);
    IniOpenResult LastOpenResult() const { return openResult_; }

    std::string GetText(std::string_view section, std::string_view key,
                        std::string_view defaultValue) const;
    // Decimal parse of the value: leading white space, optional sign, digits up to the first
    // other character, clamped to the signed 32-bit range; no digits gives 0.
    std::int32_t GetInt(std::string_view section, std::string_view key,
                        std::int32_t defaultValue) const;
    // GetInt's parse taken as unsigned: "-1" reads as 4294967295, values above 2147483647 clamp.
    std::uint32_t GetUnsigned(std::string_view section, std::string_view key,
                              std::uint32_t defaultValue) const;

    // Replaces the value of the key (the last one of that name in the first section of that
    // name) or appends the key, and the section, when missing. Returns false, changing nothing,
    // for text that would not read back as the same entry: a line feed anywhere, "=" in the key,
    // or a key and value that would form a header line.
    bool SetText(std::string_view section, std::string_view key, std::string_view value);
    bool SetInt(std::string_view section, std::string_view key, std::int32_t value);
    bool SetUnsigned(std::string_view section, std::string_view key, std::uint32_t value);

    // Writes the file when the store is modified (the mark stays set). The new content goes to a
    // temporary file beside the old one, which then replaces it. When the folder takes no new
    // file (or the rename fails) the file is rewritten in place instead, after reserving its new
    // size. A write-protected file is left alone, and so is a content above kMaxFileSize. Returns
    // true when nothing needed writing or the file was written; LastSaveResult and LastSaveError
    // (an errno value) tell the rest.
    bool Save();
    IniSaveResult LastSaveResult() const { return saveResult_; }
    int LastSaveError() const { return saveError_; }
    // Drops all sections and the path, and clears the modified mark.
    void Clear();

    // Replaces the content with text read as a file would be; no path, so Save writes nothing.
    void LoadText(std::string_view text, bool caseInsensitive);
    // The content in its written form (CR LF line ends).
    std::string ToText() const;

    const std::filesystem::path& Path() const { return path_; }
    bool IsOpen() const { return !path_.empty(); }
    bool IsModified() const { return modified_; }
    const std::vector<IniSection>& Sections() const { return sections_; }

    // The folder of the running executable; the current directory when that is unknown.
    static std::filesystem::path ProgramFolder();

private:
    // Tables this long are searched through hash indexes, built on first use: a damaged file of
    // millions of lines must not make each of the program's lookups scan them all. An index
    // maps the hash of a folded name or key to the section (the first) or entry (the last) of
    // that hash; a hit is confirmed by comparing, and a collision falls back to a scan.
    static constexpr std::size_t kIndexFrom = 64;
    using HashIndex = std::unordered_map<std::uint64_t, std::uint32_t>;

    bool Equal(std::string_view a, std::string_view b) const;
    std::uint64_t Hash(std::string_view text) const;
    // Index in sections_, or sections_.size() when there is none of that name.
    std::size_t FindSection(std::string_view name) const;
    const IniEntry* FindEntry(std::size_t section, std::string_view key) const;
    const IniEntry* Find(std::string_view section, std::string_view key) const;
    IniSection& AppendSection(std::string name);
    void AppendEntry(std::size_t section, std::string_view key, std::string_view value);
    void Parse(std::string_view text);  // into a cleared store

    std::filesystem::path path_;
    int growthStep_;
    bool caseInsensitive_ = true;
    bool writeOnClose_ = false;
    bool modified_ = false;
    IniOpenResult openResult_ = IniOpenResult::CannotOpen;
    IniSaveResult saveResult_ = IniSaveResult::Written;
    int saveError_ = 0;
    std::vector<IniSection> sections_;
    mutable std::optional<HashIndex> sectionIndex_;
    mutable std::unordered_map<std::size_t, HashIndex> entryIndexes_;
};
