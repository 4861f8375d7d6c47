// Renders the main window as it looks right after start to a PNG file.
// Usage: render_window OUTPUT.png   (run with QT_QPA_PLATFORM=offscreen)
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

#include "app/application.h"
#include "app/unit1.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    TApplication application(argc, argv);
    // An empty C: drive, so that no history of the person rendering shows.
    QTemporaryDir cdrive;
    tw::MapDrive(u"C:", QDir(cdrive.path()).absolutePath().toStdString());

    TForm1 form;
    form.show();
    QApplication::processEvents();
    const QPixmap picture = form.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
