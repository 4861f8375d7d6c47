// Hashing speed and scan-sized searches and compares, measured beside
// `openssl md5` and `md5sum` on the same files in the same run: one large
// file through the scalar digest, the multi-buffer digest per instruction
// set on data in memory, and two scans (200 installations with a 1 MiB
// counterpart each, 50 with 20 MiB) per instruction set.
//
//   compare_bench [work-folder]
//
// The work folder (default: <temp>/tidewell-bench) keeps the 512 MiB file and
// the installations between runs; they are created on the first run.
// Every figure is the best of five runs with the page cache warm.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "compare/compare_info.h"
#include "compare/md5.h"
#include "compare/md5_multi.h"
#include "discovery/server_search.h"
#include "platform/platform.h"

#ifdef _WIN32
int main()
{
    std::puts("compare_bench compares against openssl and md5sum and runs on Linux only.");
    return 0;
}
#else

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kLargeSize = 512ull << 20;
constexpr int kRuns = 5;

// Seconds one call of run takes.
double Time(const std::function<void()>& run)
{
    const auto start = std::chrono::steady_clock::now();
    run();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return took.count();
}

// The best of kRuns rounds for each of the contenders. The rounds alternate
// between them, so that a slow spell of the machine does not fall on one only.
std::vector<double> BestOf(const std::vector<std::function<void()>>& contenders)
{
    std::vector<double> best(contenders.size(), 1e300);
    for (int round = 0; round < kRuns; ++round)
        for (std::size_t i = 0; i < contenders.size(); ++i)
            best[i] = std::min(best[i], Time(contenders[i]));
    return best;
}

std::string Quote(const std::string& path)
{
    return "'" + path + "'";
}

// Runs command through the shell; its standard output, or nothing when it failed.
bool Capture(const std::string& command, std::string* out)
{
    FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return false;
    std::string text;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, got);
    const int status = ::pclose(pipe);
    if (out)
        *out = std::move(text);
    return status == 0;
}

bool HaveTool(const char* name)
{
    return Capture(std::string("command -v ") + name, nullptr);
}

// Pseudo-random bytes, different for every seed.
void Fill(std::vector<char>& bytes, std::uint64_t seed)
{
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        std::memcpy(bytes.data() + i, &x, 8);
    }
}

void WriteBytes(const fs::path& path, std::uintmax_t size, std::uint64_t seed)
{
    std::vector<char> chunk(std::min<std::uintmax_t>(size, 1 << 20));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::uintmax_t done = 0; done < size; done += chunk.size()) {
        Fill(chunk, seed + done);
        out.write(chunk.data(), static_cast<std::streamsize>(std::min<std::uintmax_t>(chunk.size(), size - done)));
    }
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

void ReadThrough(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    }
}

std::string InstallationName(int i)
{
    char name[16];
    std::snprintf(name, sizeof name, "S%03d", i + 1);
    return name;
}

void MakeInstallations(const fs::path& root, int count, std::uintmax_t size)
{
    const fs::path marker = root / ".complete";
    if (fs::exists(marker))
        return;
    fs::remove_all(root);
    for (int i = 0; i < count; ++i) {
        const fs::path dir = root / InstallationName(i);
        fs::create_directories(dir / "Mir200" / "Envir");
        std::ofstream(dir / "Config.ini", std::ios::binary)
            << "[Config]\r\nGameName=Game" << i + 1 << "\r\n";
        WriteBytes(dir / "Mir200" / "Envir" / "data.bin", size, 1000 + i);
    }
    std::ofstream(marker) << "ok\n";
}

void Row(const std::string& what, double seconds, double bytes)
{
    std::printf("  %-46s %9.1f ms %9.1f MiB/s\n", what.c_str(), seconds * 1e3,
                bytes / seconds / (1 << 20));
}

// Yields the same 4096 bytes until size bytes have gone: the multi-buffer
// digest without the file system.
class RepeatStream : public tw::TFileStream {
public:
    RepeatStream(const std::vector<char>& block, std::uintmax_t size) : block_(block), left_(size) {}
    std::size_t Read(void* buffer, std::size_t count) override
    {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uintmax_t>({count, block_.size(), left_}));
        std::memcpy(buffer, block_.data(), n);
        left_ -= n;
        return n;
    }

private:
    const std::vector<char>& block_;
    std::uintmax_t left_;
};

