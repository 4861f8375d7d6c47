// Finding the server installations on a drive: the folders one level below
// the drive root or below a typed subfolder that hold a Config.ini naming a game.
#include "discovery/server_search.h"

namespace tw {
namespace {

constexpr StringView kConfigSection = u"Config";
constexpr StringView kGameConfSection = u"GameConf";
constexpr StringView kGameNameKey = u"GameName";

// Calls visit(name) for every visible folder directly below folder (which
// ends in '\'), in the file system's order. Hidden and system entries never
// come through mask 16; files do and are dropped here.
template <typename Visit>
void ForEachSubfolder(const String& folder, Visit visit)
{
    TSearchRec rec;
    if (StartSearch(folder + u"*.*", faDirectory, rec) != 0)
        return;
    do {
        if (rec.Name == u"." || rec.Name == u"..")
            continue;
        if ((rec.Attr & faDirectory) == 0)
            continue;
        visit(rec.Name);
    } while (ContinueSearch(rec) == 0);
    EndSearch(rec);
}

}  // namespace

bool HasGameName(StringView path)
{
    return !ReadGameName(path).empty();
}

String ReadGameName(StringView path)
{
    if (!IsFile(path))
        return {};
    TIniFile ini{String(path)};
    String name = ini.ReadValue(kConfigSection, kGameNameKey);
    if (name.empty())
        name = ini.ReadValue(kGameConfSection, kGameNameKey);
    return name;
}

void AddIfServerDir(StringView dir, std::vector<String>& found)
{
    const String ini = WithTrailingBackslash(dir) + u"Config.ini";
    if (IsFile(ini) && HasGameName(ini))
        found.emplace_back(dir);
}

String SearchServerDirs(StringView drive, StringView subDirText, StringView baseRootPath,
                        std::vector<String>& found)
{
    String sub = TrimBlanks(subDirText);
    if (sub.empty()) {
        // Root mode: every installation beside the one the drop came from.
        const String excluded = WithoutTrailingBackslash(baseRootPath);
        const String root = WithTrailingBackslash(drive);
        ForEachSubfolder(root, [&](const String& name) {
            const String dir = root + name;
            if (CompareAsciiNoCase(dir, excluded) == 0)
                return;
            AddIfServerDir(dir, found);
        });
        return {};
    }

    // Subfolder mode: one trailing '\' is the operator's habit, a second one
    // is kept as typed. Nothing is left out here.
    if (sub.back() == u'\\')
        sub.pop_back();
    const String base = WithTrailingBackslash(drive) + sub;
    if (!IsDirectory(base))
        return u"子目录 \"" + sub + u"\" 不存在";
    const String parent = WithTrailingBackslash(base);
    ForEachSubfolder(parent, [&](const String& name) { AddIfServerDir(parent + name, found); });
    return {};
}

}  // namespace tw
