// The drive table: Windows drives ("D:", "\\server\share") mapped to host
// folders, and the translation of paths between the two forms.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/path_parse.h"
#include "platform/posix/host.h"

namespace tw {
namespace posix {
namespace {

struct Drive {
    String name;                 // "D:" (upper case) or "\\server\share"
    std::string host;            // normalised absolute folder, "/" or "/a/b"
    bool createOnWrite = false;  // the default C:, made when first written to
};

std::mutex gMutex;
std::vector<Drive> gDrives;
bool gInitialised = false;

using pathparse::HostComponents;
using pathparse::Separators;

std::string JoinHost(const std::vector<std::string>& parts) {
    if (parts.empty()) return "/";
    std::string out;
    for (const auto& p : parts) out += "/" + p;
    return out;
}

std::string DefaultCFolder() {
    const passwd* pw = getpwuid(getuid());
    if (pw == nullptr || pw->pw_dir == nullptr || pw->pw_dir[0] != '/') return {};
    return JoinHost(HostComponents(std::string(pw->pw_dir) + "/.local/share/Tidewell/drive_c"));
}

void SetDefaultsLocked() {
    gDrives.clear();
    gDrives.push_back({u"Z:", "/", false});
    const std::string c = DefaultCFolder();
    if (!c.empty()) gDrives.push_back({u"C:", c, true});
    gInitialised = true;
}

void EnsureInitialisedLocked() {
    if (!gInitialised) SetDefaultsLocked();
}

// Splits a Windows path into its drive (normalised: letters in upper case,
// shares as "\\server\share") and the index where the rest begins. False
// when it has no drive that the table could hold.
bool SplitDrive(StringView path, String& drive, std::size_t& restStart) {
    const pathparse::Root root = pathparse::ParseRoot(path, Separators::kBoth);
    if (root.HasAsciiLetter()) {
        const char16_t letter = root.letter >= u'a' ? root.letter - 32 : root.letter;
        drive = String(1, letter) + u":";
        restStart = root.rest;
        return true;
    }
    if (root.kind == pathparse::Root::Kind::kShare && !root.server.empty() && !root.share.empty()) {
        drive = u"\\\\" + String(root.server) + u"\\" + String(root.share);
        restStart = root.rest;
        return true;
    }
    return false;
}

// A drive name as MapDrive accepts it, normalised; empty when malformed.
String NormaliseDriveName(StringView drive) {
    String name;
    std::size_t rest = 0;
    if (!SplitDrive(drive, name, rest) || rest != drive.size()) return {};
    // Only the plain forms name a drive in the table.
    if (pathparse::HasDevicePrefix(drive, Separators::kBoth)) return {};
    return name;
}

bool FindDrive(const String& name, Drive& out) {
    std::lock_guard lock(gMutex);
    EnsureInitialisedLocked();
    for (const auto& d : gDrives) {
        if (EqualNoCase(d.name, name)) {
            out = d;
            return true;
        }
    }
    return false;
}

}  // namespace

char16_t FoldCase(char16_t c) {
    if (c < 0x80) return c >= u'a' && c <= u'z' ? c - 32 : c;
    // Latin-1, Greek and Cyrillic small letters, and the full-width Latin ones.
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) ||
        (c >= 0x430 && c <= 0x44F) || (c >= 0xFF41 && c <= 0xFF5A))
        return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    if (c == 0xFF) return 0x178;
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        // Latin Extended-A pairs: odd is small in 0100-0137 and 014A-0177, even in 0139-0148 and 0179-017E.
        const bool evenSmall = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (evenSmall ? (c % 2 == 0) : (c % 2 == 1)) return c - 1;
    }
    return c;
}

