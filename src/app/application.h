// The application object: the message loop, plus the general error report
// for errors that escape an event handler.
#pragma once

#include <QApplication>

class TApplication : public QApplication {
    Q_OBJECT

public:
    TApplication(int& argc, char** argv);

    // Delivers every event; an exception escaping the receiver's handler is
    // shown in a modal error box and the loop goes on with the next event.
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows the error that is being handled in a modal error box. Call it only
// inside a catch block.
void ShowCurrentException();
