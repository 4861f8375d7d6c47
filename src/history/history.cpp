// The history file: the lists, the last-used pair and the ordering rule.
#include "history/history.h"

#include <algorithm>

namespace tw {

namespace {

String KeyOf(int index) {
    String key;
    for (char c : std::to_string(index)) key.push_back(static_cast<char16_t>(c));
    return key;
}

class TVectorHistory : public THistoryList {
public:
    explicit TVectorHistory(std::vector<String>& list) : list_(list) {}
    int Count() const override { return static_cast<int>(list_.size()); }
    String At(int index) const override { return list_[static_cast<std::size_t>(index)]; }
    void RemoveAt(int index) override { list_.erase(list_.begin() + index); }
    void InsertFirst(const String& text) override { list_.insert(list_.begin(), text); }

private:
    std::vector<String>& list_;
};

void WriteHistory(TIniFile& ini, StringView section, const std::vector<String>& list) {
    const int count = std::min(static_cast<int>(list.size()), HistoryCapacity);
    for (int i = 0; i < count; ++i) ini.WriteValue(section, KeyOf(i), list[static_cast<std::size_t>(i)]);
}

}  // namespace

std::vector<String> ReadHistoryList(const TIniFile& ini, StringView section) {
    std::vector<String> list;
    for (int i = 0; i < HistoryCapacity; ++i) {
        String value = ini.ReadValue(section, KeyOf(i));
        if (!value.empty()) list.push_back(std::move(value));
    }
    return list;
}

void AddToHistory(THistoryList& list, StringView text) {
    if (TrimBlanks(text).empty()) return;
    for (int i = 0; i < list.Count(); ++i) {
        if (list.At(i) == text) {
            list.RemoveAt(i);
            break;
        }
    }
    list.InsertFirst(String(text));
    while (list.Count() > HistoryCapacity) list.RemoveAt(HistoryCapacity);
}

void AddToHistory(std::vector<String>& list, StringView text) {
    TVectorHistory history(list);
    AddToHistory(history, text);
}

void WriteHistories(TIniFile& ini, const std::vector<String>& versions,
                    const std::vector<String>& subDirs) {
    ini.DropSection(VersionHistorySection);
    ini.DropSection(SubDirHistorySection);
    WriteHistory(ini, VersionHistorySection, versions);
    WriteHistory(ini, SubDirHistorySection, subDirs);
    ini.FlushProfile();
}

TLastUsed ReadLastUsed(StringView iniPath) {
    TLastUsed pair;
    if (!IsFile(iniPath)) return pair;
    const TIniFile ini{String(iniPath)};
    pair.Version = ini.ReadValue(LastUsedSection, LastUsedVersionKey);
    pair.SubDir = ini.ReadValue(LastUsedSection, LastUsedSubDirKey);
    return pair;
}

void WriteLastUsed(TIniFile& ini, StringView version, StringView subDir) {
    ini.WriteValue(LastUsedSection, LastUsedVersionKey, version);
    ini.WriteValue(LastUsedSection, LastUsedSubDirKey, subDir);
    ini.FlushProfile();
}

bool IsUnreadable(TProfileState state) {
    return state != TProfileState::Missing && state != TProfileState::Readable;
}

String UnreadableHistoryMessage(StringView iniPath, TProfileState state) {
    String reason = u"系统拒绝打开";
    if (state == TProfileState::TooLarge) {
        reason = u"超过 " + FromUtf8(std::to_string(kMaxProfileBytes / (1024 * 1024))) + u" MiB";
    } else if (state == TProfileState::NotAFile) {
        reason = u"不是普通文件";
    }
    return u"无法读取历史文件 " + String(iniPath) + u"（" + reason + u"），本次运行不保存历史记录";
}

}  // namespace tw
