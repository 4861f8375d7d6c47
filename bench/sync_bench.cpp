// The synchronisation run through the window code (offscreen): a drop, a
// click on the sync button, the copies; each case beside the shell's cp and
// md5sum doing the same work in the same run, and the run's peak memory for
// a small and a large file. Through the window rather than the Qt-free loop,
// because what the window does per file (status text, progress bar, queue
// drain, the refreshed row) is part of what the operator waits for.
//
//   QT_QPA_PLATFORM=offscreen sync_bench [parent-folder [one|folder|memory]...]
//
// The work folder, tidewell-sync-bench below the parent folder (default: the
// temporary folder), holds one case at a time (at most about 3.1 GiB) and is
// removed at the end. Naming cases runs only those. Best of three, cache
// warm; the disk is flushed (sync) before every timed part, so that no part
// pays for the writing-back of another.
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/unit1.h"
#include "discovery/drop.h"
#include "platform/platform.h"

#ifdef _WIN32
int main() {
    std::puts("sync_bench compares against cp and md5sum and runs on Linux only.");
    return 0;
}
#else

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 3;

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "sync_bench: %s\n", why.c_str());
    std::exit(1);
}

void Shell(const std::string& command) {
    if (std::system(command.c_str()) != 0) Fail("failed: " + command);
}

double TimeShell(const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    Shell(command);
    return Seconds(start);
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

// size pseudo-random bytes (no two seeds alike), written in 1 MiB pieces so
// that a large file needs no large buffer.
void WriteBytes(const fs::path& path, std::uintmax_t size, std::uint64_t seed) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> piece(std::min<std::uintmax_t>(size, 1 << 20));
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::uintmax_t left = size; left > 0;) {
        for (std::size_t i = 0; i + 8 <= piece.size(); i += 8) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            std::memcpy(piece.data() + i, &x, 8);
        }
        const std::size_t n = static_cast<std::size_t>(std::min<std::uintmax_t>(left, piece.size()));
        out.write(piece.data(), static_cast<std::streamsize>(n));
        left -= n;
    }
    if (!out) Fail("cannot write " + path.string());
}

std::string Name(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "S%04d", i);
    return name;
}

// Installations S0000 (the one the files are dropped from) to S<count>, each
// with a Config.ini and a Mir200\Envir folder.
void MakeInstallations(const fs::path& root, int count) {
    fs::remove_all(root);
    for (int i = 0; i <= count; ++i) {
        fs::create_directories(root / Name(i) / "Mir200" / "Envir");
        std::ofstream(root / Name(i) / "Config.ini", std::ios::binary)
            << "[Config]\r\nGameName=Game" << i << "\r\n";
    }
}

// The window, offscreen, with the drive S: on the case's folder. Records
// the status texts so that a run's outcome can be checked.
struct TWindow {
    TForm1 form;
    QPushButton* sync = nullptr;
    QString lastStatus;

    TWindow() {
        form.show();
        QApplication::processEvents();
        sync = form.findChild<QPushButton*>(QStringLiteral("btnSync"));
        QObject::connect(&form, &TForm1::StatusShown, [this](const QString& text) { lastStatus = text; });
    }

    void Drop(const tw::String& path, int installations) {
        form.WMDropFiles({path});
        if (!lastStatus.startsWith(QStringLiteral("找到 %1 个目录").arg(installations)))
            Fail("drop scan: " + lastStatus.toStdString());
    }

    // One click on the sync button, as the operator makes it; its seconds.
    double Click(int copies) {
        const auto start = std::chrono::steady_clock::now();
        sync->click();
        const double took = Seconds(start);
        const QString done = QStringLiteral("同步完成！成功: %1, 失败: 0").arg(copies);
        if (lastStatus != done) Fail("run: " + lastStatus.toStdString());
        return took;
    }
};

struct TFigure {
    double tidewell = 1e300;
    double reference = 1e300;
};

// A warm-up round, then kRuns rounds of the click and the reference, each
// after a flush of the disk; the best of each.
TFigure Measure(TWindow& window, int copies, const std::string& reference) {
    TFigure figure;
    for (int round = 0; round <= kRuns; ++round) {
        Shell("sync");
        const double ours = window.Click(copies);
        Shell("sync");
        const double theirs = TimeShell(reference);
        if (round > 0) {
            figure.tidewell = std::min(figure.tidewell, ours);
            figure.reference = std::min(figure.reference, theirs);
        }
    }
    return figure;
}

void Report(const char* what, const TFigure& f, double target) {
    std::printf("  %s: Tidewell %8.1f ms   cp + md5sum %8.1f ms   %.2fx their time (target <= %.2f)\n", what,
                f.tidewell * 1e3, f.reference * 1e3, f.tidewell / f.reference, target);
}

// One 10 MiB file into 200 installations, each holding an older copy.
TFigure OneFileIntoMany(const fs::path& root) {
    constexpr int kInstallations = 200;
    MakeInstallations(root, kInstallations);
    const fs::path source = root / Name(0) / "Mir200" / "Envir" / "data.bin";
    WriteBytes(source, 10 << 20, 1);
    std::string cp;
    std::string md5sum = "md5sum";
    for (int i = 1; i <= kInstallations; ++i) {
        const fs::path target = root / Name(i) / "Mir200" / "Envir" / "data.bin";
        WriteBytes(target, 10 << 20, 1000 + i);
        cp += "cp --preserve=timestamps " + Quote(source) + " " + Quote(target) + "\n";
        md5sum += " " + Quote(target);
    }
    std::ofstream(root / "reference.sh") << cp << md5sum << " >/dev/null\n";

    TWindow window;
    window.Drop(u"S:\\S0000\\Mir200\\Envir\\data.bin", kInstallations);
    return Measure(window, kInstallations, "sh " + Quote(root / "reference.sh"));
}

