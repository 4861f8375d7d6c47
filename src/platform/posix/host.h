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

// Where a Windows path leads on the host.
struct HostPath {
    std::string path;        // absolute host path; ends in '/' when the Windows path ended in '\'
    std::string name;        // the last host component (empty at the drive root)
    bool isDriveRoot = false;
};

// False when the path has no drive, its drive is not mapped, or it holds a
// NUL. Components are matched without regard to letter case when the exact
// name does not exist.
bool Resolve(StringView windowsPath, HostPath& out);

// True when the drive of the path (letter or share) is in the table.
bool IsDriveMapped(StringView windowsPath);

// Creates the host folder of the path's drive when the drive is one that is
// created on first write (the default C:). Does nothing otherwise.
void PrepareDriveForWrite(StringView windowsPath);

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

// Writes a new file beside target through fill(fd), gives it mode (and the
// modification time when mtime is set), then renames it over target. On any
// failure the temporary file is removed, target is untouched, errno is set
// and the result is false.
bool ReplaceFile(const std::string& target, mode_t mode, const struct timespec* mtime,
                 const std::function<bool(int fd)>& fill);

// Writes all of data to fd, going on after interruptions and short writes.
bool WriteAll(int fd, const char* data, std::size_t size);

// The host folder of a host path ("/a/b/c" -> "/a/b", "/a" -> "/").
std::string HostFolderOf(const std::string& hostPath);

}  // namespace tw::posix
