#include <QCoreApplication>

#include <gtest/gtest.h>

// The model delivers a run's end through the event loop, so the tests need
// an application object on the main thread.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
