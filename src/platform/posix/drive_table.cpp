// The drive table: Windows drives ("D:", "\\server\share") mapped to host
// folders, and the translation of paths between the two forms.
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>
#include <vector>

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

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// Host path components with "." and ".." resolved; ".." stops at the top.
std::vector<std::string> HostComponents(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i < path.size()) {
        std::size_t end = path.find('/', i);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view part = path.substr(i, end - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.emplace_back(part);
        }
        i = end + 1;
    }
    return parts;
}

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
// shares as "\\server\share") and the rest. False when it has no drive.
bool SplitDrive(StringView path, String& drive, String& rest) {
    String p;
    if (path.size() >= 8 && path.substr(0, 8) == u"\\\\?\\UNC\\") {
        p = u"\\\\" + String(path.substr(8));
    } else if (path.size() >= 4 && path[0] == u'\\' && path[1] == u'\\' && (path[2] == u'?' || path[2] == u'.') &&
               path[3] == u'\\') {
        p = String(path.substr(4));
    } else {
        p = String(path);
    }
    if (p.size() >= 2 && p[1] == u':') {
        const char16_t letter = p[0] >= u'a' && p[0] <= u'z' ? p[0] - 32 : p[0];
        if (letter < u'A' || letter > u'Z') return false;
        drive = String(1, letter) + u":";
        rest = p.substr(2);
        return true;
    }
    if (p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1])) {
        std::size_t i = 2;
        std::size_t serverEnd = i;
        while (serverEnd < p.size() && !IsSeparator(p[serverEnd])) ++serverEnd;
        if (serverEnd == i || serverEnd >= p.size()) return false;
        std::size_t shareEnd = serverEnd + 1;
        while (shareEnd < p.size() && !IsSeparator(p[shareEnd])) ++shareEnd;
        if (shareEnd == serverEnd + 1) return false;
        drive = u"\\\\" + p.substr(i, serverEnd - i) + u"\\" + p.substr(serverEnd + 1, shareEnd - serverEnd - 1);
        rest = p.substr(shareEnd);
        return true;
    }
    return false;
}

// A drive name as MapDrive accepts it, normalised; empty when malformed.
String NormaliseDriveName(StringView drive) {
    String name;
    String rest;
    if (!SplitDrive(drive, name, rest)) return {};
    if (!rest.empty()) return {};
    // Only the plain forms name a drive in the table.
    if (drive.size() >= 4 && (drive[2] == u'?' || drive[2] == u'.') && drive[3] == u'\\') return {};
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

// True when a host directory entry's name, as Windows shows it, equals want
// without regard to case. Names that have no Windows form never match.
bool NameMatches(const char* hostName, StringView want) {
    const std::string_view raw(hostName);
    if (raw.find('\\') != std::string_view::npos) return false;
    const String name = FromUtf8(raw);
    if (ToUtf8(name) != raw) return false;
    return EqualNoCase(name, want);
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

bool Resolve(StringView windowsPath, HostPath& out) {
    if (windowsPath.find(u'\0') != StringView::npos) return false;
    String driveName;
    String rest;
    if (!SplitDrive(windowsPath, driveName, rest)) return false;
    Drive drive;
    if (!FindDrive(driveName, drive)) return false;

    // Components of the Windows path; ".." never climbs above the drive.
    std::vector<String> parts;
    std::size_t i = 0;
    while (i < rest.size()) {
        std::size_t end = i;
        while (end < rest.size() && !IsSeparator(rest[end])) ++end;
        const StringView part(rest.data() + i, end - i);
        if (part == u"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != u".") {
            parts.emplace_back(part);
        }
        i = end + 1;
    }

    std::string host = drive.host;
    std::string name;
    bool missing = false;  // once a level is missing, the rest is taken as given
    for (const auto& part : parts) {
        std::string exact = ToUtf8(part);
        std::string next = (host == "/" ? "/" : host + "/") + exact;
        if (!missing) {
            struct stat st {};
            if (lstat(next.c_str(), &st) != 0) {
                // Windows ignores letter case: use the folder's first entry that matches.
                bool found = false;
                if (DIR* dir = opendir(host.c_str())) {
                    while (const dirent* e = readdir(dir)) {
                        if (NameMatches(e->d_name, part)) {
                            exact = e->d_name;
                            next = (host == "/" ? "/" : host + "/") + exact;
                            found = true;
                            break;
                        }
                    }
                    closedir(dir);
                }
                missing = !found;
            }
        }
        host = std::move(next);
        name = std::move(exact);
    }
    // A trailing separator keeps its meaning: "a.txt\" names no file.
    const bool trailing = !parts.empty() && !rest.empty() && IsSeparator(rest.back());
    out.path = trailing ? host + "/" : host;
    out.name = name;
    out.isDriveRoot = parts.empty();
    return true;
}

bool IsDriveMapped(StringView windowsPath) {
    String driveName;
    String rest;
    Drive drive;
    return SplitDrive(windowsPath, driveName, rest) && FindDrive(driveName, drive);
}

void PrepareDriveForWrite(StringView windowsPath) {
    String driveName;
    String rest;
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
        const String name = FromUtf8(parts[k]);
        // A '\' inside a name, or bytes that are not UTF-8, have no Windows form.
        if (name.find(u'\\') != String::npos || ToUtf8(name) != parts[k]) return {};
        if (k > bestLength) out += u'\\';
        out += name;
    }
    return out;
}

}  // namespace tw
