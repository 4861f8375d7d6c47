// Test access to TForm1's private state and widgets.
#pragma once

#include "app/unit1.h"

struct TForm1Access {
    explicit TForm1Access(TForm1& form) : f(form) {}
    TForm1& f;

    std::vector<tw::String>& SourcePaths() { return f.FSourcePaths; }
    std::vector<tw::String>& SelectedPaths() { return f.FSelectedPaths; }
    bool& IsProcessing() { return f.FIsProcessing; }
    std::vector<bool>& CheckStates() { return f.FCheckStates; }
    tw::String& DroppedPath() { return f.FDroppedPath; }
    std::vector<tw::String>& DroppedFileNames() { return f.FDroppedFileNames; }
    tw::String& BasePath() { return f.FBasePath; }
    tw::String& BaseRoot() { return f.FBaseRoot; }
    tw::String& BaseRootPath() { return f.FBaseRootPath; }
    tw::String& DroppedFolderPath() { return f.FDroppedFolderPath; }
    bool& IsFolderDrop() { return f.FIsFolderDrop; }
    std::vector<tw::TFileCompareInfo>& CompareInfos() { return f.FCompareInfos; }
    tw::TFileCompareInfo& FirstFileInfo() { return f.FFirstFileInfo; }
    std::int32_t& HoverRow() { return f.FHoverRow; }
    std::int32_t& HoverCol() { return f.FHoverCol; }
    bool& HistoryLoaded() { return f.FHistoryLoaded; }
    tw::String& DropDrive() { return f.FDropDrive; }
    tw::String& BaseServerPrefix() { return f.FBaseServerPrefix; }

    // Private operations, for tests that drive them directly.
    void ProcessDroppedItems(const std::vector<tw::String>& paths) { f.ProcessDroppedItems(paths); }
    void SearchServerDirs(const tw::String& drive) { f.SearchServerDirs(drive); }
    void LoadFirstFileInfo() { f.LoadFirstFileInfo(); }
    void BuildCompareInfo(const tw::String& dir, tw::TFileCompareInfo& info) { f.BuildCompareInfo(dir, info); }
    void RefreshCompareInfo(int index) { f.RefreshCompareInfo(index); }
    tw::String GetRelativeName(const tw::String& name) { return f.GetRelativeName(name); }
    void LoadHistory() { f.LoadHistory(); }
    void LoadLastUsed() { f.LoadLastUsed(); }
    void SaveLastUsed() { f.SaveLastUsed(); }
    void SaveHistory() { f.SaveHistory(); }
    void AddToHistory(QComboBox* box, const QString& text) { f.AddToHistory(box, text); }
    void RememberInputs() { f.RememberInputs(); }
    tw::String GetIniPath() { return f.GetIniPath(); }

    void InitGrid() { f.InitGrid(); }
    void ClearResults() { f.ClearResults(); }
    void FillGrid() { f.FillGrid(); }
    void RefreshGrid() { f.RefreshGrid(); }
    bool MatchesFilters(const tw::String& path) { return f.MatchesFilters(path); }
    bool GetCheckState(int index) { return f.GetCheckState(index); }
    void SetCheckState(int index, bool value) { f.SetCheckState(index, value); }
    void UpdateSelectedPaths() { f.UpdateSelectedPaths(); }
    void RescanForSubDir() { f.RescanForSubDir(); }
    void SyncFiles() { f.SyncFiles(); }
    void cbVersionChange() { f.cbVersionChange(); }
    void cbSubDirChange() { f.cbSubDirChange(); }
    void cbVersionKeyPress(char16_t key) { f.cbVersionKeyPress(key); }
    void cbSubDirKeyPress(char16_t key) { f.cbSubDirKeyPress(key); }
    bool CMChildKey(int key) { return f.CMChildKey(key); }
    void DeleteHistoryItem(QComboBox* box) { f.DeleteHistoryItem(box); }
    TInputHold& InputHold() { return f.inputHold_; }
    std::function<void()>& SearchProbe() { return f.searchProbe_; }
};
