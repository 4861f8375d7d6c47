// The result steps that both scan runs share, and the runs' status texts.
#pragma once

#include <cstddef>
#include <vector>

#include "compare/compare_info.h"
#include "platform/platform.h"

namespace tw {

// The form's result lists, cleared and filled together by a scan.
struct TScanLists {
    std::vector<String>& SourcePaths;
    std::vector<String>& SelectedPaths;
    std::vector<bool>& CheckStates;
    std::vector<TFileCompareInfo>& CompareInfos;

    // Empties them in the order a scan does.
    void Clear();
};

// What the comparisons and the filters of one scan read.
struct TScanInputs {
    const std::vector<String>& DroppedFileNames;
    StringView BaseServerPrefix;
    const TFileCompareInfo& FirstFileInfo;
    StringView VersionText;
    StringView SubDirText;
};

// Steps 1 and 2 of the result steps, appending to the lists as they go (an
// error part-way leaves them as far as they had got): every comparison
// record first, then every tick with the selection.
void BuildScanResults(TScanLists lists, const TScanInputs& inputs);

String GameNameMessage(StringView gameName);     // "已读取 GameName: gn" or "未找到 GameName 配置"
String SearchMessage(StringView drive);          // "正在搜索 D: 盘下的目录..."
String CountMessage(std::size_t count);          // "找到 N 个目录 "
inline constexpr StringView NoResultMessage = u"未找到符合条件的目录";
String RescanMessage(StringView subDirText);     // "正在根据子文件夹 \"s\" 重新扫描..."
String RescanCountMessage(std::size_t count, StringView subDirText);
String RescanNoResultMessage(StringView subDirText);
String RescanErrorMessage(StringView errorText);  // "重新扫描出错: " + text

}  // namespace tw
