// TForm1: the synchronisation run.
#include "app/unit1.h"

void TForm1::btnSyncClick() {}

void TForm1::SyncFiles() {}
