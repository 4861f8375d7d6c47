// TForm1: the synchronisation run: the click's checks and the widget steps
// around the Qt-free run loop.
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>

#include <exception>
#include <functional>
#include <utility>

#include "app/unit1.h"
#include "sync/sync_run.h"

namespace {

// Puts a kept text back into a box. Code changing a box is not an edit: the
// box's change handling does not run, and a box already showing the text is
// left alone.
void PutBackText(QComboBox* box, const QString& text) {
    if (box->currentText() == text) return;
    const QSignalBlocker boxBlocker(box);
    const QSignalBlocker editBlocker(box->lineEdit());
    box->setEditText(text);
}

void ClearListSelection(QComboBox* box) {
    const QSignalBlocker boxBlocker(box);
    const QSignalBlocker editBlocker(box->lineEdit());
    box->setCurrentIndex(-1);
}

}  // namespace

void TForm1::btnSyncClick() {
    if (FSourcePaths.empty()) {
        SetStatus(QStringLiteral("请先拖入文件进行搜索"));
        return;
    }
    if (FSelectedPaths.empty()) {
        SetStatus(QStringLiteral("没有选中任何路径"));
        return;
    }
    if (FDroppedFileNames.empty()) {
        SetStatus(QStringLiteral("没有要同步的文件"));
        return;
    }
    const QString version = cbVersion->currentText();
    const QString subDir = cbSubDir->currentText();
    btnSync->setFocus();
    // No list entry stays selected; clearing may blank the text, which goes
    // back in as it was.
    ClearListSelection(cbVersion);
    ClearListSelection(cbSubDir);
    PutBackText(cbVersion, version);
    PutBackText(cbSubDir, subDir);
    // A history file that cannot be written ends the click here, before any
    // copy, through the general error report.
    RememberInputs();
    SyncFiles();
}

namespace {

// The window's side of the run loop.
class TFormSyncHost : public tw::TSyncHost {
public:
    TFormSyncHost(std::function<void(const tw::String&)> status, QProgressBar* bar,
                  std::function<void(int)> refresh, const bool& stop)
        : status_(std::move(status)), bar_(bar), refresh_(std::move(refresh)), stop_(stop) {}

    void Status(const tw::String& text) override { status_(text); }
    void Progress(int position) override { bar_->setValue(position); }
    // Every pending event, input included: ticks and the selection buttons
    // stay live; drops, rescans and Delete look at FIsProcessing.
    void Drain() override { QCoreApplication::processEvents(); }
    void RefreshRow(int index) override { refresh_(index); }
    bool StopRequested() override { return stop_; }

private:
    std::function<void(const tw::String&)> status_;
    QProgressBar* bar_;
    std::function<void(int)> refresh_;
    const bool& stop_;
};

}  // namespace

void TForm1::SetRunStatus(const tw::String& text) {
    // Painting a status text costs about as much as copying a small file,
    // and a screen shows some sixty a second. While files come faster than
    // that, every text is still set in turn (and announced), but the panel
    // is painted only once the last paint is a frame old; the end of the run
    // paints the last text. At worst the panel shows the file before the
    // last one while a large file is being copied.
    constexpr qint64 kFrameMs = 16;
    const bool paint = !runStatusPainted_.isValid() || runStatusPainted_.elapsed() >= kFrameMs;
    if (paint) runStatusPainted_.start();
    ShowStatusText(ToQString(text), paint);
}

void TForm1::SyncFiles() {
    // 1-6.
    const QString keptVersion = cbVersion->currentText();
    const QString keptSubDir = cbSubDir->currentText();
    FIsProcessing = true;
    closeAfterSync_ = false;
    btnSync->setEnabled(false);
    ProgressBar1->show();
    ProgressBar1->setValue(0);

    std::exception_ptr error;
    try {
        SetStatus(tw::SyncStartMessage(FDroppedFileNames.size(), FSelectedPaths.size()));
        // 7-10.
        runStatusPainted_.invalidate();
        TFormSyncHost host([this](const tw::String& text) { SetRunStatus(text); }, ProgressBar1,
                           [this](int index) { RefreshCompareInfo(index); }, closeAfterSync_);
        tw::RunSync({FSelectedPaths, FSourcePaths, FDroppedFileNames, FCompareInfos}, FBaseServerPrefix, host);
    } catch (...) {
        error = std::current_exception();
    }

    // 11-15 run whatever happened above, and always end idle; a failure
    // here still reaches the general error report, after the window is idle.
    try {
        PutBackText(cbVersion, keptVersion);
        PutBackText(cbSubDir, keptSubDir);
        if (!keptVersion.isEmpty() || !keptSubDir.isEmpty()) RememberInputs();
    } catch (...) {
        if (!error) error = std::current_exception();
    }
    FIsProcessing = false;
    btnSync->setEnabled(true);
    ProgressBar1->hide();
    // The run's last text may have been held back; it is painted now.
    statusPanel_->setUpdatesEnabled(true);

    if (closeAfterSync_) {
        closeAfterSync_ = false;
        close();
    }
    if (error) std::rethrow_exception(error);
}
