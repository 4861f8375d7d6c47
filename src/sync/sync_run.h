// The synchronisation run's main loop without a window: every dropped file
// into every selected installation, with the window's part (status line,
// progress bar, queue drain, row refresh) behind a small host interface.
#pragma once

#include <cstdint>
#include <vector>

#include "compare/compare_info.h"
#include "platform/platform.h"

namespace tw {

// What the run asks of the window. The calls come in the order of one file:
// RefreshRow (after a copy that can change the row), Progress, Status, Drain.
class TSyncHost {
public:
    virtual ~TSyncHost() = default;
    virtual void Status(const String& text) = 0;
    virtual void Progress(int position) = 0;
    // Lets the window handle its pending events; they may change the
    // selection the run reads.
    virtual void Drain() = 0;
    // Recomputes the comparison row of FSourcePaths entry index. May throw;
    // the run counts that as a failure of the file and goes on.
    virtual void RefreshRow(int index) = 0;
    // Asked after every drain: true ends the run there (the window is being
    // closed), after the file just copied and before the next one.
    virtual bool StopRequested() { return false; }
};

// The form's lists, by reference: a drain may change the selection, and the
// run reads it afresh at every step.
struct TSyncLists {
    const std::vector<String>& SelectedPaths;
    const std::vector<String>& SourcePaths;
    const std::vector<String>& DroppedFileNames;
    const std::vector<TFileCompareInfo>& CompareInfos;
};

struct TSyncOutcome {
    std::int32_t Succeeded = 0;
    std::int32_t Failed = 0;
    bool Completed = false;  // the completion message was shown
    bool Aborted = false;    // a failure ended the run; its message was shown
    bool Stopped = false;    // StopRequested ended the run
};

String SyncStartMessage(std::size_t files, std::size_t dirs);
String SyncFileMessage(StringView source, StringView target);
String SyncDoneMessage(std::int32_t succeeded, std::int32_t failed);
String SyncErrorMessage(StringView error);

// The run from the directory count to the final 100 %: copies, counts,
// progress, statuses, and the catch-all that shows a failure after
// "同步出错: ". Failures other than tw::Exception and std::exception pass on.
TSyncOutcome RunSync(const TSyncLists& lists, StringView baseServerPrefix, TSyncHost& host);

}  // namespace tw
