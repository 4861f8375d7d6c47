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

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/form_access.h"
#include "app/string_grid.h"
#include "app/unit1.h"
#include "support/temp_drive.h"
#include "window_support.h"

namespace twtest {

class FormTest : public TempDrive {
protected:
    void SetUp() override {
        TempDrive::SetUp();
        if (OpenOnSetUp()) Open();
    }
    void TearDown() override {
        Close();
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
    // A real drop of Windows paths on the drive onto the grid.
    bool Drop(const std::vector<std::u16string_view>& rels) {
        std::vector<std::string> hosts;
        for (auto rel : rels) hosts.push_back(Host(rel));
        return DropOn(Grid()->viewport(), Mime(hosts));
    }

    // Lets everything queued run, including what queued events queue.
    static void Settle() {
        for (int i = 0; i < 5; ++i) QApplication::processEvents();
    }

private:
    QStringList statuses_;
    std::unique_ptr<TForm1> form_;
    std::optional<TForm1Access> state_;
};

}  // namespace twtest
