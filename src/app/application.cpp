// The application object and its general error report.
#include "app/application.h"

#include <QMessageBox>
#include <exception>

#include "app/qt_text.h"
#include "platform/platform.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Tidewell"));
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // The handler's state stays as it was left; nothing is rolled back.
        ShowCurrentException();
        return false;
    }
}

QString CurrentErrorText() {
    try {
        throw;
    } catch (const tw::Exception& e) {
        return ToQString(e.Message());
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("发生未知错误");
    }
}

void ShowCurrentException() {
    const QString text = CurrentErrorText();
    // The main window stays on top of ordinary windows, so the box must too,
    // or it could open hidden behind it: parented to the active window, or,
    // when none is active, on top by itself.
    QWidget* owner = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Tidewell"), text, QMessageBox::Ok, owner);
    if (owner == nullptr) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}
