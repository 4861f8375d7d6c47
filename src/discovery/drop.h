// Taking in a drop: where the dropped items sit inside their installation
// and which files they stand for.
#pragma once

#include <array>
#include <vector>

#include "platform/platform.h"

namespace tw {

// The server component folder names, in table order.
extern const std::array<StringView, 7> ServerDirNames;

// The part of droppedPath before the earliest server component name, with a
// trailing '\'; empty when none occurs (or it occurs at position 1).
String FindBaseServerPrefix(StringView droppedPath);

// Appends the full paths of every file below folder, depth-first, listing
// each real folder once. Returns how many entries or folders could not be
// read and are therefore missing from the list (0 when the list is whole).
std::size_t CollectFiles(StringView folder, std::vector<String>& list);

struct TBaseRoot {
    String BasePath;
    String DroppedFolderPath;
    String BaseRootPath;
    String BaseRoot;
};
// The folder holding the dropped items and the top-level folder above it.
// Tests IsFile(droppedPath) when it is not a folder drop.
TBaseRoot ComputeBaseRoot(StringView droppedPath, StringView dropDrive, bool isFolderDrop);

}  // namespace tw
