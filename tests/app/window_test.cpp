// The main window as it comes up: layout, texts, fonts, tab order, window
// kind, the status line, and the general error report.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>

#include <memory>
#include <stdexcept>

#include "app/application.h"
#include "app/form_access.h"
#include "app/string_grid.h"
#include "app/unit1.h"
#include "form_fixture.h"

using twtest::Widget;

namespace {

class WindowTest : public twtest::FormTest {
protected:
    bool OpenOnSetUp() const override { return false; }
    QLabel* StatusPanel() {
        auto* bar = W<QStatusBar>("StatusBar1");
        const auto labels = bar->findChildren<QLabel*>();
        EXPECT_EQ(labels.size(), 1);
        return labels.value(0);
    }
};

// Position and size in the parent's client area, as the layout is designed.
QRect Designed(const QWidget* w) {
    return w->geometry().translated(-w->parentWidget()->contentsRect().topLeft());
}

TEST_F(WindowTest, LayoutMatchesTheDesign) {
    TForm1& form = Open();
    struct Case {
        const char* name;
        const char* parent;
        QRect rect;
        const char16_t* text;  // nullptr: no text to check
    };
    const Case cases[] = {
        {"pnlTop", nullptr, {0, 0, 602, 100}, nullptr},
        // The hidden splitter takes no space: the grid panel reaches the bottom panel.
        {"pnlGrid", nullptr, {0, 100, 602, 218}, nullptr},
        {"pnlBottom", nullptr, {0, 318, 602, 160}, nullptr},
        {"StatusBar1", nullptr, {0, 478, 602, 25}, nullptr},
        {"lblDrop", "pnlTop", {1, 1, 600, 35}, u"将文件或文件夹拖放到此处"},
        {"lblDroppedPath", "pnlTop", {1, 36, 600, 63}, u"等待拖入文件..."},
        {"sgFiles", "pnlGrid", {1, 1, 596, 212}, nullptr},
        {"pnlMatchOptions", "pnlBottom", {7, 7, 371, 142}, nullptr},
        {"pnlButtons", "pnlBottom", {378, 7, 213, 142}, nullptr},
        {"lblVersion", "pnlMatchOptions", {10, 10, 65, 12}, u"版本名字："},
        {"cbVersion", "pnlMatchOptions", {80, 6, 97, 20}, u""},
        {"btnVersionSelect", "pnlMatchOptions", {181, 5, 78, 22}, u"一键选中"},
        {"btnSelectAll", "pnlMatchOptions", {265, 5, 60, 22}, u"全选"},
        {"lblSubDir", "pnlMatchOptions", {10, 45, 65, 12}, u"子文件夹："},
        {"cbSubDir", "pnlMatchOptions", {80, 41, 181, 20}, u""},
        {"btnInvertSelect", "pnlMatchOptions", {265, 40, 60, 22}, u"反选"},
        {"Label2", "pnlMatchOptions", {38, 72, 36, 12}, u"说明："},
        {"Label5", "pnlMatchOptions", {80, 72, 234, 12}, u"支持GOM引擎、GEE引擎、996引擎等其他引擎"},
        {"Label1", "pnlMatchOptions", {80, 90, 240, 12}, u"支持单文件拖入、多选文件拖入、文件夹拖入"},
        {"Label3", "pnlMatchOptions", {80, 108, 216, 12}, u"支持子文件夹，只需要输入子文件夹名字"},
        {"Label6", "pnlMatchOptions", {80, 126, 258, 12}, u"如输入开区版本，则对应D:\\开区版本\\MirServer"},
        {"btnSync", "pnlButtons", {33, 8, 150, 38}, u"同步选中"},
        {"ProgressBar1", "pnlButtons", {33, 52, 150, 20}, nullptr},
        {"Label4", "pnlButtons", {33, 128, 150, 12}, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QWidget* w = Widget(form, c.name);
        ASSERT_NE(w, nullptr);
        const QWidget* parent = c.parent ? Widget(form, c.parent) : &form;
        EXPECT_EQ(w->parentWidget(), parent);
        EXPECT_EQ(Designed(w), c.rect);
        if (c.text == nullptr) continue;
        const QString expected = QString::fromUtf16(c.text);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(label->text(), expected);
            EXPECT_FALSE(label->wordWrap());
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            EXPECT_EQ(button->text(), expected);
        } else if (auto* box = qobject_cast<QComboBox*>(w)) {
            EXPECT_EQ(box->currentText(), expected);
        }
    }
    EXPECT_FALSE(Widget<QLabel>(form, "Label4")->text().isEmpty());
}

TEST_F(WindowTest, WindowKindAndStartState) {
    TForm1& form = Shown();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Tidewell1.13"));
    EXPECT_EQ(form.size(), QSize(602, 503));
    EXPECT_EQ(form.minimumSize(), QSize(602, 503));
    EXPECT_EQ(form.maximumSize(), QSize(602, 503));
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));

    EXPECT_FALSE(Widget(form, "Splitter1")->isVisible());
    EXPECT_FALSE(Widget(form, "ProgressBar1")->isVisible());
    auto* bar = Widget<QProgressBar>(form, "ProgressBar1");
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);

    // Both boxes take free text and show their hint while empty.
    for (const auto& [name, hint] : {std::pair{"cbVersion", u"输入版本名字"},
                                     std::pair{"cbSubDir", u"输入子文件夹"}}) {
        auto* box = Widget<QComboBox>(form, name);
        ASSERT_TRUE(box->isEditable()) << name;
        EXPECT_EQ(box->lineEdit()->placeholderText(), QString::fromUtf16(hint)) << name;
    }

    auto* grid = Widget<TStringGrid>(form, "sgFiles");
    EXPECT_EQ(grid->ColCount(), 6);
    EXPECT_EQ(grid->RowCount(), 11);
    EXPECT_EQ(grid->DefaultRowHeight(), 18);
    EXPECT_EQ(grid->Row(), 1);
    const int widths[] = {25, 40, 195, 150, 80, 80};
    const char16_t* headers[] = {u"", u"序号", u"版本路径", u"版本名字", u"是否相同", u"修改时间"};
    for (int col = 0; col < 6; ++col) {
        EXPECT_EQ(grid->ColWidths(col), widths[col]) << col;
        EXPECT_EQ(grid->Cells(col, 0), QString::fromUtf16(headers[col])) << col;
    }
    // The header and ten rows fit: no scroll bar at start.
    EXPECT_FALSE(grid->verticalScrollBar()->isVisible());

    TForm1Access state(form);
    EXPECT_TRUE(state.SourcePaths().empty());
    EXPECT_TRUE(state.DroppedFileNames().empty());
    EXPECT_FALSE(state.IsProcessing());
    EXPECT_EQ(state.HoverRow(), -1);
    EXPECT_EQ(state.HoverCol(), -1);
    EXPECT_TRUE(state.DropDrive().empty());
    EXPECT_TRUE(form.acceptDrops());
}

