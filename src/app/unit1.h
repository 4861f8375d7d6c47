// The main window: owns every widget and every piece of form state.
// Methods stay thin; the work is done by the Qt-free subsystem code. Each
// group of methods below lives in the file named above it.
#pragma once

#include <QElapsedTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/input_hold.h"
#include "app/qt_text.h"
#include "compare/compare_info.h"
#include "platform/platform.h"

class QComboBox;
class QFrame;
class QLabel;
class QPainter;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStatusBar;
class QDropEvent;
class TStringGrid;

class TForm1 : public QWidget {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Replaces the text of the status line's only panel.
    void SetStatus(const QString& text);
    void SetStatus(const tw::String& text);

    // The dropped items in Windows form, entry 0 first (what WM_DROPFILES
    // delivers). Public so that a test can drop without a drag.
    void WMDropFiles(const std::vector<tw::String>& paths);

signals:
    // Every text the status line is given, in order (tests follow a run
    // through it).
    void StatusShown(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    friend struct TForm1Access;  // tests read the form state through it

    // ---- widgets, in declared order
    QFrame* pnlTop = nullptr;
    QFrame* pnlGrid = nullptr;
    QFrame* pnlBottom = nullptr;
    QSplitter* Splitter1 = nullptr;
    QFrame* pnlMatchOptions = nullptr;
    QFrame* pnlButtons = nullptr;
    QPushButton* btnSync = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* lblDrop = nullptr;
    QLabel* lblDroppedPath = nullptr;
    QLabel* lblVersion = nullptr;
    QComboBox* cbVersion = nullptr;
    QPushButton* btnVersionSelect = nullptr;
    QLabel* lblSubDir = nullptr;
    QComboBox* cbSubDir = nullptr;
    QPushButton* btnSelectAll = nullptr;
    QPushButton* btnInvertSelect = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    TStringGrid* sgFiles = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* statusPanel_ = nullptr;  // the status bar's one 500-px panel

    // ---- form state, in declared order
    std::vector<tw::String> FSourcePaths;
    std::vector<tw::String> FSelectedPaths;
    bool FIsProcessing = false;
    std::vector<bool> FCheckStates;
    tw::String FDroppedPath;
    std::vector<tw::String> FDroppedFileNames;
    tw::String FBasePath;
    tw::String FBaseRoot;
    tw::String FBaseRootPath;
    tw::String FDroppedFolderPath;
    bool FIsFolderDrop = false;
    std::vector<tw::TFileCompareInfo> FCompareInfos;
    tw::TFileCompareInfo FFirstFileInfo;
    std::int32_t FHoverRow = -1;
    std::int32_t FHoverCol = -1;
    bool FHistoryLoaded = false;
    // Whether the history file could be read at start-up; one that exists
    // but cannot be read is never saved over (unit1_history.cpp).
    tw::TProfileState FHistoryState = tw::TProfileState::Missing;
    tw::String FDropDrive;
    tw::String FBaseServerPrefix;

    // Input that reaches the window while a scan drains the queue waits
    // here until the scan has ended (unit1_scan.cpp).
    TInputHold inputHold_{this};
    // Called by both scan runs right after the search (inside the rescan's
    // protected block); tests make a run fail there through it.
    std::function<void()> searchProbe_;

    // The window was asked to close while a synchronisation run drained the
    // queue: the run ends after the file it has copied, then the window
    // closes (unit1_sync.cpp).
    bool closeAfterSync_ = false;
    // When a run last let the status line paint (unit1_sync.cpp).
    QElapsedTimer runStatusPainted_;

    // The modifiers held with the key that CMChildKey is looking at: the
    // key event's own, so that a key held back during a scan is judged by
    // the Shift and Ctrl state it was pressed with (unit1_boxes.cpp).
    Qt::KeyboardModifiers childKeyModifiers_ = {};

    // ---- start-up, shut-down and event routing (unit1.cpp)
    void FormCreate();
    void FormDestroy();
    void WMVScroll();
    // Puts text on the status line; paint false holds back its painting
    // until the next text that is painted.
    void ShowStatusText(const QString& text, bool paint);

    // ---- the widget tree (unit1_layout.cpp)
    void BuildLayout();
    void ConnectEvents();

    // ---- drop intake (unit1_drop.cpp)
    void ProcessDroppedItems(const std::vector<tw::String>& paths);

    // ---- scan runs (unit1_scan.cpp)
    void DropScan();
    void RescanForSubDir();
    void ResultSteps();
    void DrainScanQueue();

    // ---- search and comparison (unit1_compare.cpp)
    void SearchServerDirs(const tw::String& drive);
    void LoadFirstFileInfo();
    void BuildCompareInfo(const tw::String& dir, tw::TFileCompareInfo& info) const;
    void RefreshCompareInfo(int index);
    tw::String GetRelativeName(const tw::String& fileName) const;

    // ---- selection (unit1_selection.cpp)
    bool MatchesFilters(const tw::String& path) const;
    bool GetCheckState(int index) const;
    void SetCheckState(int index, bool value);
    void UpdateSelectedPaths();
    void btnVersionSelectClick();
    void btnSelectAllClick();
    void btnInvertSelectClick();

    // ---- result grid (unit1_grid.cpp)
    void InitGrid();
    void ClearResults();
    void FillGrid();
    void RefreshGrid();
    void sgFilesDrawCell(QPainter& canvas, int col, int row, const QRect& rect, bool selected);
    void sgFilesMouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y);
    void sgFilesMouseMove(Qt::KeyboardModifiers shift, int x, int y);

    // ---- synchronisation run (unit1_sync.cpp)
    void btnSyncClick();
    void SyncFiles();
    // SetStatus for the run's texts, painted at most once a frame.
    void SetRunStatus(const tw::String& text);

    // ---- history store (unit1_history.cpp)
    tw::String GetIniPath() const;
    void LoadHistory();
    void LoadLastUsed();
    void SaveLastUsed();
    void SaveHistory();
    void AddToHistory(QComboBox* box, const QString& text);
    void RememberInputs();

    // ---- input boxes and history editing (unit1_boxes.cpp)
    void ConnectBoxes();
    // Offered every event of the window first; true when it was consumed.
    bool BoxesEventFilter(QObject* watched, QEvent* event);
    void cbVersionChange();
    void cbSubDirChange();
    void cbVersionKeyPress(char16_t key);
    void cbSubDirKeyPress(char16_t key);
    bool CMChildKey(int key);
    void DeleteHistoryItem(QComboBox* box);
};
