#include "WindowHarness.h"

#include <QDir>
#include <QQmlComponent>
#include <QQmlEngine>

namespace pictavo::test {
namespace {

// The offscreen platform cannot pass size limits on to a window manager.
QStringList withoutPlatformNotes(QStringList warnings)
{
    warnings.removeAll(QStringLiteral("This plugin does not support propagateSizeHints()"));
    return warnings;
}

TEST(QmlFiles, EveryViewCompilesWithoutErrors)
{
    WarningCatcher catcher;
    QQmlEngine engine;
    addViewImportPath(engine);
    const QStringList files = QDir(QStringLiteral(":/qt/qml/Pictavo")).entryList({"*.qml"}, QDir::Files);
    EXPECT_GE(files.size(), 6);
    for (const QString& file : files) {
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Pictavo/") + file));
        EXPECT_TRUE(component.isReady()) << file.toStdString() << ": " << component.errorString().toStdString();
    }
    EXPECT_EQ(withoutPlatformNotes(catcher.warnings()), QStringList());
}

TEST(QmlFiles, TheWindowRunsThroughEveryStateWithoutWarnings)
{
    WarningCatcher catcher;
    {
        AppWindow app;
        app.model().setFiles(fileUrls({"/p/a.heic", "/p/b.heic"}));
        app.settle();
        app.model().setFormat(OutputFormat::png);
        app.settle();
        app.model().setUseCustomOutput(true);
        app.settle();
        app.model().setOutputDir(QUrl::fromLocalFile("/tmp/out"));
        app.model().setIsConverting(true);
        app.settle();
        app.model().setIsConverting(false);
        app.model().setResults({ConversionResult("/p/a.heic", "/tmp/out/a.png", std::nullopt),
                                ConversionResult("/p/b.heic", std::nullopt, "Write failed")});
        app.settle();
        app.click("revealButton");
        app.click("clearButton");
        app.model().setResults({ConversionResult("/p/b.heic", std::nullopt, "Write failed")});
        app.settle();
    }
    EXPECT_EQ(withoutPlatformNotes(catcher.warnings()), QStringList());
}

}  // namespace
}  // namespace pictavo::test
