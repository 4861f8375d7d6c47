// TForm1: the widget tree, as designed at 96 dpi, and the wiring of the
// widgets' events to the form's handlers.
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QtWidgets/qdrawutil.h>

#include "app/application.h"
#include "app/string_grid.h"
#include "app/unit1.h"

namespace {

// Families tried in order: the designed font first, then CJK fonts found on
// Linux systems, so that Chinese text never shows as empty boxes. The Mono
// cut of WenQuanYi comes first among those: like SimSun it gives Latin
// characters half the width of a Chinese one, so the designed label widths
// hold the texts.
const QStringList kFontFamilies = {
    QStringLiteral("宋体"),
    QStringLiteral("SimSun"),
    QStringLiteral("NSimSun"),
    QStringLiteral("WenQuanYi Zen Hei Mono"),
    QStringLiteral("WenQuanYi Zen Hei"),
    QStringLiteral("Noto Sans CJK SC"),
    QStringLiteral("Droid Sans Fallback"),
};

QFont DesignFont(int pixelSize, bool bold) {
    QFont font;
    font.setFamilies(kFontFamilies);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// A panel: an optional sunken single border around the client area (2 px,
// outside the client area, so contentsRect() is the client area), and a
// bevel of its own drawn just inside the client area.
class TPanel : public QFrame {
public:
    enum class TBevel { None, Raised, Lowered };

    TPanel(QWidget* parent, TBevel bevel, int bevelWidth, bool singleBorder)
        : QFrame(parent), bevel_(bevel), bevelWidth_(bevelWidth) {
        if (singleBorder) {
            setFrameStyle(QFrame::Panel | QFrame::Sunken);
            setLineWidth(2);
        } else {
            setFrameStyle(QFrame::NoFrame);
        }
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        Guarded([&] {
            QFrame::paintEvent(event);
            if (bevel_ == TBevel::None) return;
            QPainter painter(this);
            qDrawShadePanel(&painter, contentsRect(), palette(), bevel_ == TBevel::Lowered,
                            bevelWidth_, nullptr);
        });
    }

private:
    TBevel bevel_;
    int bevelWidth_;
};

// Places a child at its designed position in the parent's client area.
template <class W>
W* Place(W* widget, int left, int top, int width, int height) {
    const QPoint origin = widget->parentWidget()->contentsRect().topLeft();
    widget->setGeometry(origin.x() + left, origin.y() + top, width, height);
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);  // paths are shown as typed, never as markup
    label->setWordWrap(false);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setFocusPolicy(Qt::StrongFocus);
    button->setAutoDefault(false);
    return button;
}

QComboBox* MakeBox(QWidget* parent, const char* name) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setFocusPolicy(Qt::StrongFocus);
    return box;
}

}  // namespace

