#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Windows are tested on the offscreen platform unless a test run asks for
    // a real display (QT_QPA_PLATFORM set by the caller, e.g. under Xvfb).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
