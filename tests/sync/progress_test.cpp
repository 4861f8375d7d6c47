// The progress position: the quotient first, both steps rounded to a 64-bit
// significand, then truncated; the same numbers on every compiler.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <random>

#include "sync/progress.h"

namespace {

TEST(ProgressPosition, Table) {
    struct Case {
        std::uint64_t done, total, position;
    };
    const Case cases[] = {
        // Two files into three directories, file by file.
        {1, 6, 16}, {2, 6, 33}, {3, 6, 50}, {4, 6, 66}, {5, 6, 83}, {6, 6, 100},
        {1, 3, 33}, {2, 3, 66}, {3, 3, 100}, {1, 1, 100},
        // Pairs where a plain double gives another number: one step lower
        // (29/100 * 100 is 28.999... in double, 29 in extended) ...
        {29, 100, 29}, {57, 100, 57}, {58, 100, 58}, {29, 50, 58}, {87, 150, 58}, {58, 200, 29},
        // ... and one step higher (53/100 * 100 is 53 in double, 52.999...
        // in extended).
        {53, 100, 52}, {59, 100, 58}, {106, 200, 52}, {118, 200, 58}, {159, 300, 52},
        // Never rounded up, however close.
        {999999, 1000000, 99}, {1, 1000000000, 0},
        // More done than total (the selection shrank under the run).
        {7, 6, 116},
        // Counts beyond 32 bits.
        {std::uint64_t{1} << 40, std::uint64_t{1} << 41, 50},
        {UINT64_MAX, UINT64_MAX, 100},
        {UINT64_MAX - 1, UINT64_MAX, 99},
        {1, UINT64_MAX, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tw::ProgressPosition(c.done, c.total), c.position) << c.done << " / " << c.total;
    }
}

#if LDBL_MANT_DIG == 64 && !defined(_WIN32)
// Where long double is the x87 extended format (and its control word is the
// default, as on Linux), the integer code must agree with the hardware.
TEST(ProgressPosition, AgreesWithExtendedHardware) {
    const auto hardware = [](std::uint64_t done, std::uint64_t total) {
        const long double quotient = static_cast<long double>(done) / static_cast<long double>(total);
        return static_cast<std::uint64_t>(quotient * 100.0L);
    };
    for (std::uint64_t total = 1; total <= 700; ++total)
        for (std::uint64_t done = 1; done <= total; ++done)
            ASSERT_EQ(tw::ProgressPosition(done, total), hardware(done, total)) << done << " / " << total;

    std::mt19937_64 random(20261210);
    for (int i = 0; i < 200000; ++i) {
        const std::uint64_t total = (random() >> (random() % 64)) | 1;
        const std::uint64_t done = (random() >> (random() % 64)) | 1;
        const long double position = static_cast<long double>(done) / static_cast<long double>(total) * 100.0L;
        if (position >= 1.8e19L) continue;
        ASSERT_EQ(tw::ProgressPosition(done, total), hardware(done, total)) << done << " / " << total;
    }
}
#endif

}  // namespace
