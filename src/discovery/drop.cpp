// Taking in a drop: base server prefix, recursive file listing, base root.
#include "discovery/drop.h"

#include <filesystem>
#include <string>
#include <system_error>

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

namespace {

// The host folder a Windows path leads to, for identity checks only.
std::filesystem::path HostFolder(StringView windowsPath) {
    const std::string host = HostPathOf(windowsPath);
    return std::filesystem::path(std::u8string(host.begin(), host.end()));
}

// Whether folder is the same folder (by the host's identity: device and
// inode, or the file index on Windows) as one of the folders on the path
// from the listed folder down to here.
bool IsOnCurrentPath(const std::filesystem::path& folder,
                     const std::vector<std::filesystem::path>& ancestors) {
    for (const auto& ancestor : ancestors) {
        std::error_code ec;
        if (std::filesystem::equivalent(folder, ancestor, ec)) return true;
    }
    return false;
}

void CollectInto(StringView folder, std::vector<String>& list,
                 std::vector<std::filesystem::path>& ancestors) {
    const String base = WithTrailingBackslash(folder);
    TSearchRec rec;
    if (StartSearch(base + u"*.*", faAnyFile, rec) != 0) return;  // listed as empty
    do {
        if (rec.Name == u"." || rec.Name == u"..") continue;
        String full = base + rec.Name;
        if ((rec.Attr & faDirectory) != 0) {
            // Links to folders are followed like folders, but never into a
            // folder that is already being listed further up: a link back to
            // an ancestor (a cycle) is skipped, so the listing always ends.
            // A folder reached twice by different links that do not form a
            // cycle is listed twice, as a plain walk would.
            std::filesystem::path host = HostFolder(full);
            if (IsOnCurrentPath(host, ancestors)) continue;
            ancestors.push_back(std::move(host));
            CollectInto(full, list, ancestors);
            ancestors.pop_back();
        } else {
            list.push_back(std::move(full));
        }
    } while (ContinueSearch(rec) == 0);
    EndSearch(rec);
}

}  // namespace

void CollectFiles(StringView folder, std::vector<String>& list) {
    std::vector<std::filesystem::path> ancestors{HostFolder(folder)};
    CollectInto(folder, list, ancestors);
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
