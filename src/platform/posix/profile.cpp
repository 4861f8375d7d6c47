// Profile (INI) files on POSIX hosts, with the semantics of the Windows
// profile functions: names matched without regard to case, blanks and one
// pair of quotes dropped from values, the first of duplicate sections and
// keys wins, and a write changes only the lines it must.
//
// Files are read as UTF-16LE/BE or UTF-8 when they start with a byte-order
// mark. Without one, a file is what Chinese Windows takes it for, GBK (read
// as GB18030, its superset), unless it is unmistakably UTF-8: Config.ini
// files come from Chinese Windows systems, and short GBK texts are often
// valid UTF-8 by accident. A write keeps the encoding, the mark and the line
// endings, and leaves every other line byte for byte as it was; a new file
// is UTF-16LE with a mark and CR LF, as the Windows build makes it. Files are
// reached through the drive's confined walk, read only when they are regular
// files of at most kMaxProfileBytes, and every write replaces the file
// atomically, so a crash never leaves half a file behind.
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/path_parse.h"
#include "platform/posix/host.h"

namespace tw {

using namespace posix;

namespace {

enum class Encoding { Utf8, Utf16LE, Utf16BE, Gb18030 };

struct Line {
    std::string raw;               // the line's bytes as in the file, line ending included
    String text;                   // decoded, without the line ending
    std::uint8_t endLength = 0;    // bytes of raw that are its own line ending; 0 for a last line without one

    std::string End() const { return raw.substr(raw.size() - endLength); }
};

struct Profile {
    Encoding encoding = Encoding::Utf16LE;
    std::string bom = "\xFF\xFE";
    std::string eol = std::string("\r\0\n\0", 4);  // encoded line ending for new lines
    std::vector<Line> lines;
};

constexpr std::size_t kMaxValue = 2047;

// ---------------------------------------------------------------- encodings

bool IsUtf8(std::string_view bytes) {
    const String decoded = FromUtf8(bytes);
    return ToUtf8(decoded) == bytes;
}

bool IsAscii(std::string_view bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// One iconv conversion, used for as many texts as needed. A sequence it
// cannot convert becomes the replacement (U+FFFD reading, '?' writing)
// rather than losing the rest of the text.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (cd_ != kInvalid) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    std::string Convert(std::string_view in, std::string_view replacement, std::size_t unit) {
        std::string out;
        if (cd_ == kInvalid) return out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::vector<char> buffer(in.size() * 4 + 16);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        while (srcLeft > 0) {
            char* dst = buffer.data();
            std::size_t dstLeft = buffer.size();
            const std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(buffer.data(), static_cast<std::size_t>(dst - buffer.data()));
            if (r == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) continue;
                // EILSEQ or EINVAL (cut short): replace one unit and go on.
                out += replacement;
                const std::size_t skip = std::min(unit, srcLeft);
                src += skip;
                srcLeft -= skip;
                iconv(cd_, nullptr, nullptr, nullptr, nullptr);
            }
        }
        return out;
    }

private:
    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
    iconv_t cd_;
};