// A folder of 2,000 files in 20 subfolders (the first file 4 MiB, the others
// 8 KiB) into 20 installations.
TFigure FolderIntoSome(const fs::path& root) {
    constexpr int kInstallations = 20;
    constexpr int kFolders = 20;
    constexpr int kFiles = 2000;
    MakeInstallations(root, kInstallations);
    const fs::path pack = root / Name(0) / "Mir200" / "Envir" / "pack";
    for (int k = 0; k < kFiles; ++k) {
        const fs::path folder = pack / ("m" + std::to_string(k % kFolders));
        fs::create_directories(folder);
        WriteBytes(folder / ("f" + std::to_string(k) + ".dat"), 8 << 10, 10 + k);
    }
    // The first file is the first one the drop lists.
    std::vector<tw::String> listed;
    tw::CollectFiles(u"S:\\S0000\\Mir200\\Envir\\pack", listed);
    if (listed.size() != kFiles) Fail("the folder lists " + std::to_string(listed.size()) + " files");
    const std::string first = tw::HostPathOf(listed[0]);
    const std::string firstRelative = first.substr((root / Name(0)).string().size() + 1);
    WriteBytes(first, 4 << 20, 5);

    std::string reference;
    std::string md5sum = "md5sum";
    for (int i = 1; i <= kInstallations; ++i) {
        reference += "cp -a " + Quote(pack) + " " + Quote(root / Name(i) / "Mir200" / "Envir") + "\n";
        md5sum += " " + Quote(root / Name(i) / firstRelative);
    }
    std::ofstream(root / "reference.sh") << reference << md5sum << " >/dev/null\n";

    TWindow window;
    window.Drop(u"S:\\S0000\\Mir200\\Envir\\pack", kInstallations);
    return Measure(window, kInstallations * kFiles, "sh " + Quote(root / "reference.sh"));
}

long PeakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// In a process of its own: one file of size bytes into two installations;
// prints the peak resident memory of the run (from the click to its end).
int MemoryChild(const fs::path& root, std::uintmax_t size) {
    MakeInstallations(root, 2);
    WriteBytes(root / Name(0) / "Mir200" / "Envir" / "data.bin", size, 7);
    TWindow window;
    window.Drop(u"S:\\S0000\\Mir200\\Envir\\data.bin", 2);
    // Start the peak afresh at the click: what is measured is the run's.
    std::ofstream("/proc/self/clear_refs") << "5\n";
    const long before = PeakKiB();
    window.Click(2);
    std::printf("%ld %ld\n", before, PeakKiB());
    fs::remove_all(root);
    return 0;
}

struct TPeak {
    long atClick = 0;
    long peak = 0;
};

TPeak MemoryOf(const char* self, const fs::path& root, std::uintmax_t size) {
    const std::string command = Quote(self) + " --memory " + std::to_string(size) + " " + Quote(root);
    FILE* pipe = ::popen(command.c_str(), "r");
    TPeak p;
    if (pipe == nullptr || std::fscanf(pipe, "%ld %ld", &p.atClick, &p.peak) != 2) Fail("memory child failed");
    if (::pclose(pipe) != 0) Fail("memory child failed");
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The memory case runs each size in a child process: --memory size folder.
    const bool child = argc == 4 && std::strcmp(argv[1], "--memory") == 0;
    const fs::path work = child       ? fs::path(argv[3])
                          : argc > 1 ? fs::path(argv[1]) / "tidewell-sync-bench"
                                     : fs::temp_directory_path() / "tidewell-sync-bench";
    TApplication application(argc, argv);
    QTemporaryDir cdrive;  // no history of the person running it
    tw::MapDrive(u"C:", QDir(cdrive.path()).absolutePath().toStdString());
    fs::create_directories(work);
    tw::MapDrive(u"S:", fs::absolute(work).string());
    if (child) return MemoryChild(work, std::stoull(argv[2]));

    // Cases named after the folder run alone: one, folder, memory.
    const auto wanted = [&](const char* name) {
        if (argc <= 2) return true;
        for (int i = 2; i < argc; ++i)
            if (std::strcmp(argv[i], name) == 0) return true;
        return false;
    };
    std::printf("Synchronisation run through the window, click to its end, best of %d:\n", kRuns);
    if (wanted("one")) Report("10 MiB file into 200 installations", OneFileIntoMany(work), 1.5);
    if (wanted("folder")) Report("2,000 files (one 4 MiB) into 20   ", FolderIntoSome(work), 2.0);
    fs::remove_all(work);
    if (!wanted("memory")) return 0;

    const TPeak small = MemoryOf(argv[0], work, 1 << 20);
    const TPeak large = MemoryOf(argv[0], work, 1ull << 30);
    std::printf("Peak resident memory of a run, one file into 2 installations:\n"
                "  1 MiB file: %ld KiB (%ld KiB at the click)\n"
                "  1 GiB file: %ld KiB (%ld KiB at the click), %+ld KiB against the 1 MiB file\n",
                small.peak, small.atClick, large.peak, large.atClick, large.peak - small.peak);
    fs::remove_all(work);
    return 0;
}
#endif
