// TForm1: the version and subfolder boxes, and deleting history entries.
#include "app/unit1.h"

void TForm1::ConnectBoxes() {}

bool TForm1::BoxesEventFilter(QObject*, QEvent*) { return false; }

void TForm1::cbVersionChange() {}

void TForm1::cbSubDirChange() {}

void TForm1::cbVersionKeyPress(char16_t) {}

void TForm1::cbSubDirKeyPress(char16_t) {}

bool TForm1::CMChildKey(int) { return false; }

void TForm1::DeleteHistoryItem(QComboBox*) {}
