#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);
    // Test discovery runs the binary without the test environment: answer before touching any display.
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // What the platform's test harness sets: models then leave their launch work to the test.
    setenv("XCTestConfigurationFilePath", "tessaron-tests", 0);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
