// Finding the server installations on a drive.
#pragma once

#include <vector>

#include "platform/platform.h"

namespace tw {

// True when path is an existing file with a non-empty GameName in section
// "Config" or, failing that, "GameConf".
bool HasGameName(StringView path);
// The GameName of "Config", else of "GameConf"; empty when path is no file.
String ReadGameName(StringView path);

// Appends dir when it holds a Config.ini naming a game.
void AddIfServerDir(StringView dir, std::vector<String>& found);

// Root mode when the trimmed subDirText is empty (leaving out baseRootPath's
// folder), otherwise the folders below drive\subDir. Appends to found; never
// clears it. Returns the status message to show (the missing-subfolder
// message) or an empty string.
String SearchServerDirs(StringView drive, StringView subDirText, StringView baseRootPath,
                        std::vector<String>& found);

}  // namespace tw
