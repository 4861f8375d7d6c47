// Renders the main window as an operator sees it after a drop (a filled
// grid: identical, differing, missing counterparts) to a PNG file.
// Usage: render_window OUTPUT.png   (run with QT_QPA_PLATFORM=offscreen)
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

#include "app/application.h"
#include "app/unit1.h"
#include "platform/platform.h"

namespace {

void Write(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

// A drive of six installations; the file is dropped from the first.
void MakeDemoDrive(const QString& root) {
    struct Server {
        const char* folder;
        const char* game;
        const char* content;  // nullptr: no counterpart
        int ageDays;          // how much older than the dropped file
    };
    const Server servers[] = {
        {"一区", "热血传奇1.76", "new map data", 0}, {"二区", "热血传奇1.76", "new map data", 0},
        {"三区", "热血传奇1.76", "old", 30},         {"四区", "热血传奇1.85", nullptr, 0},
        {"五区", "复古传奇", "new map data, patched", -2}, {"测试服", "", "x", 0},
    };
    for (const Server& s : servers) {
        const QString dir = root + QLatin1Char('/') + QString::fromUtf8(s.folder);
        Write(dir + QStringLiteral("/Config.ini"),
              QByteArray("[Config]\r\nGameName=") + (*s.game ? s.game : "") +
                  "\r\n[GameConf]\r\nGameName=" + (*s.game ? "" : "Test") + "\r\n");
        if (!s.content) continue;
        const QString file = dir + QStringLiteral("/Mir200/Envir/MapInfo.txt");
        Write(file, s.content);
        QFile f(file);
        if (f.open(QIODevice::ReadWrite)) {
            f.setFileTime(QDateTime::currentDateTime().addDays(-s.ageDays),
                          QFileDevice::FileModificationTime);
        }
    }
    Write(root + QStringLiteral("/Config.ini"), "[Config]\r\nGameName=热血传奇1.76\r\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.png\n", argv[0]);
        return 2;
    }
    TApplication application(argc, argv);
    // An empty C: drive, so that no history of the person rendering shows,
    // and a demo D: drive.
    QTemporaryDir cdrive;
    QTemporaryDir ddrive;
    tw::MapDrive(u"C:", QDir(cdrive.path()).absolutePath().toStdString());
    tw::MapDrive(u"D:", QDir(ddrive.path()).absolutePath().toStdString());
    MakeDemoDrive(ddrive.path());

    TForm1 form;
    form.findChild<QComboBox*>(QStringLiteral("cbVersion"))->setEditText(QStringLiteral("1.76"));
    form.show();
    form.WMDropFiles({u"D:\\一区\\Mir200\\Envir\\MapInfo.txt"});
    QApplication::processEvents();
    const QPixmap picture = form.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