bool EqualNoCase(StringView a, StringView b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

void Fd::Reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

// ---------------------------------------------------------------- host names

namespace {

// Bytes that Windows cannot hold in a name: control characters, the
// separators and the wildcard and quoting characters its paths refuse.
bool IsWindowsSpecial(unsigned char b) {
    return (b != 0 && b < 0x20) || b == '\\' || b == ':' || b == '*' || b == '?' || b == '"' || b == '<' ||
           b == '>' || b == '|';
}

bool IsEscapedByte(char16_t c) {
    if (c < 0xDC00 || c > 0xDCFF) return false;
    const auto b = static_cast<unsigned char>(c - 0xDC00);
    return b >= 0x80 || IsWindowsSpecial(b);
}

constexpr std::string_view kTempPrefix = ".~tidewell-";
constexpr std::string_view kTempSuffix = ".partial";
constexpr std::string_view kTempAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kTempRandom = 10;

}  // namespace

String WindowsNameOf(std::string_view hostName) {
    String out;
    out.reserve(hostName.size());
    const auto* p = reinterpret_cast<const unsigned char*>(hostName.data());
    const std::size_t n = hostName.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        char32_t c = 0;
        std::size_t len = 0;
        char32_t min = 0;
        if (b < 0x80) {
            c = b;
            len = 1;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F;
            len = 2;
            min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F;
            len = 3;
            min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07;
            len = 4;
            min = 0x10000;
        }
        bool ok = len != 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) {
                ok = false;
            } else {
                c = (c << 6) | (p[i + k] & 0x3F);
            }
        }
        if (ok && (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
        if (!ok || (len == 1 && IsWindowsSpecial(b))) {
            out += static_cast<char16_t>(0xDC00 + b);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += len;
    }
    return out;
}

bool HostNameOf(StringView windowsName, std::string& out) {
    out.clear();
    bool escaped = false;
    for (std::size_t i = 0; i < windowsName.size(); ++i) {
        const char16_t c = windowsName[i];
        if (c == 0 || c == u'/') return false;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < windowsName.size() && windowsName[i + 1] >= 0xDC00 &&
            windowsName[i + 1] <= 0xDFFF) {
            out += ToUtf8(windowsName.substr(i, 2));
            ++i;
        } else if (IsEscapedByte(c)) {
            out += static_cast<char>(c - 0xDC00);
            escaped = true;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return false;  // no host name has this form
        } else {
            out += ToUtf8(windowsName.substr(i, 1));
        }
    }
    // Escapes that spell valid UTF-8 are not a form any host name has: the
    // name would stand for another one.
    return !escaped || WindowsNameOf(out) == windowsName;
}

std::string TemporaryName() {
    unsigned char random[kTempRandom] = {};
    std::size_t got = 0;
    while (got < sizeof random) {
        const ssize_t n = getrandom(random + got, sizeof random - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;  // no entropy source: the exclusive create below still keeps names apart
        }
        got += static_cast<std::size_t>(n);
    }
    static unsigned counter = 0;
    std::string name(kTempPrefix);
    for (std::size_t k = 0; k < kTempRandom; ++k) {
        const unsigned v = random[k] + (k == 0 ? counter++ : 0u) + (k == 1 ? static_cast<unsigned>(getpid()) : 0u);
        name += kTempAlphabet[v % kTempAlphabet.size()];
    }
    name += kTempSuffix;
    return name;
}

bool IsTemporaryName(std::string_view hostName) {
    if (hostName.size() != kTempPrefix.size() + kTempRandom + kTempSuffix.size()) return false;
    if (hostName.substr(0, kTempPrefix.size()) != kTempPrefix) return false;
    if (hostName.substr(hostName.size() - kTempSuffix.size()) != kTempSuffix) return false;
    return hostName.substr(kTempPrefix.size(), kTempRandom).find_first_not_of(kTempAlphabet) == std::string_view::npos;
}

// ---------------------------------------------------------------- the walk

namespace {

constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kMaxLinks = 40;  // as the kernel allows on one path

std::string JoinBelow(const std::string& host, const std::vector<std::string>& names) {
    std::string out = host;
    for (const auto& n : names) {
        if (out.back() != '/') out += '/';
        out += n;
    }
    return out;
}

// The first entry of the folder whose Windows form equals want without
// regard to case. Names that differ in case keep their UTF-8 length (every
// pair the folding knows has one), so only entries of that length are decoded.
bool FindNoCase(int folder, StringView want, std::size_t hostLength, std::string& found) {
    const int fd = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return false;
    }
    bool ok = false;
    while (const dirent* e = readdir(dir)) {
        if (std::strlen(e->d_name) != hostLength || IsTemporaryName(e->d_name)) continue;
        if (EqualNoCase(WindowsNameOf(e->d_name), want)) {
            found = e->d_name;
            ok = true;
            break;
        }
    }
    closedir(dir);
    return ok;
}

