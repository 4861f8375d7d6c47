// The application object: the message loop, plus the general error report
// for errors that escape an event handler.
#pragma once

#include <QApplication>
#include <utility>

class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);

    // Delivers every event. Our handlers catch at their own edge (Guarded);
    // this catch is only a last resort where Qt itself passes exceptions on
    // (Linux): the error is shown in a modal error box and the loop goes on
    // with the next event. Qt for Windows cannot pass them on at all.
    bool notify(QObject* receiver, QEvent* event) override;
};

// The text of the error that is being handled. Call it only inside a catch
// block.
QString CurrentErrorText();

// Shows the error that is being handled in a modal error box. Call it only
// inside a catch block.
void ShowCurrentException();

// Runs one event handler of ours. An error it raises is shown by the general
// error report here, at the handler's edge: it never unwinds through Qt's
// own frames (the Windows build of Qt has no exception support at all).
template <class F>
void Guarded(F&& handler) noexcept {
    try {
        std::forward<F>(handler)();
    } catch (...) {
        try {
            ShowCurrentException();
        } catch (...) {
            // Nothing sensible is left to do if even the report fails.
        }
    }
}
