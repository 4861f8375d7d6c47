// TForm1: server directory search and file comparison (thin wrappers over the
// Qt-free search and comparison code).
#include <QComboBox>

#include "app/string_grid.h"
#include "app/unit1.h"
#include "discovery/server_search.h"

void TForm1::SearchServerDirs(const tw::String& drive)
{
    const tw::String message =
        tw::SearchServerDirs(drive, FromQString(cbSubDir->currentText()), FBaseRootPath, FSourcePaths);
    if (!message.empty())
        SetStatus(message);
}

void TForm1::LoadFirstFileInfo()
{
    FFirstFileInfo = tw::LoadFirstFileInfo(FDroppedFileNames);
}

void TForm1::BuildCompareInfo(const tw::String& dir, tw::TFileCompareInfo& info) const
{
    tw::BuildCompareInfo(dir, info, FDroppedFileNames, FBaseServerPrefix, FFirstFileInfo);
}

void TForm1::RefreshCompareInfo(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= FSourcePaths.size())
        return;
    // The sync run keeps the lists parallel; should they ever part, leave the
    // records alone rather than write past their end.
    if (static_cast<std::size_t>(index) >= FCompareInfos.size())
        return;
    tw::TFileCompareInfo info;
    BuildCompareInfo(FSourcePaths[index], info);
    FCompareInfos[index] = std::move(info);
    if (sgFiles)
        sgFiles->Repaint();
}

tw::String TForm1::GetRelativeName(const tw::String& fileName) const
{
    return tw::GetRelativeName(fileName, FBaseServerPrefix);
}
