#include "selection/selection.h"

#include "discovery/server_search.h"

namespace tw {

namespace {

String Decimal(std::size_t n) {
    const std::string digits = std::to_string(n);
    return String(digits.begin(), digits.end());
}

}  // namespace

bool MatchesFilters(StringView path, StringView versionText, StringView subDirText) {
    if (!TrimBlanks(versionText).empty()) {
        // Read afresh at every evaluation: the operator may have edited it.
        const String gameName = ReadGameName(WithTrailingBackslash(path) + u"Config.ini");
        if (PositionOf(versionText, gameName, 1) <= 0) return false;
    }
    String sub = TrimBlanks(subDirText);
    if (sub.empty()) return true;
    if (sub.back() == u'\\') sub.pop_back();  // one only
    const String needle = u"\\" + sub + u"\\";
    return PositionOf(needle, path, 1) > 0;
}

bool GetCheckState(const std::vector<bool>& checkStates, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= checkStates.size()) return true;
    return checkStates[static_cast<std::size_t>(index)];
}

bool SetCheckState(std::vector<bool>& checkStates, int index, bool value) {
    if (index < 0 || static_cast<std::size_t>(index) >= checkStates.size()) return false;
    checkStates[static_cast<std::size_t>(index)] = value;
    return true;
}

void RebuildSelectedPaths(const std::vector<String>& sourcePaths,
                          const std::vector<bool>& checkStates,
                          std::vector<String>& selectedPaths) {
    selectedPaths.clear();
    for (std::size_t i = 0; i < sourcePaths.size(); ++i) {
        if (i < checkStates.size() && checkStates[i]) selectedPaths.push_back(sourcePaths[i]);
    }
}

void TickByFilters(const std::vector<String>& sourcePaths, StringView versionText,
                   StringView subDirText, std::vector<bool>& checkStates,
                   std::vector<String>& selectedPaths) {
    for (const String& path : sourcePaths) {
        const bool ticked = MatchesFilters(path, versionText, subDirText);
        checkStates.push_back(ticked);
        if (ticked) selectedPaths.push_back(path);
    }
}

String SelectionMessage(std::size_t selectedCount, std::size_t fileCount) {
    return u"已选中 " + Decimal(selectedCount) + u" 个目录，包含 " + Decimal(fileCount) + u" 个文件";
}

}  // namespace tw
