// The fixture of every window test: a fresh main window on temporary
// drives, access to its state, its widgets by name, the status text, and
// drops made as the window system makes them.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QStatusBar>
#include <QTest>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "app/form_access.h"
#include "app/string_grid.h"
#include "app/unit1.h"
#include "history/history.h"
#include "support/temp_drive.h"
#include "window_support.h"

namespace twtest {

class FormTest : public TempDrive {
protected:
    void SetUp() override {
        TempDrive::SetUp();
#ifdef _WIN32
        SetHistoryAside();
        if (HasFatalFailure()) return;
#endif
        if (OpenOnSetUp()) Open();
    }
    void TearDown() override {
        Close();
#ifdef _WIN32
        RestoreHistory();
#endif
        TempDrive::TearDown();
    }

    // Tests that prepare the history file first open the window themselves.
    virtual bool OpenOnSetUp() const { return true; }

    TForm1& Open() {
        Close();
        form_ = std::make_unique<TForm1>();
        state_.emplace(*form_);
        statuses_.clear();
        QObject::connect(form_.get(), &TForm1::StatusShown,
                         [this](const QString& text) { statuses_.push_back(text); });
        return *form_;
    }
    // Opened, shown and active, for tests that paint or type.
    TForm1& Shown() {
        if (!form_) Open();
        form_->show();
        QApplication::setActiveWindow(form_.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(form_.get()));
        // Queued layout steps (a scroll bar shown or hidden) run before
        // anyone could look; the minimal platform activates at once, without
        // a turn of the event loop.
        Settle();
        return *form_;
    }
    void Close() {
        state_.reset();
        form_.reset();
    }

    TForm1& Form() { return *form_; }
    TForm1Access& State() { return *state_; }
    template <class T = QWidget>
    T* W(const char* name) { return Widget<T>(*form_, name); }
    TStringGrid* Grid() { return W<TStringGrid>("sgFiles"); }
    QString Status() { return W<QStatusBar>("StatusBar1")->findChild<QLabel*>()->text(); }
    // Every status text since the window opened (or the last ClearStatuses).
    const QStringList& Statuses() const { return statuses_; }
    void ClearStatuses() { statuses_.clear(); }
    QString DropLabel() { return W<QLabel>("lblDroppedPath")->text(); }

    // A drag of host paths as a file manager offers it: the addresses, and
    // the paths as plain text, which an edit field would gladly take.
    static std::unique_ptr<QMimeData> Mime(const std::vector<std::string>& hostPaths) {
        auto mime = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        QStringList text;
        for (const std::string& p : hostPaths) {
            urls << QUrl::fromLocalFile(QString::fromStdString(p));
            text << QString::fromStdString(p);
        }
        mime->setUrls(urls);
        mime->setText(text.join(QLatin1Char('\n')));
        return mime;
    }
    // Sends enter and drop to target, as the window system does, then lets
    // the posted drop intake run; returns whether the drop was accepted.
    static bool DropOn(QWidget* target, const std::unique_ptr<QMimeData>& data) {
        const QMimeData* mime = data.get();
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, mime,
                              Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, mime,
                        Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        const bool accepted = drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
        Settle();
        return accepted;
    }
    // A path written on D:, moved to the drive under test (another letter on
    // Windows, where the fixture maps a free one).
    tw::String OnDrive(std::u16string_view path) const {
        if (path.substr(0, 2) == u"D:") return Drive() + tw::String(path.substr(2));
        return tw::String(path);
    }

    // The history file as the operator's earlier runs left it. Tidewell for
    // Windows creates it in UTF-16 (with its byte-order mark), so there the
    // text is written so too; on Linux as it is, in UTF-8.
    void WriteHistory(std::string_view utf8) {
#ifdef _WIN32
        const std::string bytes = "\xFF\xFE" + Utf16Le(tw::FromUtf8(utf8));
#else
        const std::string_view bytes = utf8;
#endif
        std::ofstream out(tw::HostPathOf(tw::HistoryIniPath), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good()) << "cannot write the history file";
    }

    // The item at rel on the drive as a file manager names it in a drag:
    // on Linux its host path, which the drive table turns into D:\...; on
    // Windows, where drives are real, its own path.
    std::string Dropped(std::u16string_view rel) const {
#ifdef _WIN32
        return U8(Path(rel));
#else
        return Host(rel);
#endif
    }
    // A real drop of Windows paths on the drive onto the grid.
    bool Drop(const std::vector<std::u16string_view>& rels) {
        std::vector<std::string> items;
        for (auto rel : rels) items.push_back(Dropped(rel));
        return DropOn(Grid()->viewport(), Mime(items));
    }

    // From now on the history file cannot be written, root or not: on Linux
    // C: leads below a regular file; on Windows a folder stands where the
    // file would be.
    void BlockHistory() {
#ifdef _WIN32
        std::error_code error;
        std::filesystem::remove(HistoryFile(), error);
        ASSERT_TRUE(std::filesystem::create_directory(HistoryFile(), error)) << error.message();
#else
        WriteFile(u"blocker", "not a folder");
        ASSERT_TRUE(tw::MapDrive(u"C:", Host(u"blocker") + "/drive_c"));
#endif
    }

    // Lets everything queued run, including what queued events queue.
    static void Settle() {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
    }

private:
#ifdef _WIN32
    // On Windows the history file is C:\Tidewell.ini on the system's own
    // drive (under the test runner, the build folder's private Wine prefix).
    // Each test starts without one; a file that was there is set aside and
    // put back afterwards.
    static std::filesystem::path HistoryFile() {
        return std::wstring(tw::HistoryIniPath.begin(), tw::HistoryIniPath.end());
    }
    std::filesystem::path Aside() const {
        return HistoryFile().wstring() + L".test-" + std::to_wstring(GetCurrentProcessId());
    }
    void SetHistoryAside() {
        std::error_code error;
        if (std::filesystem::exists(HistoryFile(), error)) std::filesystem::rename(HistoryFile(), Aside(), error);
        ASSERT_FALSE(error) << "cannot set " << HistoryFile().string() << " aside: " << error.message();
        historyAside_ = true;
    }
    void RestoreHistory() {
        if (!historyAside_) return;  // what is there is not the test's
        std::error_code error;
        std::filesystem::remove_all(HistoryFile(), error);
        if (std::filesystem::exists(Aside(), error)) std::filesystem::rename(Aside(), HistoryFile(), error);
        EXPECT_FALSE(error) << "cannot restore " << HistoryFile().string() << ": " << error.message();
    }
    bool historyAside_ = false;
#endif

    QStringList statuses_;
    std::unique_ptr<TForm1> form_;
    std::optional<TForm1Access> state_;
};

}  // namespace twtest
