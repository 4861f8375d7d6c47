// Profile (INI) files on POSIX hosts, with the semantics of the Windows
// profile functions: names matched without regard to case, blanks and one
// pair of quotes dropped from values, the first of duplicate sections and
// keys wins, and a write changes only the lines it must.
//
// Files are read as UTF-16LE/BE with a BOM, UTF-8 with or without a BOM, and
// otherwise as GB18030 (a superset of GBK: Config.ini files come from Chinese
// Windows systems). A write keeps the encoding, the BOM and the line endings,
// and leaves every other line byte for byte as it was; a new file is UTF-8.
// Every write replaces the file atomically, so a crash never leaves half a
// file behind.
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <vector>

#include "platform/posix/host.h"

namespace tw {

using namespace posix;

namespace {

enum class Encoding { Utf8, Utf16LE, Utf16BE, Gb18030 };

struct Line {
    std::string raw;  // the line's bytes as in the file, line ending included
    String text;      // decoded, without the line ending
    std::string end;  // the line's own ending as in the file; empty for a last line without one
};

struct Profile {
    Encoding encoding = Encoding::Utf8;
    std::string bom;
    std::string eol = "\n";  // encoded line ending for new lines
    std::vector<Line> lines;
};

constexpr std::size_t kMaxValue = 2047;

// ---------------------------------------------------------------- encodings

bool IsUtf8(std::string_view bytes) {
    const String decoded = FromUtf8(bytes);
    return ToUtf8(decoded) == bytes;
}

// iconv in both directions; a sequence it cannot convert becomes U+FFFD
// (reading) or '?' (writing) rather than losing the rest of the line.
std::string Iconv(const char* to, const char* from, std::string_view in, std::string_view replacement,
                  std::size_t unit) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string out;
    std::vector<char> buffer(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = buffer.data();
        std::size_t dstLeft = buffer.size();
        const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer.data(), static_cast<std::size_t>(dst - buffer.data()));
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (cut short): replace one unit and go on.
            out += replacement;
            const std::size_t skip = std::min(unit, srcLeft);
            src += skip;
            srcLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

String FromUtf16Bytes(std::string_view bytes, bool bigEndian) {
    String out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        const auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        out += static_cast<char16_t>(lo | (hi << 8));
    }
    return out;
}

std::string ToUtf16Bytes(StringView text, bool bigEndian) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char16_t c : text) {
        const char lo = static_cast<char>(c & 0xFF);
        const char hi = static_cast<char>(c >> 8);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

String Decode(Encoding enc, std::string_view bytes) {
    switch (enc) {
        case Encoding::Utf8: return FromUtf8(bytes);
        case Encoding::Utf16LE: return FromUtf16Bytes(bytes, false);
        case Encoding::Utf16BE: return FromUtf16Bytes(bytes, true);
        case Encoding::Gb18030:
            return FromUtf16Bytes(Iconv("UTF-16LE", "GB18030", bytes, std::string("\xFD\xFF", 2), 1), false);
    }
    return {};
}

std::string Encode(Encoding enc, StringView text) {
    switch (enc) {
        case Encoding::Utf8: return ToUtf8(text);
        case Encoding::Utf16LE: return ToUtf16Bytes(text, false);
        case Encoding::Utf16BE: return ToUtf16Bytes(text, true);
        case Encoding::Gb18030: return Iconv("GB18030", "UTF-16LE", ToUtf16Bytes(text, false), "?", 2);
    }
    return {};
}

// ---------------------------------------------------------------- loading

// Splits the file's bytes into lines at LF, CR LF or a lone CR, in units of
// the encoding (GB18030 never uses the bytes 0A and 0D inside a character).
void SplitLines(Profile& p, std::string_view body) {
    const std::size_t unit = (p.encoding == Encoding::Utf16LE || p.encoding == Encoding::Utf16BE) ? 2 : 1;
    const auto at = [&](std::size_t i) -> char16_t {
        if (unit == 1) return static_cast<unsigned char>(body[i]);
        const auto a = static_cast<unsigned char>(body[i]);
        const auto b = static_cast<unsigned char>(body[i + 1]);
        return p.encoding == Encoding::Utf16LE ? static_cast<char16_t>(a | (b << 8)) : static_cast<char16_t>(b | (a << 8));
    };
    const std::size_t end = body.size() - body.size() % unit;
    bool eolFound = false;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < end) {
        const char16_t c = at(i);
        if (c != u'\n' && c != u'\r') {
            i += unit;
            continue;
        }
        const std::size_t textEnd = i;
        i += unit;
        if (c == u'\r' && i < end && at(i) == u'\n') i += unit;
        if (!eolFound) {
            p.eol = std::string(body.substr(textEnd, i - textEnd));
            eolFound = true;
        }
        p.lines.push_back({std::string(body.substr(start, i - start)),
                           Decode(p.encoding, body.substr(start, textEnd - start)),
                           std::string(body.substr(textEnd, i - textEnd))});
        start = i;
    }
    if (start < body.size()) {
        p.lines.push_back({std::string(body.substr(start)), Decode(p.encoding, body.substr(start, end - start)), {}});
    }
    // A file without any line ending: new lines get the customary one of its kind.
    if (!eolFound) {
        p.eol = p.encoding == Encoding::Utf8 ? std::string("\n") : Encode(p.encoding, u"\r\n");
    }
}