// How unlikely a GB18030 text is as Chinese: for each character a cost that
// grows as such characters get rarer in Chinese text (ASCII costs nothing).
// The first level of GB2312 holds the 3,755 characters of nearly all
// everyday text. nullopt when the bytes are not GB18030 at all.
std::optional<std::uint64_t> ChineseCost(std::string_view gb) {
    const auto* p = reinterpret_cast<const unsigned char*>(gb.data());
    const std::size_t n = gb.size();
    std::uint64_t cost = 0;
    std::size_t i = 0;
    while (i < n) {
        const unsigned lead = p[i];
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead == 0x80 || lead == 0xFF || i + 1 >= n) return std::nullopt;
        const unsigned trail = p[i + 1];
        if (trail >= 0x30 && trail <= 0x39) {
            // Four bytes: a character outside GBK; lead 90 and up lies beyond
            // the Basic Multilingual Plane (rare ideographs, emoji).
            if (i + 3 >= n || p[i + 2] < 0x81 || p[i + 2] == 0xFF || p[i + 3] < 0x30 || p[i + 3] > 0x39)
                return std::nullopt;
            cost += lead >= 0x90 ? 10 : 6;
            i += 4;
            continue;
        }
        if (trail < 0x40 || trail == 0x7F || trail == 0xFF) return std::nullopt;
        unsigned c = 8;  // user-defined areas
        if (lead >= 0xB0 && lead <= 0xD7 && trail >= 0xA1) {
            c = 3;  // GB2312 level 1
        } else if (lead == 0xA1 && trail >= 0xA1) {
            c = 3;  // Chinese punctuation
        } else if (lead == 0xA3 && trail >= 0xA1) {
            c = 4;  // full-width letters and digits
        } else if (lead >= 0xD8 && lead <= 0xF7 && trail >= 0xA1) {
            c = 5;  // GB2312 level 2
        } else if ((lead >= 0x81 && lead <= 0xA0) || (lead >= 0xAA && trail < 0xA1)) {
            c = 5;  // GBK's further ideographs, traditional ones among them
        } else if (lead >= 0xA2 && lead <= 0xA9 && trail >= 0xA1) {
            c = 5;  // symbols, kana, Greek, Cyrillic, pinyin, box drawing
        }
        cost += c;
        i += 2;
    }
    return cost;
}

// The encoding of a file without a byte-order mark. Chinese Windows reads
// such a file in its code page, GBK, and so does this, unless the file is
// valid UTF-8 and, read as UTF-8, is more plausibly Chinese than read as
// GBK. GBK text that is valid UTF-8 by accident reads as Latin, Greek or
// Cyrillic letters in UTF-8 (原始: D4 AD CA BC, "ԭʼ"); real UTF-8 Chinese
// reads as rare ideographs and stray symbols in GBK. A file of ASCII only is
// GBK too: Chinese written into it later goes in as Windows writes it.
Encoding DetectWithoutBom(std::string_view bytes) {
    if (IsAscii(bytes) || !IsUtf8(bytes)) return Encoding::Gb18030;
    const std::optional<std::uint64_t> asGbk = ChineseCost(bytes);
    if (!asGbk) return Encoding::Utf8;
    const std::optional<std::uint64_t> asUtf8 = ChineseCost(Converter("GB18030", "UTF-8").Convert(bytes, "?", 1));
    return asUtf8 && *asUtf8 < *asGbk ? Encoding::Utf8 : Encoding::Gb18030;
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

// Decodes the lines of one file; the GB18030 converter is opened once.
class Decoder {
public:
    explicit Decoder(Encoding encoding) : encoding_(encoding) {}

    String operator()(std::string_view bytes) {
        switch (encoding_) {
            case Encoding::Utf8: return FromUtf8(bytes);
            case Encoding::Utf16LE: return FromUtf16Bytes(bytes, false);
            case Encoding::Utf16BE: return FromUtf16Bytes(bytes, true);
            case Encoding::Gb18030:
                if (!gb_) gb_.emplace("UTF-16LE", "GB18030");
                return FromUtf16Bytes(gb_->Convert(bytes, std::string("\xFD\xFF", 2), 1), false);
        }
        return {};
    }

private:
    Encoding encoding_;
    std::optional<Converter> gb_;
};

std::string Encode(Encoding enc, StringView text) {
    switch (enc) {
        case Encoding::Utf8: return ToUtf8(text);
        case Encoding::Utf16LE: return ToUtf16Bytes(text, false);
        case Encoding::Utf16BE: return ToUtf16Bytes(text, true);
        case Encoding::Gb18030: return Converter("GB18030", "UTF-16LE").Convert(ToUtf16Bytes(text, false), "?", 2);
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
    Decoder decode(p.encoding);
    // One Line per line ending and one for the rest: no growth of the list on the way.
    std::size_t count = 1;
    for (std::size_t k = 0; k < body.size(); k += unit) {
        const char16_t c = at(k);
        count += c == u'\n' || (c == u'\r' && (k + unit >= body.size() || at(k + unit) != u'\n'));
    }
    p.lines.reserve(count);
    bool eolFound = false;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < body.size()) {
        const char16_t c = at(i);
        if (c != u'\n' && c != u'\r') {
            i += unit;
            continue;
        }
        const std::size_t textEnd = i;
        i += unit;
        if (c == u'\r' && i < body.size() && at(i) == u'\n') i += unit;
        if (!eolFound) {
            p.eol = std::string(body.substr(textEnd, i - textEnd));
            eolFound = true;
        }
        p.lines.push_back({std::string(body.substr(start, i - start)), decode(body.substr(start, textEnd - start)),
                           static_cast<std::uint8_t>(i - textEnd)});
        start = i;
    }
    if (start < body.size()) p.lines.push_back({std::string(body.substr(start)), decode(body.substr(start)), 0});
    // A file without any line ending: new lines get the customary one of its kind.
    if (!eolFound) p.eol = p.encoding == Encoding::Utf8 ? std::string("\n") : Encode(p.encoding, u"\r\n");
}

Profile Parse(std::string_view bytes) {
    Profile p;
    if (bytes.empty()) return p;  // no encoding yet: made like a new file
    p.bom.clear();
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
        p.encoding = bytes[0] == '\xFF' ? Encoding::Utf16LE : Encoding::Utf16BE;
        p.bom = bytes.substr(0, 2);
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        p.encoding = Encoding::Utf8;
        p.bom = bytes.substr(0, 3);
    } else {
        p.encoding = DetectWithoutBom(bytes);
    }
    std::string_view body = bytes.substr(p.bom.size());
    // A stray byte after the last whole UTF-16 code unit is no text, and kept
    // it would shift every line written after it by one byte.
    if (p.encoding == Encoding::Utf16LE || p.encoding == Encoding::Utf16BE) {
        body = body.substr(0, body.size() - body.size() % 2);
    }
    SplitLines(p, body);
    return p;
}