void TForm1::BuildLayout() {
    setWindowTitle(QStringLiteral("Tidewell" TIDEWELL_VERSION));  // "Tidewell1.13"
    // Fixed single border, system menu with close and minimise, no maximise,
    // above ordinary windows. The window system picks the position.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(602, 503);
    setFont(DesignFont(12, false));
    setForegroundRole(QPalette::WindowText);
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);

    using TBevel = TPanel::TBevel;

    pnlTop = new TPanel(this, TBevel::Raised, 1, false);
    pnlTop->setObjectName(QStringLiteral("pnlTop"));
    Place(pnlTop, 0, 0, 602, 100);

    // Fills the space between the top and the bottom panel: 218 px high,
    // since the splitter below it (designed 3 px) is never shown.
    pnlGrid = new TPanel(this, TBevel::None, 0, true);
    pnlGrid->setObjectName(QStringLiteral("pnlGrid"));
    Place(pnlGrid, 0, 100, 602, 218);

    pnlBottom = new TPanel(this, TBevel::Lowered, 2, true);
    pnlBottom->setObjectName(QStringLiteral("pnlBottom"));
    Place(pnlBottom, 0, 318, 602, 160);

    // Designed as a bar between the grid and the bottom panel, but never
    // shown: it takes no space and the grid panel reaches the bottom panel.
    Splitter1 = new QSplitter(Qt::Vertical, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setCursor(Qt::SizeVerCursor);
    Place(Splitter1, 0, 315, 602, 3);
    Splitter1->hide();

    pnlMatchOptions = new TPanel(pnlBottom, TBevel::Raised, 1, false);
    pnlMatchOptions->setObjectName(QStringLiteral("pnlMatchOptions"));
    Place(pnlMatchOptions, 7, 7, 371, 142);

    pnlButtons = new TPanel(pnlBottom, TBevel::Raised, 1, false);
    pnlButtons->setObjectName(QStringLiteral("pnlButtons"));
    Place(pnlButtons, 378, 7, 213, 142);

    btnSync = MakeButton(pnlButtons, "btnSync", QStringLiteral("同步选中"));
    btnSync->setFont(DesignFont(14, true));
    Place(btnSync, 33, 8, 150, 38);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    Place(StatusBar1, 0, 478, 602, 25);
    statusPanel_ = MakeLabel(StatusBar1, "StatusPanel", QString());
    // One panel, 500 px wide; a longer text is cut at the panel's edge.
    statusPanel_->setFixedWidth(500);
    statusPanel_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    StatusBar1->addWidget(statusPanel_);
    // Fixed in height too, at the height the status bar gives it: a new text
    // then asks for no new layout of the status bar, which a synchronisation
    // run would otherwise pay for once per file copied.
    StatusBar1->layout()->activate();
    statusPanel_->setFixedHeight(statusPanel_->height());

    ProgressBar1 = new QProgressBar(pnlButtons);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    Place(ProgressBar1, 33, 52, 150, 20);
    ProgressBar1->hide();

    lblDrop = MakeLabel(pnlTop, "lblDrop", QStringLiteral("将文件或文件夹拖放到此处"));
    lblDrop->setFont(DesignFont(14, true));
    lblDrop->setAlignment(Qt::AlignCenter);
    lblDrop->setBackgroundRole(QPalette::Button);
    lblDrop->setAutoFillBackground(true);
    Place(lblDrop, 1, 1, 600, 35);

    lblDroppedPath = MakeLabel(pnlTop, "lblDroppedPath", QStringLiteral("等待拖入文件..."));
    lblDroppedPath->setAlignment(Qt::AlignCenter);
    lblDroppedPath->setBackgroundRole(QPalette::Button);
    lblDroppedPath->setAutoFillBackground(true);
    Place(lblDroppedPath, 1, 36, 600, 63);

    lblVersion = MakeLabel(pnlMatchOptions, "lblVersion", QStringLiteral("版本名字："));
    lblVersion->setFont(DesignFont(12, true));
    Place(lblVersion, 10, 10, 65, 12);

    cbVersion = MakeBox(pnlMatchOptions, "cbVersion");
    Place(cbVersion, 80, 6, 97, 20);

    btnVersionSelect = MakeButton(pnlMatchOptions, "btnVersionSelect", QStringLiteral("一键选中"));
    Place(btnVersionSelect, 181, 5, 78, 22);

    btnSelectAll = MakeButton(pnlMatchOptions, "btnSelectAll", QStringLiteral("全选"));
    Place(btnSelectAll, 265, 5, 60, 22);

    lblSubDir = MakeLabel(pnlMatchOptions, "lblSubDir", QStringLiteral("子文件夹："));
    lblSubDir->setFont(DesignFont(12, true));
    Place(lblSubDir, 10, 45, 65, 12);

    cbSubDir = MakeBox(pnlMatchOptions, "cbSubDir");
    Place(cbSubDir, 80, 41, 181, 20);

    btnInvertSelect = MakeButton(pnlMatchOptions, "btnInvertSelect", QStringLiteral("反选"));
    Place(btnInvertSelect, 265, 40, 60, 22);

    Label2 = MakeLabel(pnlMatchOptions, "Label2", QStringLiteral("说明："));
    Place(Label2, 38, 72, 36, 12);
    Label5 = MakeLabel(pnlMatchOptions, "Label5",
                       QStringLiteral("支持GOM引擎、GEE引擎、996引擎等其他引擎"));
    Place(Label5, 80, 72, 234, 12);
    Label1 = MakeLabel(pnlMatchOptions, "Label1",
                       QStringLiteral("支持单文件拖入、多选文件拖入、文件夹拖入"));
    Place(Label1, 80, 90, 240, 12);
    Label3 = MakeLabel(pnlMatchOptions, "Label3",
                       QStringLiteral("支持子文件夹，只需要输入子文件夹名字"));
    Place(Label3, 80, 108, 216, 12);
    Label6 = MakeLabel(pnlMatchOptions, "Label6",
                       QStringLiteral("如输入开区版本，则对应D:\\开区版本\\MirServer"));
    Place(Label6, 80, 126, 258, 12);

    Label4 = MakeLabel(pnlButtons, "Label4", QStringLiteral("Tidewell 多服同步工具"));
    Place(Label4, 33, 128, 150, 12);

    sgFiles = new TStringGrid(pnlGrid);
    sgFiles->setObjectName(QStringLiteral("sgFiles"));
    sgFiles->setFont(DesignFont(12, false));
    sgFiles->SetColCount(6);
    sgFiles->SetRowCount(11);
    sgFiles->SetDefaultRowHeight(18);
    Place(sgFiles, 1, 1, 596, 212);  // fills pnlGrid inside its 1-px border width
    // Scrolling the grid repaints it at once, not at the next paint cycle.
    connect(sgFiles, &TStringGrid::Scrolled, this, [this] { Guarded([this] { WMVScroll(); }); });

    // The Tab key visits the grid, the version box, "一键选中", the subfolder
    // box, "反选", "全选" and the sync button, in that order.
    setTabOrder(sgFiles, cbVersion);
    setTabOrder(cbVersion, btnVersionSelect);
    setTabOrder(btnVersionSelect, cbSubDir);
    setTabOrder(cbSubDir, btnInvertSelect);
    setTabOrder(btnInvertSelect, btnSelectAll);
    setTabOrder(btnSelectAll, btnSync);
    sgFiles->setFocus();
}


void TForm1::ConnectEvents() {
    // Every handler runs guarded: an error it raises is shown by the general
    // error report at the handler's edge.
    connect(btnVersionSelect, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnVersionSelectClick(); }); });
    connect(btnSelectAll, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnSelectAllClick(); }); });
    connect(btnInvertSelect, &QPushButton::clicked, this,
            [this] { Guarded([this] { btnInvertSelectClick(); }); });
    connect(btnSync, &QPushButton::clicked, this, [this] { Guarded([this] { btnSyncClick(); }); });

    sgFiles->OnDrawCell = [this](QPainter& canvas, int col, int row, const QRect& rect,
                                 bool selected) {
        Guarded([&] { sgFilesDrawCell(canvas, col, row, rect, selected); });
    };
    sgFiles->OnMouseDown = [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                                  int y) { Guarded([&] { sgFilesMouseDown(button, shift, x, y); }); };
    sgFiles->OnMouseMove = [this](Qt::KeyboardModifiers shift, int x, int y) {
        Guarded([&] { sgFilesMouseMove(shift, x, y); });
    };
}
