#include <QApplication>

#include <gtest/gtest.h>

// One main for every test program: it owns the QApplication that widget tests need,
// on the offscreen platform unless the caller chose another.
int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