Profile Parse(std::string_view bytes) {
    Profile p;
    if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE") {
        p.encoding = Encoding::Utf16LE;
        p.bom = bytes.substr(0, 2);
    } else if (bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF") {
        p.encoding = Encoding::Utf16BE;
        p.bom = bytes.substr(0, 2);
    } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        p.encoding = Encoding::Utf8;
        p.bom = bytes.substr(0, 3);
    } else {
        p.encoding = IsUtf8(bytes) ? Encoding::Utf8 : Encoding::Gb18030;
    }
    SplitLines(p, bytes.substr(p.bom.size()));
    return p;
}

// Reads the file; nullopt with errno set when it cannot be read.
std::optional<Profile> Load(const std::string& host) {
    const int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = err;
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            close(fd);
            errno = err;
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return Parse(bytes);
}

// ---------------------------------------------------------------- syntax

// The section a header line names; nullopt when the line is no header.
std::optional<String> SectionOf(const String& text) {
    const String t = TrimBlanks(text);
    if (t.empty() || t[0] != u'[') return std::nullopt;
    const std::size_t close = t.find(u']');
    return TrimBlanks(StringView(t).substr(1, close == String::npos ? String::npos : close - 1));
}

// A key line: "key = value". Comment lines (';') and lines without '=' hold no key.
bool KeyOf(const String& text, String& key, String& value) {
    const String t = TrimBlanks(text);
    if (t.empty() || t[0] == u';' || t[0] == u'[') return false;
    const std::size_t eq = t.find(u'=');
    if (eq == String::npos) return false;
    key = TrimBlanks(StringView(t).substr(0, eq));
    value = TrimBlanks(StringView(t).substr(eq + 1));
    return true;
}

String Unquoted(String value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

// Index of the first header of section, or the number of lines when absent.
std::size_t FindSection(const Profile& p, StringView section, std::size_t from = 0) {
    for (std::size_t i = from; i < p.lines.size(); ++i) {
        const auto name = SectionOf(p.lines[i].text);
        if (name && EqualNoCase(*name, TrimBlanks(section))) return i;
    }
    return p.lines.size();
}

// One past the last line of the section whose header is at index header.
std::size_t SectionEnd(const Profile& p, std::size_t header) {
    std::size_t i = header + 1;
    while (i < p.lines.size() && !SectionOf(p.lines[i].text)) ++i;
    return i;
}

// Key/value pairs of the first section of that name, in file order.
std::vector<std::pair<String, String>> Entries(const Profile& p, StringView section) {
    std::vector<std::pair<String, String>> out;
    const std::size_t header = FindSection(p, section);
    if (header == p.lines.size()) return out;
    const std::size_t end = SectionEnd(p, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        String key;
        String value;
        if (KeyOf(p.lines[i].text, key, value)) out.emplace_back(std::move(key), Unquoted(std::move(value)));
    }
    return out;
}

// ---------------------------------------------------------------- writing

// A value or name written into a line must not start a line of its own.
String OneLine(StringView text) {
    String out(text);
    for (auto& c : out) {
        if (c == u'\r' || c == u'\n') c = u' ';
    }
    return out;
}

Line MakeLine(const Profile& p, const String& text) {
    return {Encode(p.encoding, text) + p.eol, text, p.eol};
}

void EndLastLine(Profile& p) {
    if (!p.lines.empty() && p.lines.back().end.empty()) {
        p.lines.back().raw += p.eol;
        p.lines.back().end = p.eol;
    }
}

mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Where a write goes: the host file, a link followed to the file it names.
bool WriteTarget(const String& path, std::string& host) {
    HostPath resolved;
    if (!Resolve(path, resolved) || resolved.isDriveRoot || resolved.path.back() == '/') return false;
    host = resolved.path;
    struct stat st {};
    if (lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char real[PATH_MAX];
        if (realpath(host.c_str(), real) == nullptr) return false;
        host = real;
    }
    return true;
}

[[noreturn]] void WriteFailed(const String& path) { throw EIniFileException(u"Unable to write to " + path); }

void Save(const String& path, const std::string& host, const Profile& p) {
    std::string bytes = p.bom;
    for (const auto& line : p.lines) bytes += line.raw;
    struct stat st {};
    const mode_t mode = stat(host.c_str(), &st) == 0 ? (st.st_mode & 07777) : NewFileMode();
    const bool ok =
        ReplaceFile(host, mode, nullptr, [&](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); });
    if (!ok) WriteFailed(path);
}