// A scan of count installations below drive (one host folder each, made on
// the first run), the drop coming from the first: the search, the first
// file, then the records, one by one as before and batched per instruction
// set, each beside md5sum over the same counterparts in the same rounds.
bool Scan(const fs::path& root, const tw::String& drive, int count, std::uintmax_t size,
          bool haveMd5sum)
{
    MakeInstallations(root, count, size);
    if (!tw::MapDrive(drive, fs::absolute(root).string())) {
        std::fprintf(stderr, "cannot map the bench drive for %s\n", root.c_str());
        return false;
    }
    const std::vector<tw::String> dropped = {drive + u"\\S001\\Mir200\\Envir\\data.bin"};
    const tw::String prefix = drive + u"\\S001\\";
    const std::vector<tw::TMD5Kernel> kernels = tw::AvailableMD5Kernels();

    std::vector<std::vector<tw::TFileCompareInfo>> results(1 + kernels.size());
    auto scan = [&](int how) {  // -2: nothing hashed; -1: one by one; else the kernel's index
        std::vector<tw::String> found;
        tw::SearchServerDirs(drive, u"", prefix, found);
        if (how == -2) {  // the search and every look-up, no counterpart hashed
            std::vector<tw::TFileCompareInfo> infos;
            tw::BuildCompareInfos(found, infos, dropped, prefix, tw::TFileCompareInfo{});
            return;
        }
        const tw::TFileCompareInfo first = tw::LoadFirstFileInfo(dropped);
        std::vector<tw::TFileCompareInfo>& infos = results[static_cast<std::size_t>(how + 1)];
        infos.clear();
        if (how < 0) {
            for (const tw::String& dir : found) {
                tw::TFileCompareInfo info;
                tw::BuildCompareInfo(dir, info, dropped, prefix, first);
                infos.push_back(std::move(info));
            }
        } else {
            tw::BuildCompareInfos(found, infos, dropped, prefix, first,
                                  kernels[static_cast<std::size_t>(how)]);
        }
    };
    std::string files;
    for (int i = 0; i < count; ++i)
        files += " " + Quote((root / InstallationName(i) / "Mir200" / "Envir" / "data.bin").string());
    scan(-1);  // warms the cache for every file of the scan

    std::string md5sumOut;
    std::vector<std::function<void()>> contenders;
    if (haveMd5sum)
        contenders.push_back([&] { Capture("md5sum" + files, &md5sumOut); });
    for (int how = -1; how < static_cast<int>(kernels.size()); ++how)
        contenders.push_back([&scan, how] { scan(how); });
    contenders.push_back([&scan] { scan(-2); });
    const std::vector<double> t = BestOf(contenders);
    const std::size_t first = haveMd5sum ? 1 : 0;

    const double bytes = static_cast<double>(count) * static_cast<double>(size);
    std::printf("Scan of %d installations (Config.ini + %ju MiB counterpart each), best of %d:\n",
                count, size >> 20, kRuns);
    if (haveMd5sum)
        Row("md5sum over the same " + std::to_string(count) + " files", t[0], bytes);
    else
        std::printf("  md5sum: not installed, column skipped\n");
    const std::vector<tw::TFileCompareInfo>& reference = results[0];
    std::size_t differing = 0;
    for (const tw::TFileCompareInfo& info : reference)
        differing += info.FileExists && !info.IsSameMD5 && info.MD5Hash.size() == 32;
    for (std::size_t i = 0; i <= kernels.size(); ++i) {
        const std::string what = i == 0 ? std::string("one by one, scalar digest (before)")
                                        : std::string("batched, ") + tw::MD5KernelName(kernels[i - 1]) +
                                              " (" + std::to_string(tw::MD5KernelLanes(kernels[i - 1])) +
                                              " lanes)";
        Row(what, t[first + i], bytes);
        if (haveMd5sum)
            std::printf("  %-46s %9.2fx the time of md5sum%s\n", "", t[first + i] / t[0],
                        i == kernels.size() ? " (target <= 0.35)" : "");
        if (results[i] != reference) {
            std::fprintf(stderr, "  records differ from the one-by-one scan\n");
            return false;
        }
    }
    std::printf("  (%zu installations compared, %zu with a differing digest)\n", reference.size(),
                differing);
    std::printf("  of which: the search and look-ups alone %13.1f ms\n", t.back() * 1e3);
    return reference.size() == static_cast<std::size_t>(count - 1);  // all but the drop's own
}

}  // namespace

