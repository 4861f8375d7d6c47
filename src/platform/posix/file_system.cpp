// File-system operations on POSIX hosts: attribute queries, the directory
// search, reading, copying and folder creation, all on Windows paths that
// the drive table translates.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/posix/host.h"

namespace tw {

using namespace posix;

// ---------------------------------------------------------------- shared helpers

namespace posix {

String ErrorText(int err) { return FromUtf8(std::strerror(err)); }

bool IsHiddenName(const std::string& hostName) {
    return !hostName.empty() && hostName[0] == '.' && hostName != "." && hostName != "..";
}

std::int32_t AttributesOf(const struct stat& st, bool hidden) {
    std::int32_t attr = 0;
    if (S_ISDIR(st.st_mode)) {
        attr |= faDirectory;
    } else if (!S_ISREG(st.st_mode)) {
        attr |= faSysFile;  // sockets, devices, pipes
    }
    if (hidden) attr |= faHidden;
    if ((st.st_mode & S_IWUSR) == 0) attr |= faReadOnly;
    return attr;
}

// The MS-DOS form covers 1980-01-01 00:00:00 to 2107-12-31 23:59:58 local
// time. A stamp outside that range is clamped to the nearer end, so an entry
// always has a valid Time and old files still compare as older.
std::int32_t DosTimeOf(const struct timespec& when) {
    constexpr std::uint32_t kEarliest = (0u << 25) | (1u << 21) | (1u << 16);
    constexpr std::uint32_t kLatest = (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
    const time_t seconds = when.tv_sec;
    struct tm local {};
    if (localtime_r(&seconds, &local) == nullptr) {
        return static_cast<std::int32_t>(seconds < 0 ? kEarliest : kLatest);
    }
    const long year = static_cast<long>(local.tm_year) + 1900;
    if (year < 1980) return static_cast<std::int32_t>(kEarliest);
    if (year > 2107) return static_cast<std::int32_t>(kLatest);
    // A leap second (tm_sec 60) stays within the minute.
    const int second = local.tm_sec > 59 ? 59 : local.tm_sec;
    const std::uint32_t dos = (static_cast<std::uint32_t>(year - 1980) << 25) |
                              (static_cast<std::uint32_t>(local.tm_mon + 1) << 21) |
                              (static_cast<std::uint32_t>(local.tm_mday) << 16) |
                              (static_cast<std::uint32_t>(local.tm_hour) << 11) |
                              (static_cast<std::uint32_t>(local.tm_min) << 5) | static_cast<std::uint32_t>(second / 2);
    return static_cast<std::int32_t>(dos);
}

std::string HostFolderOf(const std::string& hostPath) {
    std::string p = hostPath;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    const std::size_t slash = p.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : p.substr(0, slash);
}

bool ReplaceFile(const std::string& target, mode_t mode, const struct timespec* mtime,
                 const std::function<bool(int fd)>& fill) {
    const std::string folder = HostFolderOf(target);
    std::string temp = (folder == "/" ? "" : folder) + "/.tidewell-XXXXXX";
    std::vector<char> name(temp.begin(), temp.end());
    name.push_back('\0');
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return false;
    temp = name.data();

    // A replaced file keeps its owner where the process may set it (root).
    struct stat old {};
    if (stat(target.c_str(), &old) == 0 && (old.st_uid != geteuid() || old.st_gid != getegid())) {
        if (fchown(fd, old.st_uid, old.st_gid) != 0) {
            // Not permitted for ordinary users; the copy then belongs to them.
        }
    }

    bool ok = fill(fd) && fchmod(fd, mode) == 0;
    if (ok && mtime != nullptr) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, *mtime};
        ok = futimens(fd, times) == 0;
    }
    // Write errors can surface only when the data reaches the disk: find them
    // before the old file is given up.
    ok = ok && fsync(fd) == 0;
    int saved = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        errno = saved;
    }
    return ok;
}

}  // namespace posix

// ---------------------------------------------------------------- attribute query

namespace {

bool StatPath(StringView path, struct stat& st) {
    HostPath host;
    return Resolve(path, host) && stat(host.path.c_str(), &st) == 0;
}

}  // namespace

bool IsFile(StringView path) {
    struct stat st {};
    return StatPath(path, st) && !S_ISDIR(st.st_mode);
}

bool IsDirectory(StringView path) {
    struct stat st {};
    return StatPath(path, st) && S_ISDIR(st.st_mode);
}

// ---------------------------------------------------------------- directory search