// Reads the located file into out: 0, or an errno value (ENOENT missing,
// EISDIR or EINVAL no regular file, EFBIG over kMaxProfileBytes). st, when
// given, receives the file's status.
int LoadAt(const Location& loc, Profile& out, struct stat* st = nullptr) {
    if (loc.folderMissing || loc.danglingLink || !loc.folder.Valid()) return ENOENT;
    if (loc.isDriveRoot || loc.trailing) return EISDIR;
    // O_NONBLOCK keeps a named pipe from blocking the open, O_NOFOLLOW a link
    // put in place after the walk from being followed.
    const Fd fd(openat(loc.folder.Get(), loc.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW));
    if (!fd.Valid()) return errno == ELOOP ? EINVAL : errno;
    struct stat own {};
    if (fstat(fd.Get(), &own) != 0) return errno;
    if (S_ISDIR(own.st_mode)) return EISDIR;
    if (!S_ISREG(own.st_mode)) return EINVAL;
    if (own.st_size > kMaxProfileBytes) return EFBIG;
    // Kernel files report no size, and a file may grow while it is read: the
    // read itself stops one byte past the cap.
    constexpr std::size_t kLimit = static_cast<std::size_t>(kMaxProfileBytes) + 1;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(own.st_size) + 1);
    char buffer[65536];
    while (bytes.size() < kLimit) {
        const ssize_t n = read(fd.Get(), buffer, std::min(sizeof buffer, kLimit - bytes.size()));
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    if (bytes.size() > static_cast<std::size_t>(kMaxProfileBytes)) return EFBIG;
    out = Parse(bytes);
    if (st != nullptr) *st = own;
    return 0;
}