// The names below root of an absolute link target, or false when it leads
// outside the folder. root is compared as given and as the system resolves it.
bool BelowRoot(const std::string& host, const std::string& target, std::vector<std::string>& below) {
    const std::vector<std::string> want = pathparse::LinkComponents(target);
    const auto strip = [&](const std::string& root) {
        const std::vector<std::string> top = HostComponents(root);
        if (top.size() > want.size()) return false;
        for (std::size_t k = 0; k < top.size(); ++k) {
            if (top[k] != want[k]) return false;
        }
        below.assign(want.begin() + static_cast<std::ptrdiff_t>(top.size()), want.end());
        return true;
    };
    if (strip(host)) return true;
    char real[PATH_MAX];
    return realpath(host.c_str(), real) != nullptr && strip(real);
}

// A real folder's identity, to know it again when the walk comes back up.
struct FolderId {
    dev_t dev = 0;
    ino_t ino = 0;
    bool operator==(const FolderId&) const = default;
};

bool IdOf(int fd, FolderId& id) {
    struct stat st {};
    if (fstat(fd, &st) != 0) return false;
    id = {st.st_dev, st.st_ino};
    return true;
}

struct Pending {
    std::string name;
    bool fromWindows = false;  // a name of the Windows path (matched without regard to case)
    String windowsName;
};

}  // namespace

