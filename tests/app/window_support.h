// Helpers shared by the window tests.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace twtest {

// The form's widget with the given objectName; fails the test when missing.
template <class T = QWidget>
T* Widget(const QWidget& form, const char* name) {
    T* widget = form.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

// What a modal error box showed while trigger() ran through the event loop.
struct TShownBox {
    bool shown = false;
    QString text;
    bool modal = false;
    bool onTop = false;  // parented to a window, or on top by itself
};

// Queues trigger() as an event, runs the loop until a message box has come up,
// reads it and answers it with OK. Gives up after a few seconds.
inline TShownBox AnswerErrorBox(const std::function<void()>& trigger) {
    TShownBox result;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box == nullptr || !box->isVisible()) continue;
            result.shown = true;
            result.text = box->text();
            result.modal = box->isModal();
            result.onTop = box->parentWidget() != nullptr ||
                           box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            box->accept();
            closer.stop();
        }
    });
    closer.start(10);
    QTimer::singleShot(0, qApp, trigger);
    for (int i = 0; i < 300 && closer.isActive(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    closer.stop();
    return result;
}

}  // namespace twtest
