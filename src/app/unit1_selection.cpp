// TForm1: the ticks, the selection built from them and the three selection
// buttons.
#include <QComboBox>

#include "app/string_grid.h"
#include "app/unit1.h"
#include "selection/selection.h"

bool TForm1::MatchesFilters(const tw::String& path) const {
    // Both boxes as they read now.
    return tw::MatchesFilters(path, FromQString(cbVersion->currentText()),
                              FromQString(cbSubDir->currentText()));
}

bool TForm1::GetCheckState(int index) const { return tw::GetCheckState(FCheckStates, index); }

void TForm1::SetCheckState(int index, bool value) {
    if (!tw::SetCheckState(FCheckStates, index, value)) return;
    // Reported and repainted even when the value was already set.
    UpdateSelectedPaths();
    sgFiles->Repaint();
}

void TForm1::UpdateSelectedPaths() {
    tw::RebuildSelectedPaths(FSourcePaths, FCheckStates, FSelectedPaths);
    SetStatus(tw::SelectionMessage(FSelectedPaths.size(), FDroppedFileNames.size()));
}

void TForm1::btnVersionSelectClick() {
    if (FSourcePaths.empty()) return;
    FCheckStates.clear();
    for (const tw::String& path : FSourcePaths) FCheckStates.push_back(MatchesFilters(path));
    UpdateSelectedPaths();
    sgFiles->Repaint();
    if (!tw::TrimBlanks(FromQString(cbVersion->currentText())).empty()) SaveLastUsed();
}

void TForm1::btnSelectAllClick() {
    if (FCheckStates.empty()) return;
    FCheckStates.assign(FCheckStates.size(), true);
    UpdateSelectedPaths();
    sgFiles->Repaint();
}

void TForm1::btnInvertSelectClick() {
    if (FCheckStates.empty()) return;
    FCheckStates.flip();
    UpdateSelectedPaths();
    sgFiles->Repaint();
}