TProfileState StateOf(int err) {
    switch (err) {
        case 0: return TProfileState::Readable;
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG: return TProfileState::Missing;
        case EFBIG: return TProfileState::TooLarge;
        case EISDIR:
        case EINVAL: return TProfileState::NotAFile;
        default: return TProfileState::Unreadable;
    }
}

// Locates and reads the file: 0, or an errno value as LoadAt gives it.
int LoadPath(StringView path, Location& loc, Profile& out, struct stat* st = nullptr) {
    if (const int err = Locate(path, loc); err != 0) return err;
    return LoadAt(loc, out, st);
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
    return {Encode(p.encoding, text) + p.eol, text, static_cast<std::uint8_t>(p.eol.size())};
}

void EndLastLine(Profile& p) {
    if (!p.lines.empty() && p.lines.back().endLength == 0) {
        p.lines.back().raw += p.eol;
        p.lines.back().endLength = static_cast<std::uint8_t>(p.eol.size());
    }
}

mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

[[noreturn]] void WriteFailed(const String& path) { throw EIniFileException(u"Unable to write to " + path); }

// The file to change, located and read: its lines, or a new profile when it
// does not exist yet (the folder must). A file that exists but cannot be
// read is not overwritten. existing receives its status, when it exists.
Profile LoadForWrite(const String& path, Location& loc, std::optional<struct stat>& existing) {
    if (Locate(path, loc) != 0 || loc.folderMissing) WriteFailed(path);
    Profile p;
    struct stat st {};
    const int err = LoadAt(loc, p, &st);
    if (err == ENOENT) return Profile{};
    if (err != 0) WriteFailed(path);
    existing = st;
    return p;
}

// Replaces the file in the folder the walk opened, keeping its mode and owner.
void Save(const String& path, const Location& loc, const Profile& p, const std::optional<struct stat>& existing) {
    std::string bytes = p.bom;
    for (const auto& line : p.lines) bytes += line.raw;
    const mode_t mode = existing ? (existing->st_mode & 07777) : NewFileMode();
    const bool ok = ReplaceFileAt(loc.folder.Get(), loc.name, mode, nullptr, existing ? &*existing : nullptr, Durability::kOnDisk,
                                  [&](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); });
    if (!ok) WriteFailed(path);
}

// The drive of a Windows path, normalised ("C:", "\\server\share"); empty
// when it has none that the drive table could hold.
String DriveOf(StringView path) {
    using pathparse::Root;
    const Root root = pathparse::ParseRoot(path, pathparse::Separators::kBoth);
    if (root.HasAsciiLetter()) {
        const char16_t letter = root.letter >= u'a' ? static_cast<char16_t>(root.letter - 32) : root.letter;
        return String(1, letter) + u":";
    }
    if (root.kind == Root::Kind::kShare && !root.server.empty() && !root.share.empty()) {
        return u"\\\\" + String(root.server) + u"\\" + String(root.share);
    }
    return {};
}

// A drive name as the Drives section may give it: "D:" or "\\server\share", nothing more.
bool IsDriveName(StringView name) {
    if (pathparse::HasDevicePrefix(name, pathparse::Separators::kBoth)) return false;
    return !DriveOf(name).empty() && pathparse::ParseRoot(name, pathparse::Separators::kBoth).rest == name.size();
}

}  // namespace

TIniFile::TIniFile(String path) : path_(std::move(path)) {}

// Every write reaches the file before it returns: nothing is held back.
TIniFile::~TIniFile() = default;

void TIniFile::FlushProfile() {}

TProfileState TIniFile::State() const {
    Location loc;
    Profile p;
    return StateOf(LoadPath(path_, loc, p));
}

