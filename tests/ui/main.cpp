#include "ui/QmlSetup.h"
#include "ui/StringTable.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdio>

// The views need a GUI application (the file dialogs a widget one) on the
// main thread; the model delivers a run's end through its event loop.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("PICTAVO_PRINT_TABLE_LANGUAGE")) {
        // Asked by a translation test: which table the user's settings choose.
        const pictavo::StringTable table;
        std::printf("table language: %s\n", qPrintable(QLocale::languageToCode(table.language())));
        return 0;
    }
    pictavo::prepareQuick();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
