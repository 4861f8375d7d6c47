// File-system operations on POSIX hosts: attribute queries, the directory
// search, reading, copying and folder creation, all on Windows paths that
// the drive table translates.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/path_parse.h"
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

bool ReplaceFileAt(int folder, const std::string& name, mode_t mode, const struct timespec* mtime,
                   const struct stat* owner, Durability durability, const std::function<bool(int fd)>& fill) {
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = TemporaryName();
        fd = openat(folder, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    // A replaced file keeps its owner where the process may set it (root).
    if (owner != nullptr && (owner->st_uid != geteuid() || owner->st_gid != getegid())) {
        if (fchown(fd, owner->st_uid, owner->st_gid) != 0) {
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
    if (durability == Durability::kOnDisk) ok = ok && fsync(fd) == 0;
    int saved = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && renameat(folder, temp.c_str(), folder, name.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        unlinkat(folder, temp.c_str(), 0);
        errno = saved;
    }
    return ok;
}


}  // namespace posix

// ---------------------------------------------------------------- attribute query

namespace {

bool StatPath(StringView path, struct stat& st) {
    Location loc;
    return Locate(path, loc) == 0 && StatLocation(loc, st);
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

bool FileIdentity(StringView path, TFileId& id) {
    struct stat st {};
    if (!StatPath(path, st)) return false;
    id.Volume = static_cast<std::uint64_t>(st.st_dev);
    id.Index = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

// ---------------------------------------------------------------- directory search

struct SearchHandle {
    DIR* dir = nullptr;   // null for a lookup of one entry, which has nothing more to give
    String folder;        // the Windows folder being listed, with its trailing '\'
    String mask;          // the pattern's name part
    bool atDriveRoot = false;
    std::int32_t unreadable = 0;  // entries left out because they could not be read

    SearchHandle() = default;
    SearchHandle(const SearchHandle&) = delete;
    SearchHandle& operator=(const SearchHandle&) = delete;
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

void Fill(TSearchRec& rec, const String& name, const std::string& hostName, const struct stat& st) {
    rec.Name = name;
    rec.Attr = AttributesOf(st, IsHiddenName(hostName));
    rec.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
    rec.Time = DosTimeOf(st.st_mtim);
}

enum class Seen {
    kEntry,       // st describes it
    kNone,        // no entry for Windows: gone meanwhile, a link leading outside the drive or nowhere
    kUnreadable,  // there, but it cannot be examined or no Windows path can reach it
};

// What the entry hostName (Windows form name) of the open folder, whose
// Windows path is folderPath, is for Windows. A link is what it leads to,
// while that stays inside the drive; isLink says that st is its target's.
Seen Examine(int folder, const String& folderPath, const std::string& hostName, const String& name,
             struct stat& st, bool& isLink) {
    isLink = false;
    if (folderPath.size() + name.size() > pathparse::kMaxWindowsPath) return Seen::kUnreadable;
    if (fstatat(folder, hostName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? Seen::kNone : Seen::kUnreadable;
    if (!S_ISLNK(st.st_mode)) return Seen::kEntry;
    isLink = true;
    Location target;
    const int err = Locate(folderPath + name, target);
    if (err != 0) return err == ENOENT ? Seen::kNone : Seen::kUnreadable;
    return StatLocation(target, st) ? Seen::kEntry : Seen::kNone;
}

// Advances the listing to the next entry that matches and is not excluded.
int NextEntry(TSearchRec& rec) {
    SearchHandle& h = *rec.FindHandle;
    if (h.dir == nullptr) return ENOENT;
    const int folder = dirfd(h.dir);
    for (;;) {
        errno = 0;
        const dirent* e = readdir(h.dir);
        if (e == nullptr) return errno != 0 ? errno : ENOENT;  // an error: the rest cannot be read
        const std::string hostName = e->d_name;
        if (IsTemporaryName(hostName)) continue;  // our own copy at work, or one that was cut off
        const String name = WindowsNameOf(hostName);
        if (!MaskMatches(h.mask, name)) continue;

        struct stat st {};
        const bool dots = hostName == "." || hostName == "..";
        if (dots) {
            // ".." of a drive root would lead outside the drive: report the root itself.
            const bool ok = (hostName == "." || h.atDriveRoot) ? fstat(folder, &st) == 0
                                                               : fstatat(folder, "..", &st, 0) == 0;
            if (!ok) continue;
        } else {
            bool isLink = false;
            const Seen seen = Examine(folder, h.folder, hostName, name, st, isLink);
            if (seen == Seen::kUnreadable) ++h.unreadable;
            if (seen != Seen::kEntry) continue;
        }
        if ((AttributesOf(st, IsHiddenName(hostName)) & rec.ExcludeAttr) != 0) continue;
        Fill(rec, name, hostName, st);
        return 0;
    }
}

// A folder of a located entry, opened for listing.
int OpenFolderForListing(const Location& loc) {
    if (loc.folderMissing || loc.danglingLink || !loc.folder.Valid()) {
        errno = ENOENT;
        return -1;
    }
    if (loc.isDriveRoot) return openat(loc.folder.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return openat(loc.folder.Get(), loc.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

}  // namespace

int StartSearch(StringView pattern, std::int32_t mask, TSearchRec& rec) {
    EndSearch(rec);
    rec.ExcludeAttr = (faHidden | faSysFile | faDirectory) & ~mask;
    const String name = NamePart(pattern);
    if (name.empty()) return ENOENT;

    auto handle = std::make_unique<SearchHandle>();
    if (HasWildcard(name)) {
        Location folder;
        handle->folder = FolderPart(pattern);
        if (const int err = Locate(handle->folder, folder); err != 0) return err;
        handle->mask = name;
        handle->atDriveRoot = folder.isDriveRoot;
        const int fd = OpenFolderForListing(folder);
        if (fd < 0) return errno;
        handle->dir = fdopendir(fd);
        if (handle->dir == nullptr) {
            const int err = errno;
            close(fd);
            return err;
        }
        rec.FindHandle = std::move(handle);
        const int result = NextEntry(rec);
        if (result != 0) EndSearch(rec);
        return result;
    }

    // The full path of one entry: look that entry up.
    Location entry;
    if (const int err = Locate(pattern, entry); err != 0) return err;
    if (entry.isDriveRoot || IsTemporaryName(entry.listedName)) return ENOENT;
    struct stat st {};
    if (!StatLocation(entry, st)) return errno;
    if ((AttributesOf(st, IsHiddenName(entry.listedName)) & rec.ExcludeAttr) != 0) return ENOENT;
    Fill(rec, WindowsNameOf(entry.listedName), entry.listedName, st);
    rec.FindHandle = std::move(handle);
    return 0;
}

int ContinueSearch(TSearchRec& rec) {
    if (!rec.FindHandle) return EBADF;
    return NextEntry(rec);
}

void EndSearch(TSearchRec& rec) { rec.FindHandle.reset(); }

std::int32_t UnreadableEntries(const TSearchRec& rec) { return rec.FindHandle ? rec.FindHandle->unreadable : 0; }

bool SearchFoundNothing(int result) { return result == 0 || result == ENOENT || result == ENOTDIR; }

// ---------------------------------------------------------------- tree listing

namespace {

constexpr int kTreeFolderFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// An entry read but not yet visited. The full path is made when it is
// visited: a deep tree's paths are long, and a folder may hold many entries.
struct TreeItem {
    String name;
    std::string hostName;
    std::int32_t attr = 0;
    TFileId id;
    bool viaLink = false;  // a link inside the drive: opened by its Windows path
};

// One folder of the listing. Only the folder being worked in holds its
// descriptor; the others get theirs back when the listing returns to them.
struct TreeFolder {
    String path;  // Windows path with its trailing '\'
    Fd fd;
    TFileId id;
    std::vector<TreeItem> items;
    std::size_t next = 0;
};

TFileId IdOf(const struct stat& st) {
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

// Reads every entry of an open folder at once, so that nothing of it stays
// open while its subfolders are listed. False when it cannot be read.
bool ReadTreeFolder(TreeFolder& f, std::size_t& unreadable) {
    const int fd = openat(f.fd.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (dir == nullptr) {
        if (fd >= 0) close(fd);
        return false;
    }
    for (;;) {
        errno = 0;
        const dirent* e = readdir(dir);
        if (e == nullptr) {
            if (errno != 0) ++unreadable;  // the rest of the folder cannot be read
            break;
        }
        const std::string hostName = e->d_name;
        if (hostName == "." || hostName == ".." || IsTemporaryName(hostName)) continue;
        TreeItem item;
        item.name = WindowsNameOf(hostName);
        struct stat st {};
        const Seen seen = Examine(fd, f.path, hostName, item.name, st, item.viaLink);
        if (seen == Seen::kUnreadable) ++unreadable;
        if (seen != Seen::kEntry) continue;
        item.attr = AttributesOf(st, IsHiddenName(hostName));
        if (S_ISDIR(st.st_mode)) item.id = IdOf(st);
        item.hostName = hostName;
        f.items.push_back(std::move(item));
    }
    closedir(dir);
    return true;
}

// Opens a located folder for the listing; -1 with errno set otherwise.
int OpenTreeFolder(const Location& loc) {
    if (loc.folderMissing || loc.danglingLink || !loc.folder.Valid()) {
        errno = ENOENT;
        return -1;
    }
    if (loc.isDriveRoot) return fcntl(loc.folder.Get(), F_DUPFD_CLOEXEC, 0);
    return openat(loc.folder.Get(), loc.name.c_str(), kTreeFolderFlags);
}

// Checks that fd is the folder with identity id: 0, or ESTALE when another
// folder stands there now.
int CheckTreeFolder(const Fd& fd, const TFileId& id) {
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0) return errno;
    return IdOf(st) == id ? 0 : ESTALE;
}

// The folder at a Windows path again, when it is still the one with that
// identity: 0 and fd, or an errno value.
int ReopenTreeFolder(const String& path, const TFileId& id, Fd& fd) {
    Location loc;
    if (const int err = Locate(path, loc); err != 0) return err;
    Fd opened(OpenTreeFolder(loc));
    if (!opened.Valid()) return errno;
    if (const int err = CheckTreeFolder(opened, id); err != 0) return err;
    fd = std::move(opened);
    return 0;
}

}  // namespace

std::size_t ListTree(StringView folder, const std::function<bool(const TTreeEntry&)>& visit) {
    std::size_t unreadable = 0;
    std::vector<TreeFolder> stack;

    // Opens and reads a folder and makes it the one worked in.
    const auto enter = [&](String path, Fd fd) {
        struct stat st {};
        TreeFolder f;
        f.path = std::move(path);
        f.fd = std::move(fd);
        if (fstat(f.fd.Get(), &st) != 0 || !S_ISDIR(st.st_mode) || !ReadTreeFolder(f, unreadable)) {
            ++unreadable;
            return;
        }
        f.id = IdOf(st);
        if (!stack.empty()) stack.back().fd.Reset();
        stack.push_back(std::move(f));
    };

    {
        const String base = WithTrailingBackslash(folder);
        Location loc;
        const int err = Locate(base, loc);
        Fd fd(err == 0 ? OpenTreeFolder(loc) : -1);
        if (!fd.Valid()) return SearchFoundNothing(err != 0 ? err : errno) ? 0 : 1;
        enter(base, std::move(fd));
    }

    while (!stack.empty()) {
        TreeFolder& f = stack.back();
        if (f.next == f.items.size()) {
            // Back to the parent: one step up when it is still the folder
            // the listing came down from; otherwise by its path, when needed.
            TreeFolder done = std::move(stack.back());
            stack.pop_back();
            if (stack.empty()) break;
            TreeFolder& parent = stack.back();
            if (done.fd.Valid()) {
                Fd up(openat(done.fd.Get(), "..", kTreeFolderFlags));
                if (up.Valid() && CheckTreeFolder(up, parent.id) == 0) parent.fd = std::move(up);
            }
            continue;
        }
        const TreeItem item = std::move(f.items[f.next++]);
        const TTreeEntry entry{f.path + item.name, item.attr, item.id};
        if (!visit(entry) || (entry.Attr & faDirectory) == 0) continue;

        const String path = WithTrailingBackslash(entry.Path);
        Fd child;
        int err = 0;
        if (item.viaLink) {
            err = ReopenTreeFolder(path, item.id, child);
        } else {
            if (!f.fd.Valid()) err = ReopenTreeFolder(f.path, f.id, f.fd);
            if (err == 0) {
                child = Fd(openat(f.fd.Get(), item.hostName.c_str(), kTreeFolderFlags));
                err = child.Valid() ? CheckTreeFolder(child, item.id) : errno;
            }
        }
        if (err != 0) {
            // Gone since it was read is no loss; changed, its files cannot be vouched for.
            if (err != ENOENT) ++unreadable;
            continue;
        }
        enter(path, std::move(child));
    }
    return unreadable;
}

// ---------------------------------------------------------------- reading

namespace {

// Reads ahead in blocks larger than callers ask for: hashing asks for 4 KiB
// at a time, and a system call per 4 KiB costs more than the hashing of it.
// Bytes are handed out in order, so a read error still ends the stream after
// the last good byte. The stream ends at the size the file had when it was
// opened: a file that grows meanwhile is read as it was.
class PosixFileStream final : public TFileStream {
public:
    PosixFileStream(int fd, std::uint64_t size) : fd_(fd), remaining_(size) {
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
        if (remaining_ < count) count = static_cast<std::size_t>(remaining_);
        if (count == 0) return 0;
        for (;;) {
            const ssize_t n = read(fd_, buffer, count);
            if (n >= 0) {
                remaining_ -= static_cast<std::uint64_t>(n);
                return static_cast<std::size_t>(n);
            }
            if (errno != EINTR) return 0;
        }
    }

    int fd_;
    std::uint64_t remaining_;
    std::unique_ptr<char[]> block_ = std::make_unique<char[]>(kBlock);
    std::size_t next_ = 0;
    std::size_t end_ = 0;
};

// Kernel interfaces that look like regular files but have no contents of
// their own: their size says nothing, and some never end (/proc/self/pagemap).
bool IsPseudoFileSystem(int fd) {
    struct statfs fs {};
    if (fstatfs(fd, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case 0x9fa0:      // proc
        case 0x62656572:  // sysfs
        case 0x64626720:  // debugfs
        case 0x74726163:  // tracefs
        case 0x73636673:  // securityfs
        case 0x62656570:  // configfs
        case 0x27e0eb:    // cgroup
        case 0x63677270:  // cgroup2
        case 0xcafe4a11:  // bpf
        case 0xde5e81e4:  // efivarfs
        case 0x6e736673:  // nsfs
        case 0x50494646:  // pidfs
            return true;
        default:
            return false;
    }
}

// Opens a located regular file for reading. O_NONBLOCK keeps a named pipe
// from blocking the open and O_NOFOLLOW a link put in place after the walk
// from being followed; the type check then turns away all but regular files.
int OpenRegular(const Location& loc, struct stat& st) {
    if (loc.folderMissing || loc.danglingLink || !loc.folder.Valid()) {
        errno = ENOENT;
        return -1;
    }
    if (loc.isDriveRoot || loc.trailing) {
        errno = loc.isDriveRoot ? EISDIR : ENOTDIR;
        return -1;
    }
    const int fd = openat(loc.folder.Get(), loc.name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) return -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || IsPseudoFileSystem(fd)) {
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
    Location loc;
    int err = Locate(path, loc);
    if (err == 0) {
        struct stat st {};
        const int fd = OpenRegular(loc, st);
        if (fd >= 0) return std::make_unique<PosixFileStream>(fd, static_cast<std::uint64_t>(st.st_size));
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

// Copies size bytes (the source's size when it was opened); a source that
// shrinks meanwhile ends the copy at its end.
bool CopyContents(int in, int out, std::uint64_t size) {
    // The kernel's copy first (it can share blocks); plain reads and writes
    // where the file systems do not support it.
    std::uint64_t left = size;
    while (left > 0) {
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, std::min<std::uint64_t>(left, 1u << 30), 0);
        if (n > 0) {
            left -= static_cast<std::uint64_t>(n);
            continue;
        }
        if (n == 0) return true;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP && errno != EPERM)
            return false;
        break;
    }
    if (left == 0) return true;  // the usual case: no buffer to fill
    std::vector<char> buffer(256 * 1024);
    while (left > 0) {
        const ssize_t n = read(in, buffer.data(), std::min<std::uint64_t>(left, buffer.size()));
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) return false;
        left -= static_cast<std::uint64_t>(n);
    }
    return true;
}

}  // namespace

int CopyFileReplacing(StringView source, StringView target) {
    // Both ends through the walk: a link on the way that leads outside the
    // drive makes the path missing, and the write happens in the folder the
    // walk opened, so nothing outside the drive is ever written.
    Location from;
    Location to;
    if (Locate(source, from) != 0 || Locate(target, to) != 0) return 0;
    if (to.isDriveRoot || to.trailing || to.folderMissing || to.danglingLink) return 0;

    struct stat existing {};
    const bool exists = fstatat(to.folder.Get(), to.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists) {
        // A folder, a read-only or hidden file, or anything but a regular file is refused.
        if (!S_ISREG(existing.st_mode) ||
            (AttributesOf(existing, IsHiddenName(to.listedName)) & (faReadOnly | faHidden)))
            return 0;
    } else if (errno != ENOENT) {
        return 0;
    }

    struct stat st {};
    const int in = OpenRegular(from, st);
    if (in < 0) return 0;
    // A file copied onto itself (another spelling, a link, a hard link) is
    // refused, as CopyFileW refuses it, before anything is written: the
    // file stays the very same file.
    if (exists && existing.st_dev == st.st_dev && existing.st_ino == st.st_ino) {
        close(in);
        errno = EINVAL;
        return 0;
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    // Written like cp writes: through the page cache, with no wait for the
    // disk. The rename still puts the copy in place whole or not at all.
    const bool ok = ReplaceFileAt(to.folder.Get(), to.name, st.st_mode & 0777, &st.st_mtim, exists ? &existing : nullptr,
                                  Durability::kCached, [&](int out) { return CopyContents(in, out, size); });
    close(in);
    return ok ? 1 : 0;
}

// ---------------------------------------------------------------- folder creation

namespace {

String Bracketed(StringView path) { return u"\r\n[" + String(path) + u"]"; }

bool HasLongPrefix(StringView path) { return pathparse::HasDevicePrefix(path, pathparse::Separators::kBackslash); }

// The absolute form of a Windows path: separators made '\', empty and "."
// components dropped, ".." resolved within the drive. Paths with a \\?\ or
// \\.\ prefix are taken literally; a path without a drive has no current
// folder to resolve against here and is returned as given.
String FullPathOf(StringView path) {
    if (HasLongPrefix(path)) return String(path);
    const pathparse::Root root = pathparse::ParseRoot(path, pathparse::Separators::kBoth);
    String drive;
    if (root.prefix != 0) return String(path);
    if (root.kind == pathparse::Root::Kind::kLetter) {
        drive = String(path.substr(0, 2));
    } else if (root.kind == pathparse::Root::Kind::kShare) {
        drive = String(path.substr(0, root.end));
        for (auto& c : drive) c = c == u'/' ? u'\\' : c;
    } else {
        return String(path);
    }
    const std::vector<String> parts =
        pathparse::WindowsComponents(path.substr(root.rest), pathparse::Separators::kBoth);
    String full = drive + u"\\";
    for (std::size_t k = 0; k < parts.size(); ++k) {
        if (k > 0) full += u'\\';
        full += parts[k];
    }
    const char16_t last = path.back();
    if (!parts.empty() && (last == u'\\' || last == u'/')) full += u'\\';
    return full;
}

}  // namespace

void EnsureDirectory(StringView path) {
    if (TrimBlanks(path).empty()) throw EInOutError(u"Path is empty");
    if (path.find(u'\0') != StringView::npos) throw EInOutError(u"Invalid characters in path" + Bracketed(path));

    const String full = FullPathOf(path);
    // The same names are refused as on Windows, so a tree made here can be
    // used there too. Host names that Windows refuses never get here: their
    // Windows form carries such bytes as U+DC00 plus the byte.
    const std::size_t from = HasLongPrefix(full) ? 4 : 0;
    const pathparse::Root root = pathparse::ParseRoot(full, pathparse::Separators::kBackslash);
    const bool driveLetter = root.HasAsciiLetter() && root.rest == from + 2;
    for (std::size_t i = 0; i < full.size(); ++i) {
        if (full[i] == u':' && !(driveLetter && i == from + 1)) throw EInOutError(u"The path format is not supported");
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

    // One walk down from the drive, making each missing level on the way.
    // A link that leads outside the drive is the operator's and stays as it
    // is: nothing is made through it, and a copy below it is refused on its
    // own, as one failed copy, rather than ending a whole run here.
    Location made;
    if (const int err = Locate(full, made, Walk::kMakeFolders); err != 0) {
        if (err == ENOENT && made.leadsOutside) return;
        throw EInOutError(ErrorText(err) + Bracketed(path));
    }
}

}  // namespace tw
