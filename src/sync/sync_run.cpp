// The synchronisation run's loop: directories outer, files inner, one drain
// per file, the selection re-read at every step.
#include "sync/sync_run.h"

#include <string>

#include "sync/progress.h"

namespace tw {

namespace {

String Decimal(std::uint64_t n) {
    const std::string digits = std::to_string(n);
    return String(digits.begin(), digits.end());
}

String Decimal(std::int32_t n) {
    const std::string digits = std::to_string(n);
    return String(digits.begin(), digits.end());
}

// The run reads the selection by position; a tick change in a drain can
// leave it shorter than the directory count taken at the start.
class ESelectionShrunk : public Exception {
public:
    ESelectionShrunk(std::size_t number, std::size_t remaining)
        : Exception(u"同步期间选中的目录减少为 " + Decimal(std::uint64_t{remaining}) + u" 个，第 " +
                    Decimal(std::uint64_t{number}) + u" 个目录已不在选择中") {}
};

int IndexOfNoCase(const std::vector<String>& list, StringView entry) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (CompareAsciiNoCase(list[i], entry) == 0) return static_cast<int>(i);
    return -1;
}

// Only the first file's counterpart and the installation's Config.ini feed
// a row; a copy of any other file leaves the row as it was, so it is not
// hashed again.
bool CanChangeRow(StringView target, StringView dir, const std::vector<String>& dropped,
                  StringView prefix) {
    if (!dropped.empty() && CompareAsciiNoCase(target, CounterpartPath(dir, dropped[0], prefix)) == 0) return true;
    return CompareAsciiNoCase(target, WithTrailingBackslash(dir) + u"Config.ini") == 0;
}

}  // namespace

String SyncStartMessage(std::size_t files, std::size_t dirs) {
    return u"开始同步 " + Decimal(std::uint64_t{files}) + u" 个文件到 " + Decimal(std::uint64_t{dirs}) + u" 个目录...";
}

String SyncFileMessage(StringView source, StringView target) {
    return u"同步中: " + NamePart(source) + u" -> " + String(target);
}

String SyncDoneMessage(std::int32_t succeeded, std::int32_t failed) {
    return u"同步完成！成功: " + Decimal(succeeded) + u", 失败: " + Decimal(failed);
}

String SyncErrorMessage(StringView error) { return u"同步出错: " + String(error); }

TSyncOutcome RunSync(const TSyncLists& lists, StringView baseServerPrefix, TSyncHost& host) {
    TSyncOutcome out;
    try {
        const std::size_t dirCount = lists.SelectedPaths.size();
        for (std::size_t i = 0; i < dirCount; ++i) {
            if (i >= lists.SelectedPaths.size()) throw ESelectionShrunk(i + 1, lists.SelectedPaths.size());
            // A copy: the list may be rebuilt while the queue drains.
            const String dir = lists.SelectedPaths[i];
            const int index = IndexOfNoCase(lists.SourcePaths, dir);
            const std::size_t fileCount = lists.DroppedFileNames.size();
            for (std::size_t j = 0; j < fileCount; ++j) {
                const String source = lists.DroppedFileNames.at(j);
                const String target = CounterpartPath(dir, source, baseServerPrefix);
                // Outside the per-file guard: a folder that cannot be made
                // ends the whole run.
                EnsureDirectory(FolderPart(target));
                try {
                    // An installation can be the one the files came from. The
                    // copy refuses a file onto itself and leaves it as it is;
                    // it is where it should be, so that counts as copied. A
                    // folder in the list is refused, itself or not.
                    const bool copied = CopyFileReplacing(source, target) != 0 ||
                                        (IsSameFile(source, target) && !IsDirectory(source));
                    if (copied) {
                        ++out.Succeeded;
                        if (index >= 0 && static_cast<std::size_t>(index) < lists.CompareInfos.size() &&
                            CanChangeRow(target, dir, lists.DroppedFileNames, baseServerPrefix))
                            host.RefreshRow(index);
                    } else {
                        ++out.Failed;
                    }
                } catch (...) {
                    ++out.Failed;
                }
                const std::uint64_t total =
                    std::uint64_t{lists.SelectedPaths.size()} * lists.DroppedFileNames.size();
                const std::uint64_t done = std::uint64_t{lists.DroppedFileNames.size()} * i + j + 1;
                // With the selection emptied mid-run there is no total; the
                // bar keeps its place. A shortened one can put done past the
                // total; the bar stops at its end.
                if (total != 0) {
                    const std::uint64_t position = ProgressPosition(done, total);
                    host.Progress(position > 100 ? 100 : static_cast<int>(position));
                }
                host.Status(SyncFileMessage(source, target));
                host.Drain();
                if (host.StopRequested()) {
                    out.Stopped = true;
                    return out;
                }
            }
        }
        host.Status(SyncDoneMessage(out.Succeeded, out.Failed));
        host.Progress(100);
        out.Completed = true;
    } catch (const Exception& e) {
        out.Aborted = true;
        host.Status(SyncErrorMessage(e.Message()));
    } catch (const std::exception& e) {
        out.Aborted = true;
        host.Status(SyncErrorMessage(FromUtf8(e.what())));
    }
    return out;
}

}  // namespace tw
