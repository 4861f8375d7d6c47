// Test fixture: a drive of its own on a fresh temporary folder, and a compact
// way to build a tree of folders and files on it.
//
// On Linux the drive table maps D: (and C:) to temporary host folders for the
// test's lifetime. On Windows the fixture maps two free drive letters (D:
// when it is free) to temporary folders, with DefineDosDevice or, under Wine,
// Wine's mount manager, so that drive-root behaviour can be tested too; C: is
// the system's own there, so tests name the drives by Drive() and CDrive().
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace twtest {

class TempDrive : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The drive under test, e.g. "D:" (no trailing backslash).
    const tw::String& Drive() const { return drive_; }
    // Drive() + "\" + rel; rel uses '\' between names.
    tw::String Path(std::u16string_view rel) const;
    // The host path of Path(rel), for host-side checks.
    std::string Host(std::u16string_view rel) const;

    // The per-test C: drive (Linux: a temporary folder; Windows: a temporary
    // folder mapped to a free letter) for history-file tests.
    const tw::String& CDrive() const { return cdrive_; }

    // Builds a tree below the drive root. One entry per line, blanks around
    // it ignored, empty lines skipped:
    //   S1\Mir200\Envir\          a folder (trailing '\')
    //   S1\Config.ini=[Config]|GameName=Game   a file; '|' stands for CR LF
    //   S1\a.txt                  an empty file
    void Build(std::u16string_view description);

    void MakeDir(std::u16string_view rel);
    void WriteFile(std::u16string_view rel, std::string_view bytes);
    std::string ReadFile(std::u16string_view rel) const;
    bool Exists(std::u16string_view rel) const;
    // Sets the last-write time: seconds since the Unix epoch, UTC, plus nanoseconds.
    void SetMTime(std::u16string_view rel, std::int64_t unixSeconds, std::int64_t nanos = 0);
    // Seconds since the Unix epoch of a local wall-clock time.
    static std::int64_t LocalTime(int year, int month, int day, int hour, int minute, int second);
    // Windows: sets the hidden attribute. Linux: an entry is hidden when its
    // name begins with '.', so a portable test names it that way and calls
    // this as well (it checks the name).
    void SetHidden(std::u16string_view rel);
    // Linux: clears or sets the owner's write bit (root still writes; the
    // platform layer reads the bit, not the permission).
    void SetReadOnly(std::u16string_view rel, bool readOnly);

private:
    tw::String drive_;
    tw::String cdrive_;
    std::string hostRoot_;
    std::string hostCRoot_;
};

// Windows-form literal helper: W("D:\\S1") reads better than u"D:\\S1" in tables.
inline tw::String W(std::u16string_view text) { return tw::String(text); }
std::string U8(std::u16string_view text);
// text as UTF-16LE bytes, without a byte-order mark.
std::string Utf16Le(std::u16string_view text);

}  // namespace twtest