struct SearchHandle {
    DIR* dir = nullptr;  // null for a lookup of one entry, which has nothing more to give
    std::string folder;  // host folder being listed
    String mask;         // the pattern's name part
    bool atDriveRoot = false;

    ~SearchHandle() {
        if (dir != nullptr) closedir(dir);
    }
};

TSearchRec::TSearchRec() = default;
TSearchRec::~TSearchRec() = default;
TSearchRec::TSearchRec(TSearchRec&&) noexcept = default;
TSearchRec& TSearchRec::operator=(TSearchRec&&) noexcept = default;

namespace {

// Windows wildcard match: '*' any run, '?' one code unit, case ignored.
bool WildMatch(StringView mask, StringView name) {
    std::size_t m = 0;
    std::size_t n = 0;
    std::size_t starM = StringView::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == u'?' || FoldCase(mask[m]) == FoldCase(name[n]))) {
            ++m;
            ++n;
        } else if (m < mask.size() && mask[m] == u'*') {
            starM = m++;
            starN = n;
        } else if (starM != StringView::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*') ++m;
    return m == mask.size();
}

bool MaskMatches(StringView mask, StringView name) {
    if (WildMatch(mask, name)) return true;
    // "*.*" and "x*.*" also match names without an extension.
    return mask.size() >= 2 && mask.substr(mask.size() - 2) == u".*" &&
           WildMatch(mask.substr(0, mask.size() - 2), name);
}

bool HasWildcard(StringView name) { return name.find_first_of(u"*?") != StringView::npos; }

void Fill(TSearchRec& rec, const std::string& hostName, const struct stat& st) {
    rec.Name = FromUtf8(hostName);
    rec.Attr = AttributesOf(st, IsHiddenName(hostName));
    rec.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
    rec.Time = DosTimeOf(st.st_mtim);
}

// Advances the listing to the next entry that matches and is not excluded.
int NextEntry(TSearchRec& rec) {
    SearchHandle& h = *rec.FindHandle;
    if (h.dir == nullptr) return ENOENT;
    for (;;) {
        errno = 0;
        const dirent* e = readdir(h.dir);
        if (e == nullptr) return errno != 0 ? errno : ENOENT;
        const std::string hostName = e->d_name;
        // Names that have no Windows form cannot be asked for again: leave them out.
        if (hostName.find('\\') != std::string::npos) continue;
        const String name = FromUtf8(hostName);
        if (ToUtf8(name) != hostName) continue;
        if (!MaskMatches(h.mask, name)) continue;

        struct stat st {};
        // ".." of a drive root would lead outside the drive: report the root itself.
        const std::string full = (hostName == ".." && h.atDriveRoot) ? h.folder
                                 : (h.folder == "/" ? "/" : h.folder + "/") + hostName;
        if (stat(full.c_str(), &st) != 0) continue;  // a dangling link, or gone meanwhile
        if ((AttributesOf(st, IsHiddenName(hostName)) & rec.ExcludeAttr) != 0) continue;
        Fill(rec, hostName, st);
        return 0;
    }
}

}  // namespace

int StartSearch(StringView pattern, std::int32_t mask, TSearchRec& rec) {
    EndSearch(rec);
    rec.ExcludeAttr = (faHidden | faSysFile | faDirectory) & ~mask;
    const String name = NamePart(pattern);
    if (name.empty()) return ENOENT;

    auto handle = std::make_unique<SearchHandle>();
    if (HasWildcard(name)) {
        HostPath folder;
        if (!Resolve(FolderPart(pattern), folder)) return ENOENT;
        handle->folder = folder.path;
        while (handle->folder.size() > 1 && handle->folder.back() == '/') handle->folder.pop_back();
        handle->mask = name;
        handle->atDriveRoot = folder.isDriveRoot;
        handle->dir = opendir(handle->folder.c_str());
        if (handle->dir == nullptr) return errno;
        rec.FindHandle = std::move(handle);
        const int result = NextEntry(rec);
        if (result != 0) EndSearch(rec);
        return result;
    }

    // The full path of one entry: look that entry up.
    HostPath entry;
    if (!Resolve(pattern, entry) || entry.isDriveRoot) return ENOENT;
    struct stat st {};
    if (stat(entry.path.c_str(), &st) != 0) return errno;
    const bool hidden = IsHiddenName(entry.name);
    if ((AttributesOf(st, hidden) & rec.ExcludeAttr) != 0) return ENOENT;
    Fill(rec, entry.name, st);
    rec.FindHandle = std::move(handle);
    return 0;
}

