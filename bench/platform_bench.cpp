// Costs of the Linux platform layer's path walk: a dropped folder full of
// links to the next level, a lookup and a copy into a folder of 100,000
// entries, and folder creation, lookup, copy and listing 1,000 levels deep.
//
//   platform_bench [work-folder]
//
// The work folder (default: <temp>/tidewell-platform-bench) is rebuilt on
// every run. Each figure is the best of three runs.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "discovery/drop.h"
#include "platform/platform.h"

#ifdef _WIN32
int main() {
    std::puts("platform_bench measures the Linux drive table and runs on Linux only.");
    return 0;
}
#else

namespace fs = std::filesystem;

namespace {

double BestOfThree(const std::function<void()>& setup, const std::function<void()>& run) {
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        if (setup) setup();
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        if (took.count() < best) best = took.count();
    }
    return best;
}

void Touch(const fs::path& p, const char* text = "x") { std::ofstream(p) << text; }

}  // namespace

int main(int argc, char** argv) {
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tidewell-platform-bench";
    fs::remove_all(work);
    fs::create_directories(work);
    tw::MapDrive(u"D:", work.string());
    Touch(work / "src.txt", "new contents");

    // Each level holds one file and two links to the next level.
    constexpr int kLevels = 16;
    for (int k = 0; k < kLevels; ++k) {
        const fs::path level = work / "fan" / ("L" + std::to_string(k));
        fs::create_directories(level);
        Touch(level / "f.txt");
        if (k + 1 < kLevels) {
            fs::create_directory_symlink("../L" + std::to_string(k + 1), level / "a");
            fs::create_directory_symlink("../L" + std::to_string(k + 1), level / "b");
        }
    }
    std::size_t fanFiles = 0;
    const double fan = BestOfThree(nullptr, [&] {
        std::vector<tw::String> list;
        tw::CollectFiles(u"D:\\fan\\L0", list);
        fanFiles = list.size();
    });
    std::printf("link fanout, %d levels:               %10.2f ms (%zu files listed)\n", kLevels, fan, fanFiles);

    // 100,000 entries in one folder.
    const fs::path wide = work / "wide";
    fs::create_directories(wide);
    for (int i = 0; i < 100000; ++i) Touch(wide / ("entry" + std::to_string(i) + ".txt"), "");
    const double miss = BestOfThree(nullptr, [&] { (void)tw::IsFile(u"D:\\wide\\NEW.TXT"); });
    const double hit = BestOfThree(nullptr, [&] { (void)tw::IsFile(u"D:\\wide\\entry99999.txt"); });
    const double copyNew = BestOfThree([&] { fs::remove(wide / "new.txt"); },
                                       [&] { tw::CopyFileReplacing(u"D:\\src.txt", u"D:\\wide\\new.txt"); });
    std::printf("100,000 entries: lookup of a missing name %10.3f ms\n", miss);
    std::printf("100,000 entries: lookup of an existing one %9.3f ms\n", hit);
    // One file of a synchronisation run: the same-file test, then the copy.
    const double syncStep = BestOfThree([&] { fs::remove(wide / "new.txt"); }, [&] {
        if (!tw::IsSameFile(u"D:\\src.txt", u"D:\\wide\\new.txt"))
            tw::CopyFileReplacing(u"D:\\src.txt", u"D:\\wide\\new.txt");
    });
    std::printf("100,000 entries: copy of a new file       %10.3f ms\n", copyNew);
    std::printf("100,000 entries: same-file test and copy  %10.3f ms\n", syncStep);

    // 1,000 levels.
    tw::String deep = u"D:\\deep";
    for (int i = 0; i < 1000; ++i) deep += u"\\d";
    const double ensure = BestOfThree([&] { fs::remove_all(work / "deep"); },
                                      [&] { tw::EnsureDirectory(deep + u"\\"); });
    const double deepCopy = BestOfThree(nullptr, [&] { tw::CopyFileReplacing(u"D:\\src.txt", deep + u"\\f.txt"); });
    const double deepLookup = BestOfThree(nullptr, [&] { (void)tw::IsFile(deep + u"\\f.txt"); });
    std::printf("1,000 levels: EnsureDirectory (all new)  %10.2f ms\n", ensure);
    std::printf("1,000 levels: copy of a file             %10.2f ms\n", deepCopy);
    std::size_t deepFiles = 0;
    const double deepList = BestOfThree(nullptr, [&] {
        std::vector<tw::String> list;
        tw::CollectFiles(u"D:\\deep", list);
        deepFiles = list.size();
    });
    // A link at the bottom that climbs back up all 1,000 levels.
    std::string climb;
    for (int i = 0; i < 1000; ++i) climb += "../";
    fs::path bottom = work / "deep";
    for (int i = 0; i < 1000; ++i) bottom /= "d";
    fs::create_directory_symlink(climb, bottom / "up");
    const double climbLookup = BestOfThree(nullptr, [&] { (void)tw::IsDirectory(deep + u"\\up\\d"); });
    std::printf("1,000 levels: lookup of that file        %10.2f ms\n", deepLookup);
    std::printf("1,000 levels: listing of the tree        %10.2f ms (%zu files listed)\n", deepList, deepFiles);
    std::printf("1,000 levels: lookup through a link that climbs all of them %6.2f ms\n", climbLookup);

    fs::remove_all(work);
    return 0;
}
#endif
