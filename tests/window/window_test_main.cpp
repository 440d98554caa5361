// The window tests build real widgets, so a QApplication exists before any test runs, also when
// ctest only lists the tests. Without a display they draw offscreen.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char *argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false); // one window closing must not end the run
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
