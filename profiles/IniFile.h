// An INI settings file held as its lines: reads and writes strings, integers and booleans by
// section and key. Look-up ignores ASCII case; every line the class does not change (comments,
// other sections and keys, lines it cannot parse) is written back as it was read. Writes go to
// memory until UpdateFile, which replaces the file atomically. Not thread-safe: one owner at a
// time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velto {

class TIniFile {
public:
    // Reads fileName at once. A missing file is an empty one; a file that exists but cannot be
    // read is treated as empty for reading, and UpdateFile then refuses to replace it.
    explicit TIniFile(std::string fileName);

    const std::string& FileName() const { return FFileName; }
    // False when the file existed but could not be read (or was too large to be settings).
    bool Loaded() const { return FLoaded; }

    bool SectionExists(const std::string& section) const;
    bool ValueExists(const std::string& section, const std::string& key) const;

    // The value with surrounding blanks removed; defaultValue when the key is absent.
    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // Decimal (optionally signed) or hexadecimal with "0x" or "$"; anything else, an empty value
    // or a number outside 32 bits gives defaultValue.
    std::int32_t ReadInteger(const std::string& section, const std::string& key,
                             std::int32_t defaultValue) const;
    // Any integer other than 0 is true.
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

    // Create the section or key as needed. A name or value that cannot be stored on one line (a
    // line break, or a section name with "]", a key with "=" or starting with ";" or "[") is
    // refused: nothing changes and the call returns false.
    bool WriteString(const std::string& section, const std::string& key, const std::string& value);
    bool WriteInteger(const std::string& section, const std::string& key, std::int32_t value);
    // Written as "1" or "0".
    bool WriteBool(const std::string& section, const std::string& key, bool value);

    // Writes every line to a temporary file beside the target and renames it over the target, so
    // the old file stays whole until the new one is complete. False (with LastError) on any
    // failure; the old file is then untouched.
    bool UpdateFile();
    const std::string& LastError() const { return FLastError; }

private:
    struct TLine {
        std::string Text;    // as read, without the line break
        std::string Section; // for a section header: its name
        std::string Key;     // for a key line: its name
        std::string Value;   // for a key line: its value
        enum { lkOther, lkSection, lkKey } Kind = lkOther;
    };

    void Parse(const std::string& content);
    // Index of the header line of the first section of that name, or -1.
    int FindSection(const std::string& section) const;
    // Index of the first key line of that name inside the section starting at header, or -1.
    int FindKey(int header, const std::string& key) const;
    // Index one past the last line of the section starting at header.
    int SectionEnd(int header) const;

    std::string FFileName;
    std::vector<TLine> FLines;
    std::string FLineBreak = "\n";
    bool FHasBOM = false;
    bool FLoaded = true;
    std::string FLastError;
};

} // namespace velto
