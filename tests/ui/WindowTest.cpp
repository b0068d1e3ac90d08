#include "WindowHarness.h"

#include "fixtures/HeifFixtures.h"
#include "ui/QmlSetup.h"

#include <QDir>
#include <QQmlComponent>

#include <fstream>

namespace pictavo::test {
namespace {

QStringList caught;  // only the main thread runs QML here

void catchWarning(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    // The offscreen platform cannot pass size limits on to a window manager.
    if (type != QtDebugMsg && type != QtInfoMsg && message != "This plugin does not support propagateSizeHints()")
        caught.append(message);
}

TEST(Window, ShowsTheInvitationWhileTheQueueIsEmptyAndTheCountLineOtherwise)
{
    AppWindow app;
    EXPECT_EQ(app.window().title(), "Pictavo");
    EXPECT_EQ(app.window().minimumSize(), QSize(520, 520));
    EXPECT_EQ(app.text("invitationHeadline"), "Drag HEIC files here");
    EXPECT_EQ(app.text("chooseFilesButton"), u"Choose Files\u2026"_qs);
    EXPECT_FALSE(app.shown("countHeadline") || app.shown("addMoreButton") || app.shown("clearButton"));

    app.model().setFiles(fileUrls({"/p/a.heic"}));
    app.settle();
    EXPECT_EQ(app.text("countHeadline"), "1 file ready");
    EXPECT_EQ(app.text("addMoreButton"), u"Add More\u2026"_qs);
    EXPECT_EQ(app.text("clearButton"), "Clear");
    EXPECT_FALSE(app.shown("invitationHeadline") || app.shown("invitationOr") || app.shown("chooseFilesButton"));
    app.model().setFiles(fileUrls({"/p/a.heic", "/p/b.heic"}));
    app.settle();
    EXPECT_EQ(app.text("countHeadline"), "2 files ready");

    // While folders are searched, a busy line stands in for the headline and the buttons, and the
    // queue cannot be converted before it is complete.
    app.model().setIsScanning(true);
    app.settle();
    EXPECT_EQ(app.text("scanningLabel"), u"Looking for photos\u2026"_qs);
    EXPECT_TRUE(app.shown("scanningIndicator") && !app.shown("countHeadline") && !app.shown("clearButton"));
    EXPECT_FALSE(app.item("convertButton").isEnabled());
}

TEST(Window, TheQualityGroupIsShownOnlyForJpgWithTheQualityTruncatedToAPercentage)
{
    AppWindow app;
    app.click("formatButtonPNG");
    EXPECT_EQ(app.model().format(), OutputFormat::png);
    EXPECT_FALSE(app.shown("qualityGroup"));
    app.click("formatButtonJPG");
    EXPECT_EQ(app.model().format(), OutputFormat::jpg);
    EXPECT_TRUE(app.shown("qualitySlider") && app.shown("qualityPercentage"));

    const std::pair<double, const char*> cases[] = {{0.9, "90%"}, {0.1, "10%"}, {1.0, "100%"}, {0.57, "56%"},
                                                    {0.29, "28%"}};
    for (const auto& [quality, shown] : cases) {
        app.model().setQuality(quality);
        app.settle();
        EXPECT_EQ(app.text("qualityPercentage"), shown) << "quality " << quality;
    }
}

TEST(Window, TheConvertButtonNamesCountAndFormatAndReturnPressesItOnlyWhileEnabled)
{
    AppWindow app;
    EXPECT_EQ(app.text("convertButton"), "Convert to JPG");
    EXPECT_FALSE(app.item("convertButton").isEnabled());

    app.model().setFiles(fileUrls({"/p/a.heic", "/p/b.heic", "/p/c.heic"}));
    app.model().setFormat(OutputFormat::png);
    app.settle();
    EXPECT_EQ(app.text("convertButton"), "Convert 3 to PNG");
    EXPECT_FALSE(app.shown("stopButton"));

    app.model().setIsConverting(true);
    app.settle();
    EXPECT_EQ(app.text("convertButton"), u"Converting\u2026"_qs);
    EXPECT_FALSE(app.item("convertButton").isEnabled());
    EXPECT_EQ(app.text("stopButton"), "Stop");
    app.pressKey(Qt::Key_Return);
    QTest::qWait(50);
    EXPECT_TRUE(app.model().results().isEmpty());

    app.model().setIsConverting(false);
    app.pressKey(Qt::Key_Return);
    ASSERT_TRUE(app.waitForRun());
    EXPECT_EQ(app.model().results().size(), 3);  // one failure per missing file
}

TEST(Window, ADropHandsItsFilesToTheQueueButADragWithoutLocalFilesNeitherLightsTheZoneNorDrops)
{
    AppWindow app;
    QMimeData text, remote, files;
    text.setText("/p/a.heic");
    remote.setUrls({QUrl("https://example.org/a.heic")});
    for (const QMimeData* data : {&text, &remote}) {
        app.drag(*data, false);
        EXPECT_FALSE(app.item("dropZone").property("targeted").toBool());
        app.drag(*data, true);
    }
    EXPECT_TRUE(app.model().files().isEmpty());

    files.setUrls(fileUrls({"/p/b.heic", "/p/x.jpg", "/p/a.HEIF", "/p/notes.txt"}));
    app.drag(files, false);
    EXPECT_TRUE(app.item("dropZone").property("targeted").toBool());
    app.drag(files, true);
    EXPECT_EQ(app.model().files(), fileUrls({"/p/b.heic", "/p/a.HEIF"}));
    EXPECT_EQ(app.text("countHeadline"), "2 files ready");

    // A dropped folder stands for the photos inside it.
    fixtures::TempDir dir;
    for (const char* name : {"IMG_10.heic", "IMG_2.heic", "notes.txt"})
        std::ofstream(dir / name).put('x');
    const QString folder = QString::fromStdString(dir.path().string());
    files.setUrls(fileUrls({folder}));
    app.drag(files, true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !app.model().isScanning(); }, 20000));
    app.settle();
    EXPECT_EQ(app.model().files().mid(2), fileUrls({folder + "/IMG_2.heic", folder + "/IMG_10.heic"}));
    EXPECT_EQ(app.text("countHeadline"), "4 files ready");
}