// The file to change: its lines, or an empty UTF-8 profile when it does not
// exist yet. A file that exists but cannot be read is not overwritten.
Profile LoadForWrite(const String& path, const std::string& host) {
    if (auto p = Load(host)) return std::move(*p);
    if (errno != ENOENT) WriteFailed(path);
    return Profile{};
}

}  // namespace

TIniFile::TIniFile(String path) : path_(std::move(path)) {}

// Every write reaches the file before it returns: nothing is held back.
TIniFile::~TIniFile() = default;

void TIniFile::FlushProfile() {}

String TIniFile::ReadValue(StringView section, StringView key) const {
    HostPath host;
    if (!Resolve(path_, host)) return {};
    const auto p = Load(host.path);
    if (!p) return {};
    for (const auto& [name, value] : Entries(*p, section)) {
        if (EqualNoCase(name, TrimBlanks(key))) return value.substr(0, kMaxValue);
    }
    return {};
}

void TIniFile::WriteValue(StringView section, StringView key, StringView value) {
    PrepareDriveForWrite(path_);
    std::string host;
    if (!WriteTarget(path_, host)) WriteFailed(path_);
    Profile p = LoadForWrite(path_, host);

    const String sectionName = OneLine(TrimBlanks(section));
    const String keyName = OneLine(TrimBlanks(key));
    const Line line = MakeLine(p, keyName + u"=" + OneLine(value));

    const std::size_t header = FindSection(p, sectionName);
    if (header == p.lines.size()) {
        EndLastLine(p);
        p.lines.push_back(MakeLine(p, u"[" + sectionName + u"]"));
        p.lines.push_back(line);
    } else {
        const std::size_t end = SectionEnd(p, header);
        std::size_t at = end;
        for (std::size_t i = header + 1; i < end; ++i) {
            String k;
            String v;
            if (KeyOf(p.lines[i].text, k, v) && EqualNoCase(k, keyName)) {
                at = i;
                break;
            }
        }
        if (at != end) {
            // The replaced line keeps its own ending (or none, at the end of the file).
            const std::string end = p.lines[at].end;
            p.lines[at] = {Encode(p.encoding, line.text) + end, line.text, end};
        } else {
            // A new key goes after the section's last non-blank line.
            std::size_t insert = end;
            while (insert > header + 1 && TrimBlanks(p.lines[insert - 1].text).empty()) --insert;
            if (insert == p.lines.size()) EndLastLine(p);
            p.lines.insert(p.lines.begin() + static_cast<std::ptrdiff_t>(insert), line);
        }
    }
    Save(path_, host, p);
}

void TIniFile::DropSection(StringView section) {
    std::string host;
    if (!WriteTarget(path_, host)) WriteFailed(path_);
    auto loaded = Load(host);
    if (!loaded) {
        if (errno == ENOENT) return;  // nothing to drop, and no file is made
        WriteFailed(path_);
    }
    Profile& p = *loaded;
    // Every section of that name goes: a duplicate left behind would come
    // back into view as soon as the first one is dropped.
    bool dropped = false;
    for (std::size_t header = FindSection(p, section); header < p.lines.size(); header = FindSection(p, section, header)) {
        p.lines.erase(p.lines.begin() + static_cast<std::ptrdiff_t>(header),
                      p.lines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(p, header)));
        dropped = true;
    }
    if (dropped) Save(path_, host, p);
}

void LoadDrivesFromProfile(StringView iniPath) {
    HostPath host;
    if (!Resolve(iniPath, host)) return;
    const auto p = Load(host.path);
    if (!p) return;
    std::vector<String> seen;
    for (const auto& [drive, folder] : Entries(*p, u"Drives")) {
        bool duplicate = false;
        for (const auto& s : seen) duplicate = duplicate || EqualNoCase(s, drive);
        if (duplicate) continue;  // the first entry for a drive wins, as for any key
        seen.push_back(drive);
        MapDrive(drive, ToUtf8(folder));
    }
}

}  // namespace tw