int main(int argc, char** argv)
{
    const fs::path work = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "tidewell-bench";
    fs::create_directories(work);
    const fs::path large = work / "large.bin";
    if (!fs::exists(large) || fs::file_size(large) != kLargeSize) {
        std::printf("creating %s (512 MiB)...\n", large.c_str());
        WriteBytes(large, kLargeSize, 1);
    }
    if (!tw::MapDrive(u"T:", fs::absolute(work).string())) {
        std::fprintf(stderr, "cannot map the bench drives\n");
        return 1;
    }

    const bool haveOpenssl = HaveTool("openssl");
    const bool haveMd5sum = HaveTool("md5sum");

    // 1. One large cached file, with where our time goes: the digest alone
    // on data in memory, and the 4096-byte reads alone without hashing.
    ReadThrough(large);
    const double mib = static_cast<double>(kLargeSize);
    std::string ours, opensslOut, md5sumOut;
    std::vector<char> block(4096);
    Fill(block, 7);
    std::vector<std::function<void()>> contenders = {
        [&] { ours = tw::ToUtf8(tw::GetFileMD5(u"T:\\large.bin")); },
        [&] {
            tw::TMD5 md5;
            for (std::uintmax_t done = 0; done < kLargeSize; done += block.size())
                md5.Update(block.data(), block.size());
            md5.Final();
        },
        [&] {
            const auto stream = tw::OpenForReading(u"T:\\large.bin");
            while (stream->Read(block.data(), block.size()) != 0) {
            }
        },
    };
    if (haveOpenssl)
        contenders.push_back([&] { Capture("openssl md5 " + Quote(large.string()), &opensslOut); });
    if (haveMd5sum)
        contenders.push_back([&] { Capture("md5sum " + Quote(large.string()), &md5sumOut); });
    const std::vector<double> t = BestOf(contenders);
    const double tOurs = t[0];
    const double tOpenssl = haveOpenssl ? t[3] : 0;
    const double tMd5sum = haveMd5sum ? t.back() : 0;

    std::printf("MD5 of a 512 MiB cached file, best of %d:\n", kRuns);
    Row("tw::GetFileMD5", tOurs, mib);
    Row("  of which: MD5 of the same amount in memory", t[1], mib);
    Row("  of which: the 4096-byte reads alone", t[2], mib);
    if (ours.size() != 32) {
        std::fprintf(stderr, "GetFileMD5 gave no digest\n");
        return 1;
    }
    if (haveOpenssl) {
        Row("openssl md5", tOpenssl, mib);
        if (opensslOut.find(ours) == std::string::npos)
            std::fprintf(stderr, "  digest differs from openssl: %s", opensslOut.c_str());
    } else {
        std::printf("  openssl md5: not installed, column skipped\n");
    }
    if (haveMd5sum) {
        Row("md5sum", tMd5sum, mib);
        if (md5sumOut.compare(0, 32, ours) != 0)
            std::fprintf(stderr, "  digest differs from md5sum: %s", md5sumOut.c_str());
    } else {
        std::printf("  md5sum: not installed, column skipped\n");
    }
    if (haveOpenssl)
        std::printf("  speed vs openssl md5: %.2fx (target >= 1.00)\n", tOpenssl / tOurs);
    if (haveMd5sum)
        std::printf("  speed vs md5sum:      %.2fx (target >= 1.00)\n", tMd5sum / tOurs);

    // 2. The multi-buffer digest per instruction set, on data in memory:
    // every lane busy with a 64 MiB stream.
    std::printf("Multi-buffer MD5 in memory, best of %d:\n", kRuns);
    for (tw::TMD5Kernel kernel : tw::AvailableMD5Kernels()) {
        const std::size_t lanes = tw::MD5KernelLanes(kernel);
        const std::uintmax_t each = 64ull << 20;
        const double tk = BestOf({[&] {
            tw::MD5OfStreams(
                lanes, [&](std::size_t) { return std::make_unique<RepeatStream>(block, each); },
                kernel);
        }})[0];
        Row(std::string(tw::MD5KernelName(kernel)) + ", " + std::to_string(lanes) + " x 64 MiB", tk,
            static_cast<double>(each) * static_cast<double>(lanes));
    }

    // 3. Scans: many installations with small counterparts, few with large.
    if (!Scan(work / "scan", u"S:", 200, 1 << 20, haveMd5sum) ||
        !Scan(work / "scan-large", u"L:", 50, 20 << 20, haveMd5sum))
        return 1;
    return 0;
}
#endif
