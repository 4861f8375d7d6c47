// TForm1: taking in a drop (the first half of ProcessDroppedItems).
#include <QLabel>

#include "app/application.h"
#include "app/unit1.h"
#include "discovery/drop.h"

void TForm1::ProcessDroppedItems(const std::vector<tw::String>& paths) {
    if (inputHold_.Holding()) {
        // A drop message that arrives while a scan lets the queue run must
        // not change the drop state under it, nor start a scan inside it: it
        // is taken in once that scan has ended.
        inputHold_.RunOrHold([this, paths] { Guarded([&] { ProcessDroppedItems(paths); }); });
        return;
    }
    if (FIsProcessing) {
        SetStatus(QStringLiteral("正在处理中，请稍候..."));
        return;
    }
    if (paths.empty()) return;

    FDroppedPath = paths[0];
    FBaseServerPrefix = tw::FindBaseServerPrefix(FDroppedPath);
    FIsFolderDrop = tw::IsDirectory(FDroppedPath);  // only the first item decides
    FDroppedFileNames.clear();

    if (FIsFolderDrop) {
        std::vector<tw::String> collected;
        const std::size_t unreadable = tw::CollectFiles(FDroppedPath, collected);
        FDroppedFileNames = collected;
        // Entries that could not be read are said so, never counted as absent:
        // a sync of the rest would otherwise look complete.
        const QString missed = unreadable == 0
                                   ? QString()
                                   : QStringLiteral("，另有 ") + QString::number(unreadable) +
                                         QStringLiteral(" 项无法读取");
        lblDroppedPath->setText(QStringLiteral("拖入文件夹: ") + ToQString(FDroppedPath) +
                                QStringLiteral(" (包含 ") +
                                QString::number(FDroppedFileNames.size()) +
                                QStringLiteral(" 个文件") + missed + QStringLiteral(")"));
    } else {
        // Later items are taken as they are, folders included.
        FDroppedFileNames.assign(paths.begin(), paths.end());
        lblDroppedPath->setText(QStringLiteral("拖入文件: ") + ToQString(FDroppedPath));
    }

    LoadFirstFileInfo();

    FDropDrive = tw::DrivePart(FDroppedPath);
    if (FDropDrive.empty()) {
        SetStatus(QStringLiteral("无法获取盘符信息"));
        return;
    }

    tw::TBaseRoot root = tw::ComputeBaseRoot(FDroppedPath, FDropDrive, FIsFolderDrop);
    FBasePath = std::move(root.BasePath);
    FDroppedFolderPath = std::move(root.DroppedFolderPath);
    FBaseRootPath = std::move(root.BaseRootPath);
    FBaseRoot = std::move(root.BaseRoot);

    // 12. The drop scan.
    DropScan();
}

