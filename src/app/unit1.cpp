// TForm1: start-up, shut-down, the status line and the routing of window
// events (drops, scrolling, closing) to the form's handlers.
#include "app/unit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

#include "app/application.h"
#include "app/string_grid.h"
#include "history/history.h"

namespace {

bool HasLocalFiles(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls()) return false;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) return true;
    }
    return false;
}

// The dropped item's path in Windows form.
tw::String DroppedItemPath(const QUrl& url) {
#ifdef Q_OS_WIN
    // Drives are real: the shell's own path, Qt's '/' turned back into
    // backslashes (a share's host becomes the leading \\server).
    return FromQString(QDir::toNativeSeparators(url.toLocalFile()));
#else
    // The host path's bytes: a local URL keeps a name that is not valid
    // UTF-8 percent-encoded, and QUrl::toLocalFile would replace those bytes,
    // so the file could never be found. Every host path has a Windows form
    // (Z: is /, odd bytes are escaped); were one to have none, the empty path
    // would be reported as a drop without a drive, never silently shortened.
    const QByteArray bytes = url.host().isEmpty()
                                 ? QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1())
                                 : url.toLocalFile().toUtf8();
    return tw::WindowsPathFromHost(bytes.toStdString());
#endif
}

}  // namespace

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    BuildLayout();
    ConnectEvents();
    // An error while creating is reported like one in any other handler;
    // the window still opens, with the steps that did run.
    try {
        FormCreate();
    } catch (...) {
        ShowCurrentException();
    }
}

TForm1::~TForm1() { FormDestroy(); }

void TForm1::FormCreate() {
    // 1. The five lists, new and empty.
    FSourcePaths.clear();
    FSelectedPaths.clear();
    FDroppedFileNames.clear();
    FCheckStates.clear();
    FCompareInfos.clear();

    // 2. The rest of the form state.
    FIsProcessing = false;
    FDroppedPath.clear();
    FBasePath.clear();
    FBaseRoot.clear();
    FBaseRootPath.clear();
    FDroppedFolderPath.clear();
    FIsFolderDrop = false;
    FHoverRow = -1;
    FHoverCol = -1;
    FHistoryLoaded = false;
    FHistoryState = tw::TProfileState::Missing;
    FDropDrive.clear();
    FBaseServerPrefix.clear();
    FFirstFileInfo = tw::TFileCompareInfo{};

    // 3. Accept dropped files on the window and on every widget on it: an
    // application-wide filter, so that widgets created later (the boxes'
    // edit fields) are covered too.
    setAcceptDrops(true);
    qApp->installEventFilter(this);

    // 4. Editable drop-down boxes. Qt's own insert-on-Enter and completer
    // stay off: the boxes' list and completion are the history's.
    for (QComboBox* box : {cbVersion, cbSubDir}) {
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr);
    }
    cbVersion->lineEdit()->setPlaceholderText(QStringLiteral("输入版本名字"));
    cbSubDir->lineEdit()->setPlaceholderText(QStringLiteral("输入子文件夹"));

    ConnectBoxes();

    // 5-7.
    InitGrid();
    LoadHistory();
    LoadLastUsed();

    // 8. Last, so that it is what the window first shows; a history file
    // that cannot be read is reported in its place, once.
    SetStatus(QStringLiteral("就绪 - 拖入文件开始搜索"));
    if (tw::IsUnreadable(FHistoryState)) SetStatus(tw::UnreadableHistoryMessage(GetIniPath(), FHistoryState));
}

void TForm1::FormDestroy() {
    qApp->removeEventFilter(this);
    setAcceptDrops(false);
    FSourcePaths.clear();
    FSelectedPaths.clear();
    FDroppedFileNames.clear();
    FCheckStates.clear();
    FCompareInfos.clear();
}

void TForm1::SetStatus(const QString& text) { ShowStatusText(text, true); }

void TForm1::ShowStatusText(const QString& text, bool paint) {
    // Updates of the panel alone are switched: a text held back is painted
    // with the next one that is not (enabling them again repaints the panel).
    statusPanel_->setUpdatesEnabled(paint);
    statusPanel_->setText(text);
    emit StatusShown(text);
}

void TForm1::SetStatus(const tw::String& text) { SetStatus(ToQString(text)); }

void TForm1::WMVScroll() { sgFiles->Repaint(); }


// ---------------------------------------------------------------- drop intake

// Every handler below runs its body guarded: an error is shown by the
// general error report at the handler's edge and never unwinds through Qt's
// own frames (Qt for Windows is built without exception support).

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    bool consumed = false;
    Guarded([&] {
        const QEvent::Type type = event->type();
        if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
            consumed = BoxesEventFilter(watched, event);
            return;
        }
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || widget == this || widget->window() != this) return;
        // A drag over any widget of the window is a drag over the window; the
        // widget's own drop handling (a box's edit field taking text) never
        // runs, even when ours fails.
        consumed = true;
        switch (type) {
            case QEvent::DragEnter: dragEnterEvent(static_cast<QDragEnterEvent*>(event)); break;
            case QEvent::DragMove: dragMoveEvent(static_cast<QDragMoveEvent*>(event)); break;
            default: dropEvent(static_cast<QDropEvent*>(event)); break;
        }
    });
    return consumed || QWidget::eventFilter(watched, event);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    Guarded([&] {
        if (HasLocalFiles(event->mimeData())) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
        } else {
            event->ignore();
        }
    });
}

void TForm1::dropEvent(QDropEvent* event) {
    Guarded([&] {
        if (!HasLocalFiles(event->mimeData())) {
            event->ignore();
            return;
        }
        std::vector<tw::String> paths;
        for (const QUrl& url : event->mimeData()->urls()) {
            if (url.isLocalFile()) paths.push_back(DroppedItemPath(url));
        }
        // As the shell does with its drop message: the drag ends here, and the
        // work runs from the event loop, so the file manager that started the
        // drag is never kept waiting while files are listed and hashed.
        event->setDropAction(Qt::CopyAction);
        event->accept();
        QMetaObject::invokeMethod(
            this,
            [this, paths] {
                Guarded([&] {
                    // A drop made while a scan lets the queue run waits for its end.
                    inputHold_.RunOrHold([this, paths] { Guarded([&] { WMDropFiles(paths); }); });
                });
            },
            Qt::QueuedConnection);
    });
}

void TForm1::closeEvent(QCloseEvent* event) {
    Guarded([&] {
        // Closing from inside a run's drain would tear the window down under
        // the run: the run stops after the file it has just copied (no file is
        // ever left half-written) and closes the window itself once it is idle.
        if (FIsProcessing) {
            closeAfterSync_ = true;
            event->ignore();
            return;
        }
        QWidget::closeEvent(event);
    });
}

void TForm1::WMDropFiles(const std::vector<tw::String>& paths) {
    // The shell hands each path through a buffer of 260 characters with its
    // terminating zero. A longer path would come in cut short, and the cut
    // can name another item (its own folder, when it ends at a backslash)
    // that a sync would then copy into every installation. Such a drop is
    // refused whole; nothing of the last drop changes.
    constexpr std::size_t kMaxDroppedPath = 259;
    for (const tw::String& path : paths) {
        if (path.size() > kMaxDroppedPath) {
            SetStatus(QStringLiteral("路径过长（超过 259 个字符），已忽略本次拖入"));
            return;
        }
    }
    ProcessDroppedItems(paths);
}

