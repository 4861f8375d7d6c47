// The one reader of a Windows path's drive and device prefix.
#include "platform/path_parse.h"

namespace tw::pathparse {

bool HasDevicePrefix(StringView path, Separators seps) {
    return path.size() >= 4 && IsSeparator(path[0], seps) && IsSeparator(path[1], seps) &&
           (path[2] == u'?' || path[2] == u'.') && IsSeparator(path[3], seps);
}

Root ParseRoot(StringView path, Separators seps) {
    Root r;
    if (path.size() >= 2 && path[1] == u':') {
        r.kind = Root::Kind::kLetter;
        r.letter = path[0];
        r.end = r.rest = 2;
        return r;
    }
    if (path.size() < 2 || !IsSeparator(path[0], seps) || !IsSeparator(path[1], seps)) return r;

    // The drive ends at the separator after its last name: two names for a
    // share (server, share), one after a device prefix (D:).
    std::size_t start = 2;
    int names = 2;
    if (HasDevicePrefix(path, seps)) {
        const bool unc = path.size() >= 8 && path[4] == u'U' && path[5] == u'N' && path[6] == u'C' &&
                         IsSeparator(path[7], seps);
        r.prefix = unc ? 8 : 4;
        r.literal = path[2] == u'?';
        start = r.prefix;
        names = unc ? 2 : 1;
        r.kind = unc ? Root::Kind::kShare : Root::Kind::kDevice;
    } else {
        r.kind = Root::Kind::kShare;
    }
    std::size_t nameStart[2] = {start, start};
    std::size_t nameEnd[2] = {path.size(), path.size()};
    std::size_t i = start;
    r.end = path.size();
    for (int k = 0; k < names; ++k) {
        nameStart[k] = i;
        while (i < path.size() && !IsSeparator(path[i], seps)) ++i;
        nameEnd[k] = i;
        if (i >= path.size()) break;
        if (k == names - 1) {
            r.end = i;
        } else {
            ++i;
        }
    }
    r.rest = r.end;
    if (r.kind == Root::Kind::kShare) {
        r.server = path.substr(nameStart[0], nameEnd[0] - nameStart[0]);
        if (names == 2 && nameEnd[0] < path.size()) r.share = path.substr(nameStart[1], nameEnd[1] - nameStart[1]);
    } else if (path.size() >= r.prefix + 2 && path[r.prefix + 1] == u':') {
        // \\?\D:\...: the letter drive behind the prefix.
        r.kind = Root::Kind::kLetter;
        r.letter = path[r.prefix];
        r.rest = r.prefix + 2;
    }
    return r;
}

}  // namespace tw::pathparse
