// Drops onto the window: real drop events on any of its widgets, and what a
// drop records in the form state, the drop label and the status line.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QStatusBar>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/form_access.h"
#include "app/string_grid.h"
#include "app/unit1.h"
#include "discovery/drop.h"
#include "support/temp_drive.h"
#include "form_fixture.h"

using tw::String;
using twtest::U8;
using twtest::Widget;

namespace {

std::vector<std::string> Utf8(const std::vector<String>& list) {
    std::vector<std::string> out;
    for (const String& s : list) out.push_back(U8(s));
    return out;
}

QString Q(const String& text) { return ToQString(text); }

class DropWindowTest : public twtest::FormTest {
protected:
    QString Label() { return DropLabel(); }

    // Maps \\srv\share to a folder of its own; false where shares are real.
    bool MapShare() {
        shareHost_ = std::filesystem::path(Host(u"")).parent_path() / "share";
        std::filesystem::create_directories(shareHost_);
        return tw::MapDrive(u"\\\\srv\\share", shareHost_.string());
    }
    std::filesystem::path shareHost_;
};

// The first dropped path decides everything; each row exists on disk.
TEST_F(DropWindowTest, FirstPathTable) {
    Build(uR"(
        Servers\S1\Mir200\Envir\a.txt
        S1\LoginGate\x\Mir200\y.txt
        S1\OldMir200\a.txt
        S1\mir200\a.txt
        a.txt
    )");
    const bool share = MapShare();
    if (share) {
        std::filesystem::create_directories(shareHost_ / "S1" / "Mir200");
        std::ofstream(shareHost_ / "S1" / "Mir200" / "a.txt").put('x');
    }
    struct Case {
        const char16_t* path;
        bool folder;
        const char16_t* drive;
        const char16_t* prefix;
        const char16_t* basePath;
        const char16_t* baseRootPath;
        const char16_t* baseRoot;
    };
    const Case cases[] = {
        {uR"(D:\Servers\S1\Mir200\Envir\a.txt)", false, u"D:", uR"(D:\Servers\S1\)",
         uR"(D:\Servers\S1\Mir200\Envir\)", uR"(D:\Servers\)", u"Servers"},
        {uR"(D:\S1\LoginGate\x\Mir200\y.txt)", false, u"D:", uR"(D:\S1\)",
         uR"(D:\S1\LoginGate\x\Mir200\)", uR"(D:\S1\)", u"S1"},
        {uR"(D:\S1\OldMir200\a.txt)", false, u"D:", uR"(D:\S1\Old\)", uR"(D:\S1\OldMir200\)",
         uR"(D:\S1\)", u"S1"},
        {uR"(D:\S1\mir200\a.txt)", false, u"D:", u"", uR"(D:\S1\mir200\)", uR"(D:\S1\)", u"S1"},
        {uR"(D:\Servers\S1\Mir200\Envir)", true, u"D:", uR"(D:\Servers\S1\)",
         uR"(D:\Servers\S1\Mir200\Envir\)", uR"(D:\Servers\)", u"Servers"},
        {uR"(D:\a.txt)", false, u"D:", u"", uR"(D:\)", u"", u""},
        {uR"(D:\)", true, u"D:", u"", uR"(D:\)", u"", u""},
        {uR"(\\srv\share\S1\Mir200\a.txt)", false, uR"(\\srv\share)", uR"(\\srv\share\S1\)",
         uR"(\\srv\share\S1\Mir200\)", uR"(\\srv\share\S1\)", u"S1"},
    };
    for (const Case& c : cases) {
        const String path = OnDrive(c.path);
        if (!share && path.rfind(u"\\\\", 0) == 0) continue;
        SCOPED_TRACE(U8(path));
        Form().WMDropFiles({path});
        EXPECT_EQ(U8(State().DroppedPath()), U8(path));
        EXPECT_EQ(State().IsFolderDrop(), c.folder);
        EXPECT_EQ(U8(State().DropDrive()), U8(OnDrive(c.drive)));
        EXPECT_EQ(U8(State().BaseServerPrefix()), U8(OnDrive(c.prefix)));
        EXPECT_EQ(U8(State().BasePath()), U8(OnDrive(c.basePath)));
        EXPECT_EQ(U8(State().DroppedFolderPath()), U8(tw::WithoutTrailingBackslash(OnDrive(c.basePath))));
        EXPECT_EQ(U8(State().BaseRootPath()), U8(OnDrive(c.baseRootPath)));
        EXPECT_EQ(U8(State().BaseRoot()), U8(c.baseRoot));
        if (c.folder) {
            EXPECT_EQ(Label(), QStringLiteral("拖入文件夹: ") + Q(path) + QStringLiteral(" (包含 ") +
                                   QString::number(State().DroppedFileNames().size()) +
                                   QStringLiteral(" 个文件)"));
        } else {
            EXPECT_EQ(Label(), QStringLiteral("拖入文件: ") + Q(path));
            EXPECT_EQ(Utf8(State().DroppedFileNames()), Utf8({path}));
            // The first file's size, time and MD5 are taken at the drop.
            EXPECT_TRUE(State().FirstFileInfo().FileExists);
            EXPECT_EQ(State().FirstFileInfo().MD5Hash.size(), 32u);
        }
        // No installation on these drives: the scan that follows finds none.
        EXPECT_EQ(Status(), QStringLiteral("未找到符合条件的目录"));
    }
    // The dropped drive root lists every file of the drive.
    Form().WMDropFiles({OnDrive(u"D:\\")});
    EXPECT_EQ(State().DroppedFileNames().size(), 5u);
    EXPECT_EQ(Label(), QStringLiteral("拖入文件夹: ") + Q(OnDrive(u"D:\\")) + QStringLiteral(" (包含 5 个文件)"));
}

TEST_F(DropWindowTest, FolderDropListsItsFilesDepthFirstWithHiddenOnes) {
    Build(uR"(
        S1\Mir200\Envir\a.txt
        S1\Mir200\Envir\.hidden.txt
        S1\Mir200\Envir\Market\m.txt
        S1\Mir200\Envir\Market\Deep\d.txt
        S1\Mir200\Envir\Empty\Inner\
        S1\Mir200\Envir\z.txt
        S1\Mir200\other.txt
    )");
    SetHidden(u"S1\\Mir200\\Envir\\.hidden.txt");
    const String folder = Path(u"S1\\Mir200\\Envir");
    // The listing order is the file system's; what matters is that the window
    // takes exactly what the listing gives, subfolders where they were met.
    std::vector<String> expected;
    tw::CollectFiles(folder, expected);
    ASSERT_EQ(expected.size(), 5u);
    ASSERT_NE(std::find(expected.begin(), expected.end(), Path(u"S1\\Mir200\\Envir\\.hidden.txt")),
              expected.end());
    const auto deep = std::find(expected.begin(), expected.end(),
                                Path(u"S1\\Mir200\\Envir\\Market\\Deep\\d.txt"));
    const auto market = std::find(expected.begin(), expected.end(),
                                  Path(u"S1\\Mir200\\Envir\\Market\\m.txt"));
    ASSERT_TRUE(deep != expected.end() && market != expected.end());
    EXPECT_EQ(std::abs(deep - market), 1);  // the Market subtree stays together

    // Files dropped after the folder are ignored.
    Form().WMDropFiles({folder, Path(u"S1\\Mir200\\other.txt")});
    EXPECT_TRUE(State().IsFolderDrop());
    EXPECT_EQ(Utf8(State().DroppedFileNames()), Utf8(expected));
    EXPECT_EQ(Label(), QStringLiteral("拖入文件夹: ") + Q(folder) + QStringLiteral(" (包含 5 个文件)"));
    EXPECT_EQ(U8(State().DroppedFolderPath()), U8(folder));
    EXPECT_EQ(U8(State().BaseServerPrefix()), U8(Path(u"S1\\")));

    // A folder that holds only empty folders gives a count of 0; the first
    // file's record is then empty.
    Form().WMDropFiles({Path(u"S1\\Mir200\\Envir\\Empty")});
    EXPECT_TRUE(State().IsFolderDrop());
    EXPECT_TRUE(State().DroppedFileNames().empty());
    EXPECT_EQ(Label(), QStringLiteral("拖入文件夹: ") + Q(Path(u"S1\\Mir200\\Envir\\Empty")) +
                           QStringLiteral(" (包含 0 个文件)"));
    EXPECT_FALSE(State().FirstFileInfo().FileExists);
    EXPECT_EQ(U8(State().BasePath()), U8(Path(u"S1\\Mir200\\Envir\\Empty\\")));
}

TEST_F(DropWindowTest, FileDropTakesEveryPathAsGiven) {
    Build(uR"(
        S1\Mir200\a.txt
        S1\Mir200\b.txt
        S1\Mir200\Envir\c.txt
    )");
    // Several files and a folder after them: all listed unchanged, in the
    // shell's order, duplicates kept; the label names the first only.
    const std::vector<String> dropped = {Path(u"S1\\Mir200\\b.txt"), Path(u"S1\\Mir200\\a.txt"),
                                         Path(u"S1\\Mir200\\Envir"), Path(u"S1\\Mir200\\b.txt")};
    Form().WMDropFiles(dropped);
    EXPECT_FALSE(State().IsFolderDrop());
    EXPECT_EQ(Utf8(State().DroppedFileNames()), Utf8(dropped));
    EXPECT_EQ(Label(), QStringLiteral("拖入文件: ") + Q(dropped[0]));
    EXPECT_EQ(U8(State().BasePath()), U8(Path(u"S1\\Mir200\\")));

    // A first path that does not exist: a file drop, and nothing about the
    // base can be worked out.
    const String missing = Path(u"S1\\Mir200\\gone.txt");
    Form().WMDropFiles({missing, Path(u"S1\\Mir200\\a.txt")});
    EXPECT_FALSE(State().IsFolderDrop());
    EXPECT_EQ(Label(), QStringLiteral("拖入文件: ") + Q(missing));
    EXPECT_EQ(Utf8(State().DroppedFileNames()), Utf8({missing, Path(u"S1\\Mir200\\a.txt")}));
    EXPECT_EQ(U8(State().DropDrive()), U8(Drive()));
    EXPECT_EQ(U8(State().BaseServerPrefix()), U8(Path(u"S1\\")));
    EXPECT_EQ(State().BasePath(), u"");
    EXPECT_EQ(State().DroppedFolderPath(), u"");
    EXPECT_EQ(State().BaseRootPath(), u"");
    EXPECT_EQ(State().BaseRoot(), u"");
    EXPECT_FALSE(State().FirstFileInfo().FileExists);
}

// A path longer than the shell's 260-character buffer would come in cut
// short. Here the cut would land on the file's own folder and turn the drop
// into a folder drop; the whole drop is refused instead.
TEST_F(DropWindowTest, PathsLongerThan259CodeUnitsRefuseTheDrop) {
    Build(uR"(
        S1\Mir200\a.txt
    )");
    Form().WMDropFiles({Path(u"S1\\Mir200\\a.txt")});
    const String folder = Path(u"S1\\") + String(253, u'd');
    ASSERT_EQ(folder.size(), 259u);
    MakeDir(folder.substr(3));
    const String inside = folder + u"\\a.txt";
    WriteFile(inside.substr(3), "x");

    for (const std::vector<String>& drop :
         {std::vector<String>{inside}, std::vector<String>{Path(u"S1\\Mir200\\a.txt"), inside}}) {
        Form().WMDropFiles(drop);
        EXPECT_EQ(Status(), QStringLiteral("路径过长（超过 259 个字符），已忽略本次拖入"));
        EXPECT_EQ(U8(State().DroppedPath()), U8(Path(u"S1\\Mir200\\a.txt")));
        EXPECT_FALSE(State().IsFolderDrop());
        EXPECT_EQ(Utf8(State().DroppedFileNames()), Utf8({Path(u"S1\\Mir200\\a.txt")}));
    }

    // Exactly 259 code units is taken as it is.
    Form().WMDropFiles({folder});
    EXPECT_TRUE(State().IsFolderDrop());
    EXPECT_EQ(Utf8(State().DroppedFileNames()), Utf8({inside}));

    // The same through real drops: the length is counted on the path in
    // its Windows form, whatever form the drag carried.
    Form().WMDropFiles({Path(u"S1\\Mir200\\a.txt")});
    ASSERT_TRUE(DropOn(Grid(), Mime({Dropped(inside.substr(3))})));
    EXPECT_EQ(Status(), QStringLiteral("路径过长（超过 259 个字符），已忽略本次拖入"));
    EXPECT_EQ(U8(State().DroppedPath()), U8(Path(u"S1\\Mir200\\a.txt")));
    ASSERT_TRUE(DropOn(Grid(), Mime({Dropped(folder.substr(3))})));
    EXPECT_EQ(U8(State().DroppedPath()), U8(folder));
    EXPECT_TRUE(State().IsFolderDrop());
}

TEST_F(DropWindowTest, RefusedWhileSynchronisingAndIgnoredWhenEmpty) {
    Build(uR"(
        S1\Mir200\a.txt
        S2\Mir200\b.txt
    )");
    Form().WMDropFiles({Path(u"S1\\Mir200\\a.txt")});
    const String basePath = State().BasePath();

    // An empty drop changes nothing and says nothing.
    Form().SetStatus(QStringLiteral("marker"));
    Form().WMDropFiles({});
    EXPECT_EQ(Status(), QStringLiteral("marker"));
    EXPECT_EQ(U8(State().DroppedPath()), U8(Path(u"S1\\Mir200\\a.txt")));

    State().IsProcessing() = true;
    Form().WMDropFiles({Path(u"S2\\Mir200\\b.txt")});
    EXPECT_EQ(Status(), QStringLiteral("正在处理中，请稍候..."));
    EXPECT_EQ(U8(State().DroppedPath()), U8(Path(u"S1\\Mir200\\a.txt")));
    EXPECT_EQ(Utf8(State().DroppedFileNames()), Utf8({Path(u"S1\\Mir200\\a.txt")}));
    EXPECT_EQ(Label(), QStringLiteral("拖入文件: ") + Q(Path(u"S1\\Mir200\\a.txt")));
    EXPECT_EQ(U8(State().BasePath()), U8(basePath));

    // A real drop is refused too, and still accepted as a drag so it ends.
    EXPECT_TRUE(DropOn(Widget(Form(), "lblDrop"), Mime({Dropped(u"S2\\Mir200\\b.txt")})));
    EXPECT_EQ(U8(State().DroppedPath()), U8(Path(u"S1\\Mir200\\a.txt")));
    EXPECT_EQ(Status(), QStringLiteral("正在处理中，请稍候..."));
}

// No drive part: the drop is recorded, but the base and the last results stay.
TEST_F(DropWindowTest, PathWithoutDriveKeepsThePreviousBase) {
    Build(uR"(
        Servers\S1\Mir200\a.txt
    )");
    Form().WMDropFiles({Path(u"Servers\\S1\\Mir200\\a.txt")});
    State().SourcePaths() = {Path(u"Servers\\S2")};

    for (const String& path : {String(u"Servers\\S1\\Mir200\\a.txt"), String(u"")}) {
        SCOPED_TRACE(U8(path));
        Form().WMDropFiles({path});
        EXPECT_EQ(Status(), QStringLiteral("无法获取盘符信息"));
        EXPECT_EQ(U8(State().DroppedPath()), U8(path));
        EXPECT_EQ(State().DropDrive(), u"");
        EXPECT_EQ(Label(), QStringLiteral("拖入文件: ") + Q(path));
        EXPECT_EQ(Utf8(State().DroppedFileNames()), Utf8({path}));
        EXPECT_EQ(U8(State().BasePath()), U8(Path(u"Servers\\S1\\Mir200\\")));
        EXPECT_EQ(U8(State().BaseRootPath()), U8(Path(u"Servers\\")));
        EXPECT_EQ(U8(State().BaseRoot()), "Servers");
        EXPECT_EQ(Utf8(State().SourcePaths()), Utf8({Path(u"Servers\\S2")}));
    }
}

// A drop onto any widget is a drop onto the window, with the host paths in
// Windows form through the drive table.
TEST_F(DropWindowTest, RealDropOnAnyWidgetCountsForTheWindow) {
    Build(uR"(
        S1\Mir200\a.txt
        S1\Mir200\b.txt
        S1\Mir200\Envir\c.txt
    )");
    auto* box = Widget<QComboBox>(Form(), "cbVersion");
    auto* grid = Widget<TStringGrid>(Form(), "sgFiles");
    QWidget* const targets[] = {
        &Form(),           Widget(Form(), "lblDroppedPath"), Widget(Form(), "pnlBottom"),
        grid->viewport(),  Widget(Form(), "btnSync"),        box->lineEdit(),
        Widget(Form(), "StatusBar1"),
    };
    for (QWidget* target : targets) {
        SCOPED_TRACE(target->objectName().isEmpty() ? target->metaObject()->className()
                                                    : target->objectName().toStdString());
        State().DroppedFileNames().clear();
        ASSERT_TRUE(DropOn(target, Mime({Dropped(u"S1\\Mir200\\b.txt"), Dropped(u"S1\\Mir200\\a.txt")})));
        EXPECT_EQ(Utf8(State().DroppedFileNames()),
                  Utf8({Path(u"S1\\Mir200\\b.txt"), Path(u"S1\\Mir200\\a.txt")}));
        EXPECT_EQ(Label(), QStringLiteral("拖入文件: ") + Q(Path(u"S1\\Mir200\\b.txt")));
    }
    // The box's edit field did not take the dropped paths as text.
    EXPECT_EQ(box->currentText().toStdString(), "");

    // A folder through a real drop.
    ASSERT_TRUE(DropOn(grid->viewport(), Mime({Dropped(u"S1\\Mir200\\Envir")})));
    EXPECT_TRUE(State().IsFolderDrop());
    EXPECT_EQ(Utf8(State().DroppedFileNames()), Utf8({Path(u"S1\\Mir200\\Envir\\c.txt")}));
}

TEST_F(DropWindowTest, OnlyLocalFilesAreTakenFromADrag) {
    Build(uR"(
        S1\Mir200\a.txt
    )");
    QWidget* label = Widget(Form(), "lblDrop");

    // Text alone, or only remote addresses: the drag is not accepted.
    auto text = std::make_unique<QMimeData>();
    text->setText(QStringLiteral("D:\\S1\\Mir200\\a.txt"));
    EXPECT_FALSE(DropOn(label, text));
    auto remote = std::make_unique<QMimeData>();
    remote->setUrls({QUrl(QStringLiteral("https://example.com/a.txt"))});
    EXPECT_FALSE(DropOn(label, remote));
    EXPECT_EQ(State().DroppedPath(), u"");
    EXPECT_EQ(Label(), QStringLiteral("等待拖入文件..."));

    // Mixed: the remote entry is left out.
    auto mixed = std::make_unique<QMimeData>();
    mixed->setUrls({QUrl(QStringLiteral("https://example.com/x.txt")),
                    QUrl::fromLocalFile(QString::fromStdString(Dropped(u"S1\\Mir200\\a.txt")))});
    EXPECT_TRUE(DropOn(label, mixed));
    EXPECT_EQ(Utf8(State().DroppedFileNames()), Utf8({Path(u"S1\\Mir200\\a.txt")}));
}

#ifndef _WIN32
// Every host name has a Windows form. A name holding '\\' or bytes that are
// not UTF-8 (GBK from an unzipped archive), dragged as a file manager
// percent-encodes it, is taken in under that form and found again by it.
TEST_F(DropWindowTest, HostNamesThatAreNotWindowsNamesAreTakenInExactly) {
    WriteFile(u"S2\\Config.ini", "[Config]\nGameName=G\n");
    struct Case {
        std::string hostName;  // bytes on disk
        std::u16string windowsName;
    };
    const Case cases[] = {
        {"back\\slash.txt", u"back\xDC5Cslash.txt"},
        {"\xC4\xE3\xBA\xC3.txt", u"\xDCC4\xDCE3\xDCBA\xDCC3.txt"},  // 你好 in GBK
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hostName);
        const std::string host = Host(u"S1") + "/" + c.hostName;
        std::filesystem::create_directories(Host(u"S1"));
        std::ofstream(host).put('x');
        auto mime = std::make_unique<QMimeData>();
        mime->setUrls({QUrl::fromEncoded(QByteArray("file://") +
                                         QByteArray::fromStdString(host).toPercentEncoding("/"))});
        ASSERT_TRUE(DropOn(Widget(Form(), "sgFiles"), mime));
        EXPECT_EQ(State().DroppedPath(), Path(u"S1\\") + c.windowsName);
        EXPECT_TRUE(State().FirstFileInfo().FileExists);
        EXPECT_EQ(Status(), QStringLiteral("找到 1 个目录 "));
    }
}
#endif

}  // namespace
