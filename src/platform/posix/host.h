// Private to the POSIX platform layer: the drive table's translation of
// Windows paths to host paths, and the file helpers shared by the copy and
// the profile writes.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "platform/platform.h"

namespace tw::posix {

// An open file descriptor, closed when dropped.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(Fd&& other) noexcept : fd_(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = other.Release();
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void Reset();

private:
    int fd_ = -1;
};

// Where a Windows path leads on the host, found by walking down from the
// drive's folder one opened level at a time. Links met on the way are
// followed only while they stay inside the drive's folder (judged by where
// they lead, level by level, not by their text); the entry itself, when it
// is a link, is followed the same way, so that folder and name are where the
// data really lives.
struct Location {
    Fd folder;               // the folder holding the entry (the drive root itself for the root); open unless folderMissing
    std::string name;        // the entry's host name in folder; empty at the drive root
    std::string listedName;  // the entry's name as its Windows folder lists it (the link's own name for a link)
    std::string path;        // host path of the entry; ends in '/' when the Windows path ended in '\'
    bool isDriveRoot = false;
    bool trailing = false;       // the Windows path ended in '\'
    bool folderMissing = false;  // a level above the entry is missing (or is no folder)
    bool danglingLink = false;   // the entry is a link inside the drive that leads to nothing
    bool leadsOutside = false;   // Locate failed because a link on the way leads outside the drive
};

enum class Walk {
    kFind,           // find only
    kMakeFolders,    // create every missing level, the entry included, as folders
};

// The door to the host file system: 0 and out filled, or an errno value.
// ENOENT when the path has no drive, its drive is not mapped, it holds a NUL
// or a name without a host form, it names one of our temporary files, or a
// link on the way leads outside the drive (out.leadsOutside then says so).
// ENAMETOOLONG past kMaxWindowsPath. A level missing under kFind is
// not an error: out.folderMissing says so, and the rest is taken as given.
// A name missing with its exact spelling is matched without regard to case,
// reading its folder once.
int Locate(StringView windowsPath, Location& out, Walk walk = Walk::kFind);

// fstatat of a located entry without following a link (the walk has
// followed the ones it may); honours a trailing '\'. False with errno set.
bool StatLocation(const Location& loc, struct stat& st);

// Compatibility view of Locate for callers that work with host paths (the
// profile files): false when Locate fails.
struct HostPath {
    std::string path;        // absolute host path; ends in '/' when the Windows path ended in '\'
    std::string name;        // the last host component (empty at the drive root)
    bool isDriveRoot = false;
};
bool Resolve(StringView windowsPath, HostPath& out);

// True when the drive of the path (letter or share) is in the table.
bool IsDriveMapped(StringView windowsPath);

// Creates the host folder of the path's drive when the drive is one that is
// created on first write (the default C:). Does nothing otherwise.
void PrepareDriveForWrite(StringView windowsPath);

// Host names and their Windows form. Valid UTF-8 is decoded; every byte that
// is not part of valid UTF-8, and every byte that Windows cannot hold in a
// name (control characters, '\\', ':', '*', '?', '"', '<', '>', '|'),
// becomes the lone low surrogate U+DC00 + byte, which no valid UTF-8
// produces. The host form of a Windows name undoes exactly that; a name with
// any other lone surrogate (U+DC00 itself among them) has no host form.
String WindowsNameOf(std::string_view hostName);
bool HostNameOf(StringView windowsName, std::string& out);

// Our own temporary files (the replacing copy, profile writes): the name
// they are given, and the test that leaves them out of every listing.
std::string TemporaryName();
bool IsTemporaryName(std::string_view hostName);

// Letter case folding used wherever Windows ignores case in names.
char16_t FoldCase(char16_t c);
bool EqualNoCase(StringView a, StringView b);

// The platform's text for an errno value.
String ErrorText(int err);

// Attribute word of a host entry; hidden is decided by the caller from the
// Windows-visible name.
std::int32_t AttributesOf(const struct stat& st, bool hidden);
bool IsHiddenName(const std::string& hostName);

// Local MS-DOS date-time of a host time stamp.
std::int32_t DosTimeOf(const struct timespec& when);

// Whether a replacement waits for the disk before the rename (fsync).
// kOnDisk: the history file, one small write. kCached: copied files, which a
// run writes by the thousand; a flush per file would cost a disk round trip
// each, where cp costs none.
enum class Durability { kOnDisk, kCached };
// Writes a new file inside an opened folder through fill(fd), gives it mode
// (and the modification time when mtime is set), then renames it over name
// there, so nothing between the check and the write can move the write
// elsewhere. owner, when given, is the replaced file's. On any failure the
// temporary file is removed, the old file is untouched, errno is set and the
// result is false.
bool ReplaceFileAt(int folder, const std::string& name, mode_t mode, const struct timespec* mtime,
                   const struct stat* owner, Durability durability, const std::function<bool(int fd)>& fill);

// Writes all of data to fd, going on after interruptions and short writes.
bool WriteAll(int fd, const char* data, std::size_t size);

}  // namespace tw::posix
