#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Tests never need a display; rendering works on the offscreen platform.
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
