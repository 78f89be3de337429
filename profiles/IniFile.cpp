#include "IniFile.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace velto {
namespace {

// Anything larger is not a settings file; reading it whole would only waste memory.
constexpr off_t kMaxFileSize = 16 * 1024 * 1024;
const std::string kBOM = "\xEF\xBB\xBF";

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Section and key names are ASCII; bytes of other scripts pass through unchanged.
bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

std::string ErrnoText(const std::string& what, const std::string& path) {
    return what + " \"" + path + "\": " + std::strerror(errno);
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

TIniFile::TIniFile(std::string fileName) : FFileName(std::move(fileName)) {
    const int fd = ::open(FFileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        FLoaded = errno == ENOENT;
        if (!FLoaded)
            FLastError = ErrnoText("Cannot read", FFileName);
        return;
    }
    struct stat info {};
    std::string content;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxFileSize;
    if (ok) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 || content.size() + static_cast<size_t>(n) > size_t(kMaxFileSize))
                ok = false;
            if (n <= 0 || !ok)
                break;
            content.append(buffer, static_cast<size_t>(n));
        }
    }
    ::close(fd);
    FLoaded = ok;
    if (ok)
        Parse(content);
    else
        FLastError = "Cannot read \"" + FFileName + "\" as a settings file";
}

void TIniFile::Parse(const std::string& content) {
    size_t pos = 0;
    if (content.compare(0, kBOM.size(), kBOM) == 0) {
        FHasBOM = true;
        pos = kBOM.size();
    }
    const size_t firstBreak = content.find('\n', pos);
    if (firstBreak != std::string::npos && firstBreak > pos && content[firstBreak - 1] == '\r')
        FLineBreak = "\r\n";
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos)
            end = content.size();
        TLine line;
        line.Text = content.substr(pos, end - pos);
        if (!line.Text.empty() && line.Text.back() == '\r')
            line.Text.pop_back();
        pos = end + 1;

        const std::string trimmed = Trim(line.Text);
        if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#') {
            // blank or comment
        } else if (trimmed[0] == '[') {
            const auto close = trimmed.find(']');
            if (close != std::string::npos) {
                line.Kind = TLine::lkSection;
                line.Section = Trim(trimmed.substr(1, close - 1));
            }
        } else if (const auto eq = trimmed.find('='); eq != std::string::npos) {
            line.Key = Trim(trimmed.substr(0, eq));
            line.Value = Trim(trimmed.substr(eq + 1));
            if (!line.Key.empty())
                line.Kind = TLine::lkKey;
        }
        FLines.push_back(std::move(line));
    }
}

int TIniFile::FindSection(const std::string& section) const {
    for (size_t i = 0; i < FLines.size(); ++i)
        if (FLines[i].Kind == TLine::lkSection && SameName(FLines[i].Section, section))
            return static_cast<int>(i);
    return -1;
}

int TIniFile::SectionEnd(int header) const {
    size_t i = static_cast<size_t>(header) + 1;
    while (i < FLines.size() && FLines[i].Kind != TLine::lkSection)
        ++i;
    return static_cast<int>(i);
}

int TIniFile::FindKey(int header, const std::string& key) const {
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i)
        if (FLines[i].Kind == TLine::lkKey && SameName(FLines[i].Key, key))
            return i;
    return -1;
}

bool TIniFile::SectionExists(const std::string& section) const {
    return FindSection(section) >= 0;
}

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
    const int header = FindSection(section);
    return header >= 0 && FindKey(header, key) >= 0;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
    const int header = FindSection(section);
    const int line = header < 0 ? -1 : FindKey(header, key);
    return line < 0 ? defaultValue : FLines[line].Value;
}

std::int32_t TIniFile::ReadInteger(const std::string& section, const std::string& key,
                                   std::int32_t defaultValue) const {
    const std::string text = ReadString(section, key, "");
    size_t pos = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+'))
        pos = 1;
    int base = 10;
    if (text.compare(pos, 1, "$") == 0) {
        base = 16;
        pos += 1;
    } else if (text.compare(pos, 2, "0x") == 0 || text.compare(pos, 2, "0X") == 0) {
        base = 16;
        pos += 2;
    }
    // from_chars would accept a second sign; only digits may follow.
    if (pos >= text.size() || text[pos] == '-' || text[pos] == '+')
        return defaultValue;
    std::int64_t magnitude = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data() + pos, end, magnitude, base);
    if (ec != std::errc() || ptr != end)
        return defaultValue;
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return defaultValue;
    return static_cast<std::int32_t>(value);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key,
                        bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

bool TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
    // Each of these would be read back as something else, or break the lines around it.
    if (section.empty() || Trim(section) != section || HasLineBreak(section) ||
        section.find(']') != std::string::npos)
        return false;
    if (key.empty() || Trim(key) != key || HasLineBreak(key) ||
        key.find('=') != std::string::npos || key[0] == ';' || key[0] == '#' || key[0] == '[')
        return false;
    if (HasLineBreak(value))
        return false;

    int header = FindSection(section);
    if (header < 0) {
        TLine head;
        head.Kind = TLine::lkSection;
        head.Section = section;
        head.Text = "[" + section + "]";
        FLines.push_back(std::move(head));
        header = static_cast<int>(FLines.size()) - 1;
    }
    const int existing = FindKey(header, key);
    if (existing >= 0) {
        TLine& line = FLines[existing];
        line.Value = Trim(value);
        line.Text = line.Key + "=" + value; // keeps the key's spelling in the file
        return true;
    }
    // After the section's last key, so that comments and blank lines closing it stay last.
    int at = header + 1;
    const int end = SectionEnd(header);
    for (int i = header + 1; i < end; ++i)
        if (FLines[i].Kind == TLine::lkKey)
            at = i + 1;
    TLine line;
    line.Kind = TLine::lkKey;
    line.Key = key;
    line.Value = Trim(value);
    line.Text = key + "=" + value;
    FLines.insert(FLines.begin() + at, std::move(line));
    return true;
}

bool TIniFile::WriteInteger(const std::string& section, const std::string& key,
                            std::int32_t value) {
    return WriteString(section, key, std::to_string(value));
}

bool TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    return WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::UpdateFile() {
    if (!FLoaded) {
        // Whatever is there could not be read, so writing would lose it.
        FLastError = "Not replacing \"" + FFileName + "\", which could not be read";
        return false;
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target = FFileName;
    // Replace what a link points at, not the link.
    if (fs::is_symlink(target, ec)) {
        const fs::path resolved = fs::weakly_canonical(target, ec);
        if (!ec)
            target = resolved;
    }

    std::string content = FHasBOM ? kBOM : std::string();
    for (const TLine& line : FLines)
        content += line.Text + FLineBreak;

    std::string temp = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        FLastError = ErrnoText("Cannot create a file beside", target.string());
        return false;
    }
    struct stat info {};
    const mode_t mode = ::stat(target.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, content) && ::fsync(fd) == 0;
    if (!ok)
        FLastError = ErrnoText("Cannot write", temp);
    if (::close(fd) != 0 && ok) {
        ok = false;
        FLastError = ErrnoText("Cannot write", temp);
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        FLastError = ErrnoText("Cannot replace", target.string());
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here leaves a complete file either way.
    const int dir = ::open(target.parent_path().empty() ? "." : target.parent_path().c_str(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    FLastError.clear();
    return true;
}

} // namespace velto
