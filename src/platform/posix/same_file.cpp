// IsSameFile on Linux: the identities of the two entries the drive table's
// walk leads to.
#include "platform/platform.h"

namespace tw {

bool IsSameFile(StringView a, StringView b) {
    TFileId idA;
    TFileId idB;
    return FileIdentity(a, idA) && FileIdentity(b, idB) && idA == idB;
}

}  // namespace tw
