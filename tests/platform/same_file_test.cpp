// IsSameFile: one file reached through two paths, and everything that is not.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/platform.h"
#include "support/temp_drive.h"

namespace {

class SameFileTest : public twtest::TempDrive {};

TEST_F(SameFileTest, OneFileThroughTwoPaths) {
    Build(uR"(
        S1\Mir200\a.txt=a
        S1\Mir200\b.txt=a
        S2\Mir200\a.txt=a
    )");
    std::error_code linkError;
    std::filesystem::create_hard_link(Host(u"S1\\Mir200\\a.txt"), Host(u"S1\\Mir200\\hard.txt"), linkError);

    struct Case {
        const char16_t* a;
        const char16_t* b;
        bool same;
    };
    const Case cases[] = {
        {u"S1\\Mir200\\a.txt", u"S1\\Mir200\\a.txt", true},
#ifndef _WIN32
        // Windows ignores letter case itself (Wine only now and then, so
        // the row is left to Linux, where the drive table does it).
        {u"S1\\Mir200\\a.txt", u"s1\\MIR200\\A.TXT", true},
#endif
        {u"S1\\Mir200\\a.txt", u"S1\\.\\Mir200\\a.txt", true},  // another spelling
        {u"S1\\Mir200", u"S1\\Mir200\\", true},                 // folders too
        {u"S1\\Mir200\\a.txt", u"S1\\Mir200\\b.txt", false},    // same content only
        {u"S1\\Mir200\\a.txt", u"S2\\Mir200\\a.txt", false},
        {u"S1\\Mir200\\a.txt", u"S3\\Mir200\\a.txt", false},    // missing
        {u"S3\\a.txt", u"S3\\a.txt", false},                    // missing on both sides
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tw::IsSameFile(Path(c.a), Path(c.b)), c.same) << twtest::U8(c.a) << " / " << twtest::U8(c.b);
    }
    if (!linkError) {
        EXPECT_TRUE(tw::IsSameFile(Path(u"S1\\Mir200\\a.txt"), Path(u"S1\\Mir200\\hard.txt")));
    }
    EXPECT_FALSE(tw::IsSameFile(u"Q:\\nowhere\\a.txt", u"Q:\\nowhere\\a.txt"));
}

}  // namespace
