// Which installations are ticked: the filter rule by version name and
// subfolder, and the tick list with the selection built from it.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/platform.h"

namespace tw {

// Whether installation path passes both filters. versionText is taken
// untrimmed as the text searched for in the game name of the installation's
// Config.ini (letter case counts); a blank one sets no condition. The
// trimmed subDirText, less one trailing '\', must occur as \sub\ in path.
bool MatchesFilters(StringView path, StringView versionText, StringView subDirText);

// The tick of entry index; an index without a tick entry reads as ticked.
bool GetCheckState(const std::vector<bool>& checkStates, int index);
// Sets entry index. False, and nothing changed, when the index has no entry.
bool SetCheckState(std::vector<bool>& checkStates, int index, bool value);

// The entries of sourcePaths whose tick entry is set, in list order; an
// entry without a tick entry is not selected.
void RebuildSelectedPaths(const std::vector<String>& sourcePaths,
                          const std::vector<bool>& checkStates,
                          std::vector<String>& selectedPaths);

// Appends one tick per entry of sourcePaths by the filters, and each ticked
// entry to selectedPaths, in order.
void TickByFilters(const std::vector<String>& sourcePaths, StringView versionText,
                   StringView subDirText, std::vector<bool>& checkStates,
                   std::vector<String>& selectedPaths);

// "已选中 N 个目录，包含 M 个文件"
String SelectionMessage(std::size_t selectedCount, std::size_t fileCount);

}  // namespace tw
