// TForm1: the scan runs: the drop scan (the second half of
// ProcessDroppedItems) and the subfolder rescan.
#include <QComboBox>
#include <QCoreApplication>

#include "app/application.h"
#include "app/string_grid.h"
#include "app/unit1.h"
#include "discovery/scan.h"
#include "discovery/server_search.h"

void TForm1::DrainScanQueue() {
    // The window repaints here. Input meant for it is held by inputHold_
    // until the scan has ended, and the system's own input queue is left
    // as it is, so nothing can start a scan inside this one.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void TForm1::ResultSteps() {
    const tw::String version = FromQString(cbVersion->currentText());
    const tw::String subDir = FromQString(cbSubDir->currentText());
    tw::BuildScanResults({FSourcePaths, FSelectedPaths, FCheckStates, FCompareInfos},
                         {FDroppedFileNames, FBaseServerPrefix, FFirstFileInfo, version, subDir});
    FillGrid();
}

void TForm1::DropScan() {
    const TInputHold::TScope hold(inputHold_);
    const tw::String gameName =
        tw::ReadGameName(tw::WithTrailingBackslash(FDropDrive) + u"Config.ini");
    SetStatus(tw::GameNameMessage(gameName));
    SetStatus(tw::SearchMessage(FDropDrive));
    DrainScanQueue();

    tw::TScanLists{FSourcePaths, FSelectedPaths, FCheckStates, FCompareInfos}.Clear();
    SearchServerDirs(FDropDrive);
    if (searchProbe_) searchProbe_();
    if (FSourcePaths.empty()) {
        SetStatus(tw::String(tw::NoResultMessage));
    } else {
        ResultSteps();
        SetStatus(tw::CountMessage(FSourcePaths.size()));
    }
    sgFiles->Repaint();
}

void TForm1::RescanForSubDir() {
    if (FDroppedFileNames.empty() || FDropDrive.empty()) return;
    if (inputHold_.Holding()) {
        // Asked for while another scan lets the queue run (a pick in a box's
        // open list): it runs once that scan has ended.
        inputHold_.RunOrHold([this] { Guarded([this] { RescanForSubDir(); }); });
        return;
    }
    const TInputHold::TScope hold(inputHold_);
    SetStatus(tw::RescanMessage(FromQString(cbSubDir->currentText())));
    DrainScanQueue();

    try {
        tw::TScanLists{FSourcePaths, FSelectedPaths, FCheckStates, FCompareInfos}.Clear();
        SearchServerDirs(FDropDrive);
        if (searchProbe_) searchProbe_();
        const tw::String subDir = FromQString(cbSubDir->currentText());
        if (FSourcePaths.empty()) {
            ClearResults();
            SetStatus(tw::RescanNoResultMessage(subDir));
        } else {
            ResultSteps();
            SetStatus(tw::RescanCountMessage(FSourcePaths.size(), subDir));
        }
        sgFiles->Repaint();
    } catch (...) {
        SetStatus(tw::RescanErrorMessage(FromQString(CurrentErrorText())));
    }
}
