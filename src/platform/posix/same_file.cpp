// IsSameFile on Linux: device and inode of the host paths the drive table
// gives.
#include <sys/stat.h>

#include <string>

#include "platform/platform.h"

namespace tw {

bool IsSameFile(StringView a, StringView b) {
    const std::string hostA = HostPathOf(a);
    const std::string hostB = HostPathOf(b);
    if (hostA.empty() || hostB.empty()) return false;
    struct stat sa {};
    struct stat sb {};
    if (stat(hostA.c_str(), &sa) != 0 || stat(hostB.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace tw
