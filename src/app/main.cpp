// Program entry: application object, main window, message loop.
#include "app/application.h"
#include "app/unit1.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    TApplication application(argc, argv);
    // The main window owns the task-bar button: it is the only top-level
    // window, and closing it ends the message loop.
    application.setQuitOnLastWindowClosed(true);
    // The drive table's extra drives (Linux), read once before the window
    // needs them. Entries that cannot be used are shown by the general error
    // report, and the window opens all the same.
    Guarded([] { tw::LoadDrivesFromProfile(u"C:\\Tidewell.ini"); });
    TForm1 Form1;
    Form1.show();
    return application.exec();
}
