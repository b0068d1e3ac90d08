#include "ui/QmlSetup.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The views need a GUI application on the main thread; the model delivers a run's end through its event loop.
int main(int argc, char** argv)
{
    // Windows are drawn off screen, so the tests (and their listing) need no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The user's folders are a scratch folder's: nothing the tests do reaches the real ones, and what they would
    // keep there can be seen.
    const QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    for (const char* folder : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
        qputenv(folder, (home.path() + u'/' + QLatin1String(folder)).toUtf8());
    QApplication app(argc, argv);
    pictavo::prepareQuick();
    // QML faults (a broken binding, a missing property) show only at run time, as warnings: each fails its test.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        // The offscreen platform cannot pass size limits on to a window manager.
        if (type != QtDebugMsg && type != QtInfoMsg && message != "This plugin does not support propagateSizeHints()")
            ADD_FAILURE() << message.toStdString();
    });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
