#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// One line of a section: "key=value", or a line without "=" kept as a key with an empty value
// (blank lines and comments live here, so a hand-edited file survives a save).
struct IniEntry {
    std::string key;
    std::string value;
    bool operator==(const IniEntry&) const = default;
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
    explicit CIniEx(int growthStep = 4);
    ~CIniEx();  // saves when opened with writeOnClose, then clears
    CIniEx(const CIniEx&) = delete;
    CIniEx& operator=(const CIniEx&) = delete;

    // Opens fileName in the folder of the running executable (see ProgramFolder).
    bool OpenInProgramFolder(const std::string& fileName, bool writeOnClose, bool createIfMissing,
                             bool caseInsensitive);
    // Reads the whole file at path. An open store is saved and cleared first. Fails, leaving the
    // store empty, when the file cannot be opened for reading and writing (or created).
    bool Open(const std::filesystem::path& path, bool writeOnClose, bool createIfMissing,
              bool caseInsensitive);

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
    // temporary file beside the old one, which then replaces it; on any failure the old file is
    // untouched. Returns true when nothing needed writing or the file was written.
    bool Save();
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
    bool Equal(std::string_view a, std::string_view b) const;
    const IniSection* FindSection(std::string_view name) const;
    IniSection* FindSection(std::string_view name);
    IniSection& AppendSection(std::string name);
    void Parse(std::string_view text);

    std::filesystem::path path_;
    int growthStep_;
    bool caseInsensitive_ = true;
    bool writeOnClose_ = false;
    bool modified_ = false;
    std::vector<IniSection> sections_;
};
