// TForm1: start-up, layout, status line and the drop intake.
#include "app/unit1.h"

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QUrl>
#include <QtWidgets/qdrawutil.h>

#include "app/application.h"
#include "app/string_grid.h"
#include "discovery/drop.h"

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
        QFrame::paintEvent(event);
        if (bevel_ == TBevel::None) return;
        QPainter painter(this);
        qDrawShadePanel(&painter, contentsRect(), palette(), bevel_ == TBevel::Lowered,
                        bevelWidth_, nullptr);
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

bool HasLocalFiles(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls()) return false;
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) return true;
    }
    return false;
}

const int kGridColWidths[] = {25, 40, 195, 150, 80, 80};

}  // namespace

QString ToQString(const tw::String& text) {
    // A plain copy of the code units: no byte-order mark handling, no repair.
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

tw::String FromQString(const QString& text) {
    return tw::String(reinterpret_cast<const char16_t*>(text.utf16()),
                      static_cast<std::size_t>(text.size()));
}

TForm1::TForm1(QWidget* parent) : QWidget(parent) {
    BuildLayout();
    // An error while creating is reported like one in any other handler;
    // the window still opens, with the steps that did run.
    try {
        FormCreate();
    } catch (...) {
        ShowCurrentException();
    }
}

TForm1::~TForm1() { FormDestroy(); }

void TForm1::BuildLayout() {
    setWindowTitle(QStringLiteral("Tidewell1.13"));
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
    connect(sgFiles, &TStringGrid::Scrolled, this, [this] { WMVScroll(); });

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

void TForm1::FormCreate() {
    // 1. The five lists, new and empty.
    FSourcePaths.clear();
    FSelectedPaths.clear();
    FDroppedFileNames.clear();
    FCheckStates.clear();
    FCompareInfos.clear();

    // 2. The rest of the form state.
    FIsProcessing = false;
    FDroppedPath.clear();
    FBasePath.clear();
    FBaseRoot.clear();
    FBaseRootPath.clear();
    FDroppedFolderPath.clear();
    FIsFolderDrop = false;
    FHoverRow = -1;
    FHoverCol = -1;
    FHistoryLoaded = false;
    FDropDrive.clear();
    FBaseServerPrefix.clear();
    FFirstFileInfo = tw::TFileCompareInfo{};

    // 3. Accept dropped files on the window and on every widget on it: an
    // application-wide filter, so that widgets created later (the boxes'
    // edit fields) are covered too.
    setAcceptDrops(true);
    qApp->installEventFilter(this);

    // 4. Editable drop-down boxes. Qt's own insert-on-Enter and completer
    // stay off: the boxes' list and completion are the history's.
    for (QComboBox* box : {cbVersion, cbSubDir}) {
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setCompleter(nullptr);
        box->setMaxVisibleItems(10);
    }
    cbVersion->lineEdit()->setPlaceholderText(QStringLiteral("输入版本名字"));
    cbSubDir->lineEdit()->setPlaceholderText(QStringLiteral("输入子文件夹"));

    // 5-7.
    InitGrid();
    LoadHistory();
    LoadLastUsed();

    // 8. Last, so that it is what the window first shows.
    SetStatus(QStringLiteral("就绪 - 拖入文件开始搜索"));
}

void TForm1::FormDestroy() {
    qApp->removeEventFilter(this);
    setAcceptDrops(false);
    FSourcePaths.clear();
    FSelectedPaths.clear();
    FDroppedFileNames.clear();
    FCheckStates.clear();
    FCompareInfos.clear();
}

void TForm1::SetStatus(const QString& text) { statusPanel_->setText(text); }

void TForm1::SetStatus(const tw::String& text) { SetStatus(ToQString(text)); }

void TForm1::WMVScroll() { sgFiles->Repaint(); }

void TForm1::InitGrid() {
    static const char16_t* const headers[] = {u"", u"序号", u"版本路径", u"版本名字", u"是否相同",
                                              u"修改时间"};
    for (int col = 0; col < 6; ++col) {
        sgFiles->SetCells(col, 0, ToQString(headers[col]));
        sgFiles->SetColWidths(col, kGridColWidths[col]);
    }
    ClearResults();
}

void TForm1::ClearResults() {
    for (int row = 1; row < sgFiles->RowCount(); ++row) {
        for (int col = 0; col < sgFiles->ColCount(); ++col) sgFiles->SetCells(col, row, QString());
    }
    FSourcePaths.clear();
    FSelectedPaths.clear();
    FCheckStates.clear();
    FCompareInfos.clear();
    sgFiles->Repaint();
}

// ---------------------------------------------------------------- drop intake

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return QWidget::eventFilter(watched, event);
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget == this || widget->window() != this) {
        return QWidget::eventFilter(watched, event);
    }
    // A drag over any widget of the window is a drag over the window; the
    // widget's own drop handling (a box's edit field taking text) never runs.
    switch (type) {
        case QEvent::DragEnter: dragEnterEvent(static_cast<QDragEnterEvent*>(event)); break;
        case QEvent::DragMove: dragMoveEvent(static_cast<QDragMoveEvent*>(event)); break;
        default: dropEvent(static_cast<QDropEvent*>(event)); break;
    }
    return true;
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) { dragMoveEvent(event); }

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    if (HasLocalFiles(event->mimeData())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TForm1::dropEvent(QDropEvent* event) {
    if (!HasLocalFiles(event->mimeData())) {
        event->ignore();
        return;
    }
    std::vector<tw::String> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile()) continue;
        // A host path with no Windows form (its drive unmapped, or a name
        // holding '\') stays in the list as an empty path, so the drop is
        // reported rather than silently shortened.
        paths.push_back(tw::WindowsPathFromHost(url.toLocalFile().toUtf8().toStdString()));
    }
    // Accepted before the work starts: an error in it still ends the drag.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    WMDropFiles(paths);
}

void TForm1::WMDropFiles(const std::vector<tw::String>& paths) {
    // The shell hands each path through a buffer of 260 characters with its
    // terminating zero. A longer path would come in cut short, and the cut
    // can name another item (its own folder, when it ends at a backslash)
    // that a sync would then copy into every installation. Such a drop is
    // refused whole; nothing of the last drop changes.
    constexpr std::size_t kMaxDroppedPath = 259;
    for (const tw::String& path : paths) {
        if (path.size() > kMaxDroppedPath) {
            SetStatus(QStringLiteral("路径过长（超过 259 个字符），已忽略本次拖入"));
            return;
        }
    }
    ProcessDroppedItems(paths);
}

void TForm1::ProcessDroppedItems(const std::vector<tw::String>& paths) {
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
        tw::CollectFiles(FDroppedPath, collected);
        FDroppedFileNames = collected;
        lblDroppedPath->setText(QStringLiteral("拖入文件夹: ") + ToQString(FDroppedPath) +
                                QStringLiteral(" (包含 ") +
                                QString::number(FDroppedFileNames.size()) +
                                QStringLiteral(" 个文件)"));
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

    DropScan();
}

// The drop scan: search, comparisons, ticks and the filled grid.
void TForm1::DropScan() {}
