#include <gst/gst.h>
#include <gtest/gtest.h>

#include <QApplication>

#include "tests/support/TestEnvironment.h"

int main(int argc, char** argv) {
    kolvane::test::SetUpIsolatedEnvironment();
    kolvane::test::FreezeMediaRegistry();
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (CTest discovery) needs neither Qt nor GStreamer.
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    gst_init(&argc, &argv);
    const int result = RUN_ALL_TESTS();
    return result;
}
