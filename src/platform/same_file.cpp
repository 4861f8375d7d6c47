// IsSameFile: two paths that lead to one file or folder, by the identity the
// system gives it.
#include "platform/platform.h"

namespace tw {

bool IsSameFile(StringView a, StringView b) {
    TFileId first;
    TFileId second;
    return FileIdentity(a, first) && FileIdentity(b, second) && first == second;
}

}  // namespace tw