int Locate(StringView windowsPath, Location& out, Walk walk) {
    out = Location{};
    if (windowsPath.size() > pathparse::kMaxWindowsPath) return ENAMETOOLONG;
    if (windowsPath.find(u'\0') != StringView::npos) return ENOENT;
    String driveName;
    std::size_t restStart = 0;
    if (!SplitDrive(windowsPath, driveName, restStart)) return ENOENT;
    Drive drive;
    if (!FindDrive(driveName, drive)) return ENOENT;

    const StringView rest = windowsPath.substr(restStart);
    const std::vector<String> parts = pathparse::WindowsComponents(rest, Separators::kBoth);
    std::deque<Pending> pending;
    for (const auto& part : parts) {
        Pending p;
        if (!HostNameOf(part, p.name)) return ENOENT;
        p.fromWindows = true;
        p.windowsName = part;
        pending.push_back(std::move(p));
    }
    out.trailing = !parts.empty() && pathparse::IsSeparator(rest.back(), Separators::kBoth);
    out.isDriveRoot = parts.empty();

    const Fd root(open(drive.host.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    std::vector<std::string> names;  // real folders below the root, as walked
    // A missing level under kFind: the rest of the path is taken as given.
    const auto finishMissing = [&](const std::string* current) {
        std::vector<std::string> all = names;
        if (current != nullptr) all.push_back(*current);
        for (const auto& p : pending) all.push_back(p.name);
        pending.clear();
        out.folderMissing = true;
        if (!all.empty()) {
            out.name = all.back();
            if (out.listedName.empty()) out.listedName = out.name;
        }
        out.path = JoinBelow(drive.host, all);
        if (out.trailing) out.path += '/';
        return 0;
    };
    if (!root.Valid()) return walk == Walk::kMakeFolders ? errno : finishMissing(nullptr);

    Fd cur(fcntl(root.Get(), F_DUPFD_CLOEXEC, 0));
    if (!cur.Valid()) return errno;
    FolderId rootId;
    if (!IdOf(root.Get(), rootId)) return errno;
    std::vector<FolderId> ids;  // identity of each folder of names, as opened
    // Reopens the folder at names from the root.
    const auto reopen = [&](std::size_t count) -> int {
        Fd at(fcntl(root.Get(), F_DUPFD_CLOEXEC, 0));
        for (std::size_t k = 0; k < count && at.Valid(); ++k) at = Fd(openat(at.Get(), names[k].c_str(), kFolderFlags));
        if (!at.Valid()) return errno;
        cur = std::move(at);
        return 0;
    };
    // Goes up one level after "..", which must mean the parent of where the
    // walk really is: the real parent when it is still the folder the walk
    // came down through (one step, however deep), otherwise from the root
    // again by name.
    const auto up = [&]() -> int {
        names.pop_back();
        ids.pop_back();
        Fd parent(openat(cur.Get(), "..", kFolderFlags));
        FolderId id;
        if (parent.Valid() && IdOf(parent.Get(), id) && id == (ids.empty() ? rootId : ids.back())) {
            cur = std::move(parent);
            return 0;
        }
        return reopen(names.size());
    };

    int links = 0;
    bool finalIsLink = false;
    while (!pending.empty()) {
        Pending c = std::move(pending.front());
        pending.pop_front();
        const bool last = pending.empty();
        if (c.name == "..") {
            if (names.empty()) {
                out.leadsOutside = true;  // a link that climbs out of the drive
                return ENOENT;
            }
            if (const int err = up(); err != 0) return err;
            if (last) break;
            continue;
        }
        // Our own copy at work, or one cut off, is not there for anyone.
        if (IsTemporaryName(c.name)) return ENOENT;
        struct stat st {};
        int r = fstatat(cur.Get(), c.name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
        if (r != 0 && errno == ENOENT && c.fromWindows) {
            // Windows ignores letter case: the folder's first entry that matches.
            std::string found;
            if (FindNoCase(cur.Get(), c.windowsName, c.name.size(), found)) {
                c.name = std::move(found);
                r = fstatat(cur.Get(), c.name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
            } else {
                errno = ENOENT;
            }
        }
        if (c.fromWindows && last) out.listedName = c.name;
        if (r != 0) {
            if (errno != ENOENT) return errno;
            if (walk == Walk::kMakeFolders) {
                if (mkdirat(cur.Get(), c.name.c_str(), 0777) != 0 && errno != EEXIST) return errno;
                if (fstatat(cur.Get(), c.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno;
            } else if (last) {
                out.folder = std::move(cur);
                out.name = c.name;
                out.danglingLink = finalIsLink;
                out.path = JoinBelow(JoinBelow(drive.host, names), {c.name});
                if (out.trailing) out.path += '/';
                return 0;
            } else {
                return finishMissing(&c.name);
            }
        }
        if (S_ISLNK(st.st_mode)) {
            if (++links > kMaxLinks) return ELOOP;
            char target[PATH_MAX];
            const ssize_t n = readlinkat(cur.Get(), c.name.c_str(), target, sizeof target);
            if (n < 0) return errno;
            if (static_cast<std::size_t>(n) >= sizeof target) return ENAMETOOLONG;
            const std::string text(target, static_cast<std::size_t>(n));
            std::vector<std::string> next;
            if (!text.empty() && text[0] == '/') {
                if (!BelowRoot(drive.host, text, next)) {
                    out.leadsOutside = true;
                    return ENOENT;
                }
                names.clear();
                ids.clear();
                if (const int err = reopen(0); err != 0) return err;
            } else {
                next = pathparse::LinkComponents(text);
            }
            if (last) finalIsLink = true;
            for (auto it = next.rbegin(); it != next.rend(); ++it) pending.push_front(Pending{*it, false, {}});
            if (next.empty() && last) break;  // a link to "." : the folder the walk is in
            continue;
        }
        if (last) {
            if (walk == Walk::kMakeFolders && !S_ISDIR(st.st_mode)) return EEXIST;
            out.folder = std::move(cur);
            out.name = c.name;
            out.path = JoinBelow(JoinBelow(drive.host, names), {c.name});
            if (out.trailing) out.path += '/';
            return 0;
        }
        if (!S_ISDIR(st.st_mode)) {
            if (walk == Walk::kMakeFolders) return EEXIST;  // a file stands where a folder is needed
            return finishMissing(&c.name);
        }
        Fd next(openat(cur.Get(), c.name.c_str(), kFolderFlags));
        FolderId id;
        if (!next.Valid() || !IdOf(next.Get(), id)) return errno;
        cur = std::move(next);
        names.push_back(c.name);
        ids.push_back(id);
    }

    // The walk ended in a folder by "..", or at the drive root.
    if (names.empty()) {
        out.isDriveRoot = true;
        out.folder = std::move(cur);
        out.path = drive.host;
        if (out.trailing && out.path.back() != '/') out.path += '/';
        return 0;
    }
    out.name = names.back();
    if (out.listedName.empty()) out.listedName = out.name;
    if (const int err = up(); err != 0) return err;
    out.folder = std::move(cur);
    out.path = JoinBelow(JoinBelow(drive.host, names), {out.name});
    if (out.trailing) out.path += '/';
    return 0;
}

bool StatLocation(const Location& loc, struct stat& st) {
    if (loc.folderMissing || loc.danglingLink || !loc.folder.Valid()) {
        errno = ENOENT;
        return false;
    }
    if (loc.isDriveRoot) return fstat(loc.folder.Get(), &st) == 0;
    if (fstatat(loc.folder.Get(), loc.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    if (S_ISLNK(st.st_mode)) {
        errno = ENOENT;  // became a link after the walk
        return false;
    }
    if (loc.trailing && !S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;  // "a.txt\" names no file
        return false;
    }
    return true;
}

bool Resolve(StringView windowsPath, HostPath& out) {
    Location loc;
    if (Locate(windowsPath, loc) != 0) return false;
    out.path = loc.path;
    out.name = loc.name;
    out.isDriveRoot = loc.isDriveRoot;
    return true;
}

bool IsDriveMapped(StringView windowsPath) {
    String driveName;
    std::size_t rest = 0;
    Drive drive;
    return SplitDrive(windowsPath, driveName, rest) && FindDrive(driveName, drive);
}

void PrepareDriveForWrite(StringView windowsPath) {
    String driveName;
    std::size_t rest = 0;
    Drive drive;
    if (!SplitDrive(windowsPath, driveName, rest) || !FindDrive(driveName, drive) || !drive.createOnWrite) return;
    std::string path;
    for (const auto& part : HostComponents(drive.host)) {
        path += "/" + part;
        if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return;
    }
}

}  // namespace posix

using namespace posix;

bool MapDrive(StringView drive, const std::string& hostFolder) {
    const String name = NormaliseDriveName(drive);
    if (name.empty() || hostFolder.empty() || hostFolder[0] != '/' ||
        hostFolder.find('\0') != std::string::npos)
        return false;
    const std::string host = JoinHost(HostComponents(hostFolder));
    std::lock_guard lock(gMutex);
    EnsureInitialisedLocked();
    for (auto it = gDrives.begin(); it != gDrives.end(); ++it) {
        if (EqualNoCase(it->name, name)) {
            gDrives.erase(it);
            break;
        }
    }
    gDrives.push_back({name, host, false});
    return true;
}

void UnmapDrive(StringView drive) {
    const String name = NormaliseDriveName(drive);
    std::lock_guard lock(gMutex);
    EnsureInitialisedLocked();
    std::erase_if(gDrives, [&](const Drive& d) { return EqualNoCase(d.name, name); });
}

void ResetDriveTable() {
    std::lock_guard lock(gMutex);
    SetDefaultsLocked();
}

std::string HostPathOf(StringView windowsPath) {
    HostPath resolved;
    return Resolve(windowsPath, resolved) ? resolved.path : std::string();
}

String WindowsPathFromHost(std::string_view hostPathUtf8) {
    if (hostPathUtf8.empty() || hostPathUtf8[0] != '/' || hostPathUtf8.find('\0') != std::string_view::npos)
        return {};
    const std::vector<std::string> parts = HostComponents(hostPathUtf8);

    std::lock_guard lock(gMutex);
    EnsureInitialisedLocked();
    // The drive whose folder is the longest prefix; on a tie the one mapped last.
    const Drive* best = nullptr;
    std::size_t bestLength = 0;
    for (const auto& d : gDrives) {
        const std::vector<std::string> root = HostComponents(d.host);
        if (root.size() > parts.size()) continue;
        bool prefix = true;
        for (std::size_t k = 0; k < root.size() && prefix; ++k) prefix = root[k] == parts[k];
        if (prefix && (best == nullptr || root.size() >= bestLength)) {
            best = &d;
            bestLength = root.size();
        }
    }
    if (best == nullptr) return {};

    String out = best->name + u"\\";
    for (std::size_t k = bestLength; k < parts.size(); ++k) {
        if (k > bestLength) out += u'\\';
        out += WindowsNameOf(parts[k]);
    }
    return out;
}

}  // namespace tw
