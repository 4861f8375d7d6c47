// The main window: owns every widget and every piece of form state.
// Methods stay thin; the work is done by the Qt-free subsystem code.
#pragma once

#include <QWidget>
#include <vector>

#include "compare/compare_info.h"
#include "platform/platform.h"

class QComboBox;
class QFrame;
class QLabel;
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

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
    tw::String FDropDrive;
    tw::String FBaseServerPrefix;

    // ---- start-up and layout (unit1.cpp)
    void BuildLayout();
    void FormCreate();
    void FormDestroy();
    void WMVScroll();
    void InitGrid();
    void ClearResults();

    // ---- drop intake (unit1.cpp)
    void ProcessDroppedItems(const std::vector<tw::String>& paths);
    void DropScan();

    // ---- search and comparison (unit1_compare.cpp)
    void SearchServerDirs(const tw::String& drive);
    void LoadFirstFileInfo();
    void BuildCompareInfo(const tw::String& dir, tw::TFileCompareInfo& info) const;
    void RefreshCompareInfo(int index);
    tw::String GetRelativeName(const tw::String& fileName) const;

    // ---- history (unit1_history.cpp)
    tw::String GetIniPath() const;
    void LoadHistory();
    void LoadLastUsed();
    void SaveLastUsed();
    void SaveHistory();
    void AddToHistory(QComboBox* box, const QString& text);
    void RememberInputs();
};

// Conversions at the widget boundary.
QString ToQString(const tw::String& text);
tw::String FromQString(const QString& text);
