// The comparison of one installation's copy of the first dropped file with
// the dropped file itself, and the rule that maps a dropped file to its
// counterpart inside another installation.
#pragma once

#include <cstdint>
#include <vector>

#include "compare/md5_multi.h"
#include "platform/platform.h"

namespace tw {

// Plain value record; lists hold copies of it.
struct TFileCompareInfo {
    String GameName;
    std::int64_t FileSize = 0;
    TDateTime ModifiedTime = 0;  // 0: no stamp (the entry's time could not be converted)
    String MD5Hash;        // 32 lowercase hex digits, or empty
    bool IsSameMD5 = false;  // both digests known and equal
    String SizeCompare;    // "较小", "较大", "相同" or empty
    String TimeCompare;    // "较旧", "较新", "相同" or empty
    bool FileExists = false;

    friend bool operator==(const TFileCompareInfo&, const TFileCompareInfo&) = default;
};

// Cuts the prefix's length off the front of fileName (no check that it is a
// leading part), or takes the name part when the prefix is empty.
String GetRelativeName(StringView fileName, StringView baseServerPrefix);
// Where fileName lives inside installation dir.
String CounterpartPath(StringView dir, StringView fileName, StringView baseServerPrefix);

// MD5 of the file's content as 32 lowercase hex digits; empty when the file
// cannot be opened.
String GetFileMD5(StringView path);
// MD5 of what stream yields, read in 4096-byte blocks until a read returns
// nothing (the end, or a read error: then the digest of the bytes before it).
String GetStreamMD5(TFileStream& stream);

// GetFileMD5 of every path, in order; the files are hashed side by side, one
// per lane of kernel, at most that many open at a time.
std::vector<String> GetFilesMD5(const std::vector<String>& paths,
                                TMD5Kernel kernel = BestMD5Kernel());

// Size, time and MD5 of entry 0 of droppedFileNames.
TFileCompareInfo LoadFirstFileInfo(const std::vector<String>& droppedFileNames);

// The record of installation dir for the first dropped file.
void BuildCompareInfo(StringView dir, TFileCompareInfo& info,
                      const std::vector<String>& droppedFileNames,
                      StringView baseServerPrefix,
                      const TFileCompareInfo& firstFileInfo);

// Appends one record per entry of dirs to infos, in order, each the one
// BuildCompareInfo computes; the counterparts are hashed side by side
// (GetFilesMD5). When a lookup throws, the records before it are appended
// before the error goes on, as a loop over BuildCompareInfo would leave them.
void BuildCompareInfos(const std::vector<String>& dirs, std::vector<TFileCompareInfo>& infos,
                       const std::vector<String>& droppedFileNames,
                       StringView baseServerPrefix,
                       const TFileCompareInfo& firstFileInfo,
                       TMD5Kernel kernel = BestMD5Kernel());

}  // namespace tw