int ContinueSearch(TSearchRec& rec) {
    if (!rec.FindHandle) return EBADF;
    return NextEntry(rec);
}

void EndSearch(TSearchRec& rec) { rec.FindHandle.reset(); }

// ---------------------------------------------------------------- reading

namespace {

// Reads ahead in blocks larger than callers ask for: hashing asks for 4 KiB
// at a time, and a system call per 4 KiB costs more than the hashing of it.
// Bytes are handed out in order, so a read error still ends the stream after
// the last good byte.
class PosixFileStream final : public TFileStream {
public:
    explicit PosixFileStream(int fd) : fd_(fd) {
        posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    ~PosixFileStream() override { close(fd_); }
    PosixFileStream(const PosixFileStream&) = delete;
    PosixFileStream& operator=(const PosixFileStream&) = delete;

    std::size_t Read(void* buffer, std::size_t count) override {
        if (count == 0) return 0;
        if (next_ == end_) {
            if (count >= kBlock) return ReadSome(buffer, count);
            next_ = 0;
            end_ = ReadSome(block_.get(), kBlock);
            if (end_ == 0) return 0;
        }
        const std::size_t n = std::min(count, end_ - next_);
        std::memcpy(buffer, block_.get() + next_, n);
        next_ += n;
        return n;
    }

private:
    static constexpr std::size_t kBlock = 64 * 1024;

    std::size_t ReadSome(void* buffer, std::size_t count) {
        for (;;) {
            const ssize_t n = read(fd_, buffer, count);
            if (n >= 0) return static_cast<std::size_t>(n);
            if (errno != EINTR) return 0;
        }
    }

    int fd_;
    std::unique_ptr<char[]> block_ = std::make_unique<char[]>(kBlock);
    std::size_t next_ = 0;
    std::size_t end_ = 0;
};

// Opens a regular file for reading. O_NONBLOCK keeps a named pipe from
// blocking the open; the type check then turns it away.
int OpenRegular(const std::string& host, struct stat& st) {
    const int fd = open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        close(fd);
        errno = err;
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace

std::unique_ptr<TFileStream> OpenForReading(StringView path) {
    // Linux has no share modes: the file is opened read-only, but other
    // processes can still write it while it is open.
    HostPath host;
    int err = ENOENT;
    if (Resolve(path, host)) {
        struct stat st {};
        const int fd = OpenRegular(host.path, st);
        if (fd >= 0) return std::make_unique<PosixFileStream>(fd);
        err = errno;
    }
    throw EFOpenError(u"Cannot open file \"" + String(path) + u"\". " + ErrorText(err));
}

// ---------------------------------------------------------------- copying

bool posix::WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

namespace {

bool CopyContents(int in, int out) {
    // The kernel's copy first (it can share blocks); plain reads and writes
    // where the file systems do not support it.
    for (;;) {
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0);
        if (n > 0) continue;
        if (n == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP && errno != EPERM)
            return false;
        break;
    }
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        const ssize_t n = read(in, buffer.data(), buffer.size());
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) return false;
    }
}

}  // namespace

int CopyFileReplacing(StringView source, StringView target) {
    HostPath from;
    HostPath to;
    if (!Resolve(source, from) || !Resolve(target, to) || to.isDriveRoot || to.path.back() == '/') return 0;

    std::string targetHost = to.path;
    struct stat existing {};
    if (lstat(targetHost.c_str(), &existing) == 0) {
        if (S_ISLNK(existing.st_mode)) {
            // Replace the file the link leads to, not the link.
            char real[PATH_MAX];
            if (stat(targetHost.c_str(), &existing) != 0 || realpath(targetHost.c_str(), real) == nullptr) return 0;
            targetHost = real;
        }
        // A folder, a read-only or hidden file, or anything but a regular file is refused.
        if (!S_ISREG(existing.st_mode) || (AttributesOf(existing, IsHiddenName(to.name)) & (faReadOnly | faHidden)))
            return 0;
    } else if (errno != ENOENT) {
        return 0;
    }
    struct stat folder {};
    if (stat(HostFolderOf(targetHost).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)) return 0;

    struct stat st {};
    const int in = OpenRegular(from.path, st);
    if (in < 0) return 0;
    const bool ok = ReplaceFile(targetHost, st.st_mode & 0777, &st.st_mtim, [&](int out) { return CopyContents(in, out); });
    close(in);
    return ok ? 1 : 0;
}

