#include "WindowHarness.h"

#include "fixtures/HeifFixtures.h"
#include "ui/QmlSetup.h"

#include <QAccessible>
#include <QDir>
#include <QQmlComponent>

#include <fstream>
#include <functional>

namespace pictavo::test {
namespace {

// What the window shows in one state, in English and in German: each named item's text (for an
// item without one, its accessible name), "" where the item is hidden; whether Convert can be
// pressed; and how many controls Tab reaches there, each of which must be named for a screen reader.
struct Screen {
    int files = 0;
    QList<ConversionResult> results = {};
    bool custom = false, converting = false, scanning = false;
    int notConverted = 0;
    bool canConvert = false;
    int controls = 0;
    QList<std::tuple<const char*, QString, QString>> texts = {};
};

int namedControls(AppWindow& app)
{
    int controls = 0;
    const std::function<void(QQuickItem*)> visit = [&](QQuickItem* item) {
        if (!item->isVisible())
            return;
        if (item->activeFocusOnTab()) {
            ++controls;
            QAccessibleInterface* about = QAccessible::queryAccessibleInterface(item);
            EXPECT_TRUE(about && !about->text(QAccessible::Name).trimmed().isEmpty())
                << item->objectName().toStdString() << " has no accessible name";
        }
        for (QQuickItem* child : item->childItems())
            visit(child);
    };
    visit(app.window().contentItem());
    return controls;
}

TEST(Window, ShowsEachStateInEnglishAndGermanWithEveryControlNamed)
{
    const auto failed = [](const char* reason) { return ConversionResult("/p/b.heic", std::nullopt, reason); };
    const Screen screens[]{
        {.canConvert = false, .controls = 6, .texts = {
            {"invitationHeadline", "Drag HEIC files here", "HEIC-Dateien hierher ziehen"},
            {"chooseFilesButton", u"Choose Files\u2026"_qs, u"Dateien ausw\u00e4hlen\u2026"_qs},
            {"convertButton", "Convert to JPG", "In JPG umwandeln"},
            {"qualityPercentage", "90%", u"90\u202f%"_qs},
            {"nextToOriginalsHint", "(saves next to originals)", "(speichert neben den Originalen)"},
            {"countHeadline", "", ""}, {"addMoreButton", "", ""}, {"clearButton", "", ""}, {"stopButton", "", ""}}},
        {.files = 1, .custom = true, .canConvert = true, .controls = 8, .texts = {
            {"countHeadline", "1 file ready", "1 Datei bereit"},
            {"convertButton", "Convert 1 to JPG", "1 in JPG umwandeln"},
            {"addMoreButton", u"Add More\u2026"_qs, u"Weitere hinzuf\u00fcgen\u2026"_qs},
            {"clearButton", "Clear", "Leeren"},
            {"outputFolderText", "Not set", "Nicht festgelegt"},
            {"invitationHeadline", "", ""}, {"invitationOr", "", ""}, {"chooseFilesButton", "", ""}}},
        {.files = 2, .results = {ConversionResult("/p/a.heic", "/p/a.jpg", std::nullopt)}, .canConvert = true,
         .controls = 9, .texts = {
            {"countHeadline", "2 files ready", "2 Dateien bereit"},
            {"revealButton", "Show in Folder", "In Ordner zeigen"},
            {"summaryText", "1 converted", "1 umgewandelt"}}},
        {.files = 1, .results = {failed("Could not read image"), failed("Could not create output"),
                                 failed("Write failed"), failed("Some new reason")},
         .canConvert = true, .controls = 8, .texts = {
            {"summaryText", "0 converted, 4 failed", "0 umgewandelt, 4 fehlgeschlagen"},
            {"resultError",
             u"\u2014 Could not read image\n\u2014 Could not create output\n\u2014 Write failed\n\u2014 Some new reason"_qs,
             u"\u2014 Bild konnte nicht gelesen werden\n\u2014 Ausgabedatei konnte nicht erstellt werden\n"
             u"\u2014 Schreiben fehlgeschlagen\n\u2014 Some new reason"_qs},
            {"revealButton", "", ""}}},
        {.files = 1, .notConverted = 1, .canConvert = true, .controls = 7, .texts = {
            {"stoppedText", "Stopped: 1 not converted", "Gestoppt: 1 nicht umgewandelt"}}},
        // While folders are searched, a busy line stands in for the headline and the buttons, and the
        // queue cannot be converted before it is complete.
        {.files = 2, .scanning = true, .canConvert = false, .controls = 5, .texts = {
            {"scanningLabel", u"Looking for photos\u2026"_qs, u"Fotos werden gesucht\u2026"_qs},
            {"dropZone", u"Looking for photos\u2026"_qs, u"Fotos werden gesucht\u2026"_qs},
            {"countHeadline", "", ""}, {"clearButton", "", ""}}},
        {.files = 3, .converting = true, .canConvert = false, .controls = 9, .texts = {
            {"convertButton", u"Converting\u2026"_qs, u"Wird umgewandelt\u2026"_qs},
            {"stopButton", "Stop", "Stopp"},
            {"progressCount", "1 of 3", "1 von 3"},
            {"progressBar", "Files processed", "Verarbeitete Dateien"}}},
    };
    // Qt Quick creates the accessible side of its controls only while an assistive technology listens.
    QAccessible::setActive(true);
    for (const bool english : {true, false}) {
        AppWindow app(english ? QLocale(QLocale::English, QLocale::UnitedStates) : QLocale(QLocale::German, QLocale::Germany));
        Model& model = app.model();
        EXPECT_EQ(app.window().title(), "Pictavo");
        for (const Screen& screen : screens) {
            model.setFiles(fileUrls(QStringList(screen.files, "/p/a.heic")));
            model.setResults(screen.results);
            model.setUseCustomOutput(screen.custom);
            model.setIsConverting(screen.converting);
            model.setIsScanning(screen.scanning);
            model.setNotConvertedCount(screen.notConverted);
            model.setRunSize(3);
            model.setFinishedCount(1);
            app.settle();
            const int state = int(&screen - screens);
            EXPECT_EQ(app.item("convertButton").isEnabled(), screen.canConvert) << state;
            EXPECT_EQ(namedControls(app), screen.controls) << state;
            for (const auto& [name, inEnglish, inGerman] : screen.texts)
                EXPECT_EQ(app.shown(name) ? app.text(name) : "", english ? inEnglish : inGerman) << name << state;
        }
        // The last screen's progress bar, as a screen reader reads it.
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(&app.item("progressBar"));
        ASSERT_TRUE(bar && bar->valueInterface());
        EXPECT_EQ(bar->role(), QAccessible::ProgressBar);
        EXPECT_EQ(bar->valueInterface()->currentValue().toInt(), 1);
        EXPECT_EQ(bar->valueInterface()->maximumValue().toInt(), 3);
    }
    QAccessible::setActive(false);
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
    app.model().setFiles(fileUrls({"/p/a.heic", "/p/b.heic", "/p/c.heic"}));
    app.model().setFormat(OutputFormat::png);
    app.settle();
    EXPECT_EQ(app.text("convertButton"), "Convert 3 to PNG");
    app.model().setIsConverting(true);
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

// QML errors only show at run time: every file compiles (and main fails any test that logs a warning).
TEST(Window, EveryQmlFileCompiles)
{
    QQmlEngine engine;
    addViewImportPath(engine);
    const QStringList files = QDir(QStringLiteral(":/qt/qml/Pictavo")).entryList({"*.qml"}, QDir::Files);
    EXPECT_GE(files.size(), 6);
    for (const QString& file : files) {
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Pictavo/") + file));
        EXPECT_TRUE(component.isReady()) << file.toStdString() << ": " << component.errorString().toStdString();
    }
}

}  // namespace
}  // namespace pictavo::test
