#include "discovery/scan.h"

#include <string>

#include "selection/selection.h"

namespace tw {

namespace {

String Decimal(std::size_t n) {
    const std::string digits = std::to_string(n);
    return String(digits.begin(), digits.end());
}

}  // namespace

void TScanLists::Clear() {
    SourcePaths.clear();
    SelectedPaths.clear();
    CheckStates.clear();
    CompareInfos.clear();
}

void BuildScanResults(TScanLists lists, const TScanInputs& inputs) {
    BuildCompareInfos(lists.SourcePaths, lists.CompareInfos, inputs.DroppedFileNames,
                      inputs.BaseServerPrefix, inputs.FirstFileInfo);
    TickByFilters(lists.SourcePaths, inputs.VersionText, inputs.SubDirText, lists.CheckStates,
                  lists.SelectedPaths);
}

String GameNameMessage(StringView gameName) {
    if (gameName.empty()) return u"未找到 GameName 配置";
    return u"已读取 GameName: " + String(gameName);
}

String SearchMessage(StringView drive) { return u"正在搜索 " + String(drive) + u" 盘下的目录..."; }

String CountMessage(std::size_t count) { return u"找到 " + Decimal(count) + u" 个目录 "; }

String RescanMessage(StringView subDirText) {
    return u"正在根据子文件夹 \"" + String(subDirText) + u"\" 重新扫描...";
}

String RescanCountMessage(std::size_t count, StringView subDirText) {
    return u"找到 " + Decimal(count) + u" 个目录 (子文件夹: " + String(subDirText) + u")";
}

String RescanNoResultMessage(StringView subDirText) {
    return u"未找到符合条件的目录 (子文件夹: " + String(subDirText) + u")";
}

String RescanErrorMessage(StringView errorText) { return u"重新扫描出错: " + String(errorText); }

}  // namespace tw