// ---------------------------------------------------------------- folder creation

namespace {

String Bracketed(StringView path) { return u"\r\n[" + String(path) + u"]"; }

bool HasLongPrefix(StringView path) {
    return path.size() >= 4 && path[0] == u'\\' && path[1] == u'\\' && (path[2] == u'?' || path[2] == u'.') &&
           path[3] == u'\\';
}

// The absolute form of a Windows path: separators made '\', empty and "."
// components dropped, ".." resolved within the drive. Paths with a \\?\ or
// \\.\ prefix are taken literally; a path without a drive has no current
// folder to resolve against here and is returned as given.
String FullPathOf(StringView path) {
    if (HasLongPrefix(path)) return String(path);
    String drive;
    std::size_t restStart = 0;
    if (path.size() >= 2 && path[1] == u':') {
        drive = String(path.substr(0, 2));
        restStart = 2;
    } else if (path.size() >= 2 && (path[0] == u'\\' || path[0] == u'/') && (path[1] == u'\\' || path[1] == u'/')) {
        // \\server\share: two names form the drive.
        std::size_t i = 2;
        for (int names = 0; names < 2; ++names) {
            while (i < path.size() && path[i] != u'\\' && path[i] != u'/') ++i;
            if (names == 0 && i < path.size()) ++i;
        }
        drive = u"\\\\" + String(path.substr(2, i - 2));
        for (auto& c : drive) c = c == u'/' ? u'\\' : c;
        restStart = i;
    } else {
        return String(path);
    }
    std::vector<String> parts;
    std::size_t i = restStart;
    while (i < path.size()) {
        std::size_t end = i;
        while (end < path.size() && path[end] != u'\\' && path[end] != u'/') ++end;
        const StringView part = path.substr(i, end - i);
        if (part == u"..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != u".") {
            parts.emplace_back(part);
        }
        i = end + 1;
    }
    String full = drive + u"\\";
    for (std::size_t k = 0; k < parts.size(); ++k) {
        if (k > 0) full += u'\\';
        full += parts[k];
    }
    const char16_t last = path.back();
    if (!parts.empty() && (last == u'\\' || last == u'/')) full += u'\\';
    return full;
}

// One trailing '\' dropped, unless it follows the drive's ':'.
String WithoutFolderBackslash(const String& path) {
    if (path.size() >= 2 && path.back() == u'\\' && path[path.size() - 2] != u':') {
        return path.substr(0, path.size() - 1);
    }
    return path;
}

}  // namespace

void EnsureDirectory(StringView path) {
    if (TrimBlanks(path).empty()) throw EInOutError(u"Path is empty");
    if (path.find(u'\0') != StringView::npos) throw EInOutError(u"Invalid characters in path" + Bracketed(path));

    const String full = FullPathOf(path);
    // The same names are refused as on Windows, so a tree made here can be
    // used there too.
    const std::size_t from = HasLongPrefix(full) ? 4 : 0;
    for (std::size_t i = from; i < full.size(); ++i) {
        if (full[i] == u':' && !(i == from + 1 && ((full[from] | 32) >= u'a' && (full[from] | 32) <= u'z'))) {
            throw EInOutError(u"The path format is not supported");
        }
    }
    if (TrimBlanks(full).empty()) throw EInOutError(u"Path is empty");
    for (std::size_t i = from; i < full.size(); ++i) {
        const char16_t c = full[i];
        if (c < 32 || c == u'"' || c == u'<' || c == u'>' || c == u'|' || c == u'*' || c == u'?') {
            throw EInOutError(u"Invalid characters in path" + Bracketed(full));
        }
    }
    if (!IsDriveMapped(full)) throw EInOutError(u"The drive cannot be found" + Bracketed(full));
    PrepareDriveForWrite(full);

    // The missing levels, deepest first; then created from the top down.
    std::vector<String> missing;
    String level = WithoutFolderBackslash(full);
    while (!IsDirectory(level)) {
        missing.push_back(level);
        const String parent = FolderPart(level);
        if (parent == level) break;
        level = WithoutFolderBackslash(parent);
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        HostPath host;
        int err = ENOENT;
        if (Resolve(*it, host)) {
            if (mkdir(host.path.c_str(), 0777) == 0) continue;
            err = errno;
            // Made by someone else meanwhile: as good as made here.
            if (err == EEXIST && IsDirectory(*it)) continue;
        }
        throw EInOutError(ErrorText(err) + Bracketed(path));
    }
}

}  // namespace tw