String TIniFile::ReadValue(StringView section, StringView key) const {
    Location loc;
    Profile p;
    if (LoadPath(path_, loc, p) != 0) return {};
    const std::size_t header = FindSection(p, section);
    if (header == p.lines.size()) return {};
    const String want = TrimBlanks(key);
    const std::size_t end = SectionEnd(p, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        String name;
        String value;
        if (KeyOf(p.lines[i].text, name, value) && EqualNoCase(name, want)) return Unquoted(value).substr(0, kMaxValue);
    }
    return {};
}

void TIniFile::WriteValue(StringView section, StringView key, StringView value) {
    PrepareDriveForWrite(path_);
    Location loc;
    std::optional<struct stat> existing;
    Profile p = LoadForWrite(path_, loc, existing);

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
            const Line& old = p.lines[at];
            p.lines[at] = {Encode(p.encoding, line.text) + old.End(), line.text, old.endLength};
        } else {
            // A new key goes after the section's last non-blank line.
            std::size_t insert = end;
            while (insert > header + 1 && TrimBlanks(p.lines[insert - 1].text).empty()) --insert;
            if (insert == p.lines.size()) EndLastLine(p);
            p.lines.insert(p.lines.begin() + static_cast<std::ptrdiff_t>(insert), line);
        }
    }
    Save(path_, loc, p, existing);
}

void TIniFile::DropSection(StringView section) {
    Location loc;
    if (Locate(path_, loc) != 0) WriteFailed(path_);
    if (loc.folderMissing) {
        // Nothing to drop where the folder is simply not there yet (C: before
        // the first save); a file where a folder should be is refused, as a
        // write there is.
        struct stat st {};
        if (stat(loc.path.c_str(), &st) != 0 && errno == ENOENT) return;
        WriteFailed(path_);
    }
    Profile p;
    struct stat st {};
    const int err = LoadAt(loc, p, &st);
    if (err == ENOENT) return;  // nothing to drop, and no file is made
    if (err != 0) WriteFailed(path_);
    // Every section of that name goes: a duplicate left behind would come
    // back into view as soon as the first one is dropped.
    bool dropped = false;
    for (std::size_t header = FindSection(p, section); header < p.lines.size(); header = FindSection(p, section, header)) {
        p.lines.erase(p.lines.begin() + static_cast<std::ptrdiff_t>(header),
                      p.lines.begin() + static_cast<std::ptrdiff_t>(SectionEnd(p, header)));
        dropped = true;
    }
    if (dropped) Save(path_, loc, p, st);
}

void LoadDrivesFromProfile(StringView iniPath) {
    Location loc;
    Profile p;
    if (LoadPath(iniPath, loc, p) != 0) return;
    // The file's own drive stays where it is: mapped again here, the history
    // would be read from one folder at start-up and saved to another.
    const String own = DriveOf(iniPath);
    std::vector<String> seen;
    String refused;
    int refusedCount = 0;
    for (const auto& [drive, folder] : Entries(p, u"Drives")) {
        const String name = IsDriveName(drive) ? DriveOf(drive) : String(drive);
        bool duplicate = false;
        for (const auto& s : seen) duplicate = duplicate || EqualNoCase(s, name);
        if (duplicate) continue;  // the first entry for a drive wins, as for any key
        seen.push_back(name);
        String reason;
        if (!IsDriveName(drive)) {
            reason = u"不是盘符：应为 X: 或 \\\\服务器\\共享";
        } else if (!own.empty() && EqualNoCase(name, own)) {
            reason = own + u" 是本文件所在的盘，不能在这里改变";
        } else if (!MapDrive(drive, ToUtf8(folder))) {
            reason = u"文件夹须是以 / 开头的完整路径";
        }
        if (reason.empty()) continue;
        refused += u"\r\n" + drive + u"=" + folder + u"（" + reason + u"）";
        ++refusedCount;
    }
    if (refusedCount > 0) {
        throw Exception(String(iniPath) + u" 的 [Drives] 中有 " + FromUtf8(std::to_string(refusedCount)) +
                        u" 项无法使用，已忽略：" + refused);
    }
}

}  // namespace tw