// Only the user changes the window's size: whatever it shows, it stays at 520 × 520 and its content fits.
TEST(Window, StaysAt520By520ThroughADeepFolderManyResultsAndClear)
{
    AppWindow app;
    const auto text = [](QSize size) { return std::to_string(size.width()) + "x" + std::to_string(size.height()); };
    const auto expectUnchanged = [&](const char* state) {
        EXPECT_EQ(text(app.window().minimumSize()), "520x520") << state;
        EXPECT_EQ(text(app.window().size()), "520x520") << state;
        for (const char* name : {"chooseOutputButton", "resultsList"}) {
            const QQuickItem& item = app.item(name);
            const QPointF corner = item.mapToScene(QPointF(item.width(), item.height()));
            EXPECT_TRUE(corner.x() <= 520 - 24 && corner.y() <= 520 - 24) << name << " sticks out " << state;
        }
    };
    expectUnchanged("at start");

    app.model().setUseCustomOutput(true);
    app.model().setOutputDir(QUrl::fromLocalFile("/home/someone/Pictures/Exports/2024/Summer-holiday-in-the-mountains/"
                                                 "converted-photos/for-the-family-album/final"));
    app.settle();
    expectUnchanged("with a deep folder");
    EXPECT_TRUE(app.item("outputFolderText").property("truncated").toBool());

    QList<ConversionResult> results;
    for (int i = 0; i < 40; ++i)
        results.append(ConversionResult("/p/" + std::to_string(i) + "-a-rather-long-name-from-the-holiday.heic",
                                        std::nullopt, "Could not read image"));
    app.model().setFiles(fileUrls({"/p/a.heic"}));
    app.model().setResults(results);
    app.settle();
    expectUnchanged("with 40 results");

    app.click("clearButton");
    expectUnchanged("after Clear");
    app.model().setUseCustomOutput(false);
    app.settle();
    expectUnchanged("with the folder switched off");
}

// QML errors only show at run time: compile every file and walk the window through its states.
TEST(Window, EveryQmlFileLoadsAndTheWindowRunsThroughItsStatesWithoutWarnings)
{
    const QtMessageHandler previous = qInstallMessageHandler(catchWarning);
    {
        QQmlEngine engine;
        addViewImportPath(engine);
        const QStringList files = QDir(QStringLiteral(":/qt/qml/Pictavo")).entryList({"*.qml"}, QDir::Files);
        EXPECT_GE(files.size(), 6);
        for (const QString& file : files) {
            QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Pictavo/") + file));
            EXPECT_TRUE(component.isReady()) << file.toStdString() << ": " << component.errorString().toStdString();
        }
        AppWindow app;
        app.model().setFiles(fileUrls({"/p/a.heic", "/p/b.heic"}));
        app.model().setFormat(OutputFormat::png);
        app.model().setUseCustomOutput(true);
        app.model().setIsConverting(true);
        app.model().setIsScanning(true);
        app.settle();
        app.model().setIsScanning(false);
        app.model().setIsConverting(false);
        app.model().setResults({ConversionResult("/p/a.heic", "/tmp/out/a.png", std::nullopt),
                                ConversionResult("/p/b.heic", std::nullopt, "Write failed")});
        app.settle();
        app.click("revealButton");
        app.click("clearButton");
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(caught, QStringList());
}

}  // namespace
}  // namespace pictavo::test
