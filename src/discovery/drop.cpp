// Taking in a drop: base server prefix, recursive file listing, base root.
#include "discovery/drop.h"

#include <set>
#include <string>

namespace tw {

const std::array<StringView, 7> ServerDirNames = {
    u"Mir200", u"DBServer", u"LoginGate", u"LoginSrv", u"LogServer", u"RunGate", u"SelGate",
};

String FindBaseServerPrefix(StringView droppedPath) {
    String prefix;
    int best = 2147483647;
    // The earliest occurrence in the path wins; at an equal position the name
    // met first in the table stays, hence the strict comparison.
    for (StringView name : ServerDirNames) {
        const int p = PositionOf(name, droppedPath, 1);
        if (p > 0 && p < best) {
            best = p;
            prefix = String(droppedPath.substr(0, static_cast<std::size_t>(p - 1)));
        }
    }
    if (!prefix.empty() && prefix.back() != u'\\') prefix += u'\\';
    return prefix;
}

std::size_t CollectFiles(StringView folder, std::vector<String>& list) {
    // Links to folders are followed like folders, but each real folder is
    // listed once: a link back up (a cycle) or a second way to a folder
    // already listed adds nothing, so the listing stays as long as the tree
    // is real, whatever the links.
    std::set<TFileId> listed;
    TFileId id;
    if (FileIdentity(folder, id)) listed.insert(id);
    return ListTree(folder, [&](const TTreeEntry& entry) {
        if ((entry.Attr & faDirectory) != 0) return listed.insert(entry.Id).second;
        list.push_back(entry.Path);
        return false;
    });
}

TBaseRoot ComputeBaseRoot(StringView droppedPath, StringView dropDrive, bool isFolderDrop) {
    TBaseRoot r;
    if (isFolderDrop) {
        r.BasePath = WithTrailingBackslash(droppedPath);
        r.DroppedFolderPath = WithoutTrailingBackslash(droppedPath);
    } else if (IsFile(droppedPath)) {
        r.BasePath = FolderPart(droppedPath);
        r.DroppedFolderPath = WithoutTrailingBackslash(r.BasePath);
    } else {
        return r;  // neither a folder nor a file: nothing can be worked out
    }
    // Position n + 1 holds the backslash after the drive, n + 2 the first
    // character of the top-level folder's name.
    const int n = static_cast<int>(dropDrive.size());
    const int k = PositionOf(u"\\", r.BasePath, n + 2);
    if (k > 0) {
        r.BaseRootPath = r.BasePath.substr(0, static_cast<std::size_t>(k));
        r.BaseRoot = NamePart(WithoutTrailingBackslash(r.BaseRootPath));
    }
    return r;
}

}  // namespace tw
