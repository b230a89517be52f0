// main() for test programs that need widgets: one QApplication on the stack
// (a function-local static one crashes at exit), offscreen unless told otherwise
// (on Windows the real platform, under wine on a virtual display),
// and a guard that fails a test which leaves a modal window waiting.
#include "ModalGuard.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
#ifndef _WIN32
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
    QApplication app(argc, argv);
    ModalGuard guard;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
