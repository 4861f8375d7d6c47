// TForm1: the history file and the boxes' drop-down lists (thin wrappers).
#include "app/unit1.h"

tw::String TForm1::GetIniPath() const { return u"C:\\Tidewell.ini"; }
void TForm1::LoadHistory() {}
void TForm1::LoadLastUsed() {}
void TForm1::SaveLastUsed() {}
void TForm1::SaveHistory() {}
void TForm1::AddToHistory(QComboBox*, const QString&) {}
void TForm1::RememberInputs() {}