TEST_F(WindowTest, FontsFollowTheDesignAndShowChinese) {
    TForm1& form = Open();
    struct Case {
        const char* name;  // nullptr: the window itself
        int pixels;
        bool bold;
    };
    const Case cases[] = {
        {nullptr, 12, false},        {"lblDrop", 14, true},    {"lblDroppedPath", 12, false},
        {"sgFiles", 12, false},      {"lblVersion", 12, true}, {"lblSubDir", 12, true},
        {"btnSync", 14, true},       {"Label5", 12, false},    {"cbVersion", 12, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "TForm1");
        const QWidget* w = c.name ? Widget(form, c.name) : &form;
        ASSERT_NE(w, nullptr);
        const QFont font = w->font();
        ASSERT_FALSE(font.families().isEmpty());
        EXPECT_EQ(font.families().first(), QStringLiteral("宋体"));
        EXPECT_EQ(font.pixelSize(), c.pixels);
        EXPECT_EQ(font.bold(), c.bold);
        // Whatever family the system matched must draw Chinese, not empty boxes.
        EXPECT_TRUE(QFontMetrics(font).inFont(QChar(u'汉'))) << QFontInfo(font).family().toStdString();
    }
}

TEST_F(WindowTest, TabVisitsTheInputsInDesignedOrder) {
    TForm1& form = Shown();
    const char* const order[] = {"sgFiles",         "cbVersion",    "btnVersionSelect", "cbSubDir",
                                 "btnInvertSelect", "btnSelectAll", "btnSync",          "sgFiles"};
    // The grid, the first stop, has the focus when the window opens.
    EXPECT_EQ(QApplication::focusWidget(), Widget(form, "sgFiles"));
    for (const char* name : order) {
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        // A box's edit field stands for its box.
        if (auto* box = qobject_cast<QComboBox*>(focused->parentWidget())) focused = box;
        EXPECT_EQ(focused->objectName().toStdString(), name);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
}

TEST_F(WindowTest, ReadyMessageComesLastEvenAfterRestoredInputs) {
    tw::TIniFile ini{tw::String(u"C:\\Tidewell.ini")};
    ini.WriteValue(u"LastUsed", u"Version", u"开区版本");
    ini.WriteValue(u"LastUsed", u"SubDir", u"Servers");
    TForm1& form = Open();
    EXPECT_EQ(Widget<QComboBox>(form, "cbVersion")->currentText(), QStringLiteral("开区版本"));
    EXPECT_EQ(StatusPanel()->text(), QStringLiteral("就绪 - 拖入文件开始搜索"));
}

TEST_F(WindowTest, StatusTextIsReplacedAndCutAtThePanelEdge) {
    TForm1& form = Shown();
    QLabel* panel = StatusPanel();
    ASSERT_NE(panel, nullptr);
    form.SetStatus(tw::String(u"找到 3 个目录 "));
    EXPECT_EQ(panel->text(), QStringLiteral("找到 3 个目录 "));

    // Far wider than 500 px: the panel keeps its width, the bar its height,
    // and nothing is drawn to the right of the panel.
    const QString wide = QString(120, QChar(u'汉'));
    form.SetStatus(wide);
    QApplication::processEvents();
    EXPECT_EQ(panel->text(), wide);
    EXPECT_EQ(panel->width(), 500);
    EXPECT_FALSE(panel->wordWrap());
    auto* bar = Widget<QStatusBar>(form, "StatusBar1");
    EXPECT_EQ(bar->height(), 25);
    const QImage image = bar->grab().toImage();
    const int panelRight = panel->mapTo(bar, QPoint(panel->width(), 0)).x();
    ASSERT_LT(panelRight + 4, image.width());
    const QRgb background = image.pixel(image.width() - 30, image.height() / 2);
    for (int x = panelRight + 2; x < image.width() - 30; ++x) {
        for (int y = 3; y < image.height() - 3; ++y) {
            ASSERT_EQ(image.pixel(x, y), background) << "painted at " << x << "," << y;
        }
    }
    // Inside the panel the text is drawn.
    bool inked = false;
    for (int x = 10; x < panelRight - 10 && !inked; ++x) {
        inked = image.pixel(x, image.height() / 2) != background;
    }
    EXPECT_TRUE(inked);
}

// An error that no handler catches comes up in a modal box with its text,
// raised at the handler's edge (Guarded, as every handler of the window runs);
// the window keeps what the handler had done and takes the next event.
TEST_F(WindowTest, ErrorEscapingAHandlerIsShownAndTheWindowGoesOn) {
    TForm1& form = Shown();
    auto* button = Widget<QPushButton>(form, "btnSelectAll");
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, &form, [&] {
        Guarded([&] {
            ++clicks;
            form.SetStatus(QStringLiteral("before the error"));
            if (clicks == 1) throw tw::EInOutError(u"无法创建目录 D:\\S2");
            if (clicks == 2) throw std::runtime_error("plain failure");
        });
    });

    for (const QString& expected : {QStringLiteral("无法创建目录 D:\\S2"), QStringLiteral("plain failure")}) {
        const twtest::TShownBox box =
            twtest::AnswerErrorBox([&] { QTest::mouseClick(button, Qt::LeftButton); });
        ASSERT_TRUE(box.shown) << expected.toStdString();
        EXPECT_EQ(box.text, expected);
        EXPECT_TRUE(box.modal);
        EXPECT_TRUE(box.onTop);
        EXPECT_EQ(StatusPanel()->text(), QStringLiteral("before the error"));
    }

    // Still running: the next click is handled normally and the window is open.
    QTest::mouseClick(button, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(clicks, 3);
    EXPECT_TRUE(form.isVisible());
    form.SetStatus(QStringLiteral("after"));
    EXPECT_EQ(StatusPanel()->text(), QStringLiteral("after"));
}

}  // namespace
