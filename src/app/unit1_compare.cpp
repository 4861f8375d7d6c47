// TForm1: server directory search and file comparison (thin wrappers).
#include "app/unit1.h"

void TForm1::SearchServerDirs(const tw::String&) {}
void TForm1::LoadFirstFileInfo() {}
void TForm1::BuildCompareInfo(const tw::String&, tw::TFileCompareInfo& info) const { info = {}; }
void TForm1::RefreshCompareInfo(int) {}
tw::String TForm1::GetRelativeName(const tw::String&) const { return {}; }
