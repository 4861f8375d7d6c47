// Entry of the window tests: one application object for the whole run,
// created before the first test and destroyed before the program exits (a
// static one would outlive Qt's own globals and crash at exit).
#include <gtest/gtest.h>

#include <QByteArray>

#include "app/application.h"

int main(int argc, char** argv) {
    // The tests need no display; a run by hand behaves like one under CTest.
    // Qt for Windows has no offscreen platform: minimal, with the system's fonts.
#ifdef _WIN32
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "minimal:enable_fonts");
#else
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    ::testing::InitGoogleTest(&argc, argv);
    TApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
