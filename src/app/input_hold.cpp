// TInputHold: a window's input held while a scan drains the queue.
#include "app/input_hold.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>

#include "app/application.h"

TInputHold::TInputHold(QWidget* window) : QObject(nullptr), window_(window) {}

TInputHold::~TInputHold() {
    if (depth_ > 0) qApp->removeEventFilter(this);
}

void TInputHold::Begin() {
    // Installed last, so it sees each event before every other filter.
    if (depth_++ == 0) qApp->installEventFilter(this);
}

void TInputHold::End() {
    if (depth_ == 0 || --depth_ > 0) return;
    qApp->removeEventFilter(this);
    std::vector<THeld> held;
    held.swap(held_);
    // Posted events keep their order; a held call is posted the same way, so
    // a drop made between two key presses still comes between them.
    for (THeld& item : held) {
        if (item.receiver.isNull()) continue;
        if (item.event) {
            QCoreApplication::postEvent(item.receiver, item.event.release());
        } else {
            QMetaObject::invokeMethod(item.receiver, std::move(item.call), Qt::QueuedConnection);
        }
    }
}

void TInputHold::RunOrHold(std::function<void()> call) {
    if (!Holding()) {
        call();
        return;
    }
    held_.push_back({QPointer<QObject>(window_), nullptr, std::move(call)});
}

bool TInputHold::IsOurs(QObject* watched) const {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr) return false;
    QWidget* top = widget->window();
    if (top == window_) return true;
    // A box's open list is a window of its own, parented to the box. Dialogs
    // (an error box shown meanwhile) must stay usable, so only popups count.
    if (!top->windowFlags().testFlag(Qt::Popup)) return false;
    for (QWidget* w = top->parentWidget(); w != nullptr; w = w->parentWidget()) {
        if (w == window_) return true;
    }
    return false;
}

bool TInputHold::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::InputMethod:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            break;
        default:
            return false;
    }
    // Guarded: an event filter is called from Qt's own frames.
    bool held = false;
    Guarded([&] {
        if (!IsOurs(watched)) return;
        held_.push_back({QPointer<QObject>(watched), std::unique_ptr<QEvent>(event->clone()), {}});
        held = true;
    });
    return held;
}
