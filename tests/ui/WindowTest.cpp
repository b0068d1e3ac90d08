#include "WindowHarness.h"

#include <QAccessible>
#include <QSignalSpy>

#include <algorithm>
#include <functional>

namespace pictavo::test {
namespace {

// What the window shows in one state, in English and in German: each named item's text (for an
// item without one, its accessible name), "" where the item is hidden; whether Convert can be
// pressed; and how many controls Tab reaches there, each of which must be named for a screen reader.
// Only the user changes the window's size: in every state, in French too, it stays at 520 × 520 and
// its content fits.
struct Screen {
    const char* name;
    int files = 0;
    QList<ConversionResult> results = {};
    bool custom = false, converting = false, scanning = false, resize = false, removeLocation = false;
    QString folder = {};
    int notConverted = 0;
    QColor summary = {};  // of the results' summary, where shown
    OutputFormat format = OutputFormat::jpg;
    double quality = 0.9;  // shown truncated to a percentage
    bool canConvert = false;
    int controls = 0;
    QList<std::tuple<const char*, QString, QString>> texts = {};
};

TEST(Window, ShowsEachStateInEnglishAndGermanWithEveryControlNamed)
{
    const auto failed = [](FailureKind kind) { return ConversionResult::failure("/p/b.heic", kind); };
    const ConversionResult converted("/p/a.heic", "/p/a.jpg", std::nullopt);
    const QColor green("#248a3d"), orange("#c75c00");
    const QList<ConversionResult> many(40, failed(FailureKind::unreadable));
    const Screen screens[]{
        {.name = "empty", .canConvert = false, .controls = 9, .texts = {
            {"invitationHeadline", "Drag HEIC files here", "HEIC-Dateien hierher ziehen"},
            {"chooseFilesButton", u"Choose Files\u2026"_s, u"Dateien ausw\u00e4hlen\u2026"_s},
            {"convertButton", "Convert to JPG", "In JPG umwandeln"},
            {"qualityPercentage", "90%", u"90\u202f%"_s},
            {"nextToOriginalsHint", "(saves next to originals)", "(speichert neben den Originalen)"},
            {"countHeadline", "", ""}, {"addMoreButton", "", ""}, {"clearButton", "", ""}, {"stopButton", "", ""},
            {"summaryText", "", ""}, {"resultsList", "", ""}}},
        {.name = "1 queued", .files = 1, .custom = true, .quality = 0.57, .canConvert = true, .controls = 11, .texts = {
            {"countHeadline", "1 file ready", "1 Datei bereit"},
            {"qualityPercentage", "56%", u"56\u202f%"_s},
            {"convertButton", "Convert 1 to JPG", "1 in JPG umwandeln"},
            {"addMoreButton", u"Add More\u2026"_s, u"Weitere hinzuf\u00fcgen\u2026"_s},
            {"clearButton", "Clear", "Leeren"},
            {"outputFolderText", "Not set", "Nicht festgelegt"},
            {"invitationHeadline", "", ""}, {"invitationOr", "", ""}, {"chooseFilesButton", "", ""}}},
        {.name = "1 converted", .files = 2, .results = {converted}, .summary = green, .quality = 0.29, .canConvert = true,
         .controls = 12, .texts = {
            {"qualityPercentage", "28%", u"28\u202f%"_s},
            {"countHeadline", "2 files ready", "2 Dateien bereit"},
            {"revealButton", "Show in Folder", "In Ordner zeigen"},
            {"summaryText", "1 converted", "1 umgewandelt"}}},
        // A failure is told by its kind, in the window's language (the last two kinds, an error of no known kind as it is: PNG).
        {.name = "2 failed, stopped", .files = 1, .results = {failed(FailureKind::unreadable), failed(FailureKind::outputNotCreated)},
         .notConverted = 1, .summary = orange, .quality = 1.0, .canConvert = true, .controls = 11, .texts = {
            {"qualityPercentage", "100%", u"100\u202f%"_s},
            {"summaryText", "0 converted, 2 failed", "0 umgewandelt, 2 fehlgeschlagen"},
            {"resultError", u"\u2014 Could not read image\n\u2014 Could not create output"_s,
             u"\u2014 Bild konnte nicht gelesen werden\n\u2014 Ausgabedatei konnte nicht erstellt werden"_s},
            {"revealButton", "", ""}, {"stopButton", "", ""}, {"progressCount", "", ""},
            {"stoppedText", "Stopped: 1 not converted", "Gestoppt: 1 nicht umgewandelt"}}},
        // The reveal button needs a converted file, not a converted first file; the summary beside a long
        // convert button wraps rather than widen the window.
        {.name = "140 queued, second converted", .files = 140, .results = {failed(FailureKind::writeFailed), converted},
         .summary = orange, .quality = 0.1, .canConvert = true, .controls = 12, .texts = {
            {"qualityPercentage", "10%", u"10\u202f%"_s},
            {"summaryText", "1 converted, 1 failed", "1 umgewandelt, 1 fehlgeschlagen"},
            {"revealButton", "Show in Folder", "In Ordner zeigen"}}},
        // While folders are searched, a busy line stands in for the headline and the buttons, and the
        // queue cannot be converted before it is complete.
        {.name = "scanning", .files = 2, .scanning = true, .canConvert = false, .controls = 8, .texts = {
            {"scanningLabel", u"Looking for photos\u2026"_s, u"Fotos werden gesucht\u2026"_s},
            {"dropZone", u"Looking for photos\u2026"_s, u"Fotos werden gesucht\u2026"_s},
            {"countHeadline", "", ""}, {"clearButton", "", ""}}},
        {.name = "deep folder, 40 failed", .files = 1, .results = many, .custom = true, .folder = "/home/someone/Pictures/"
         "Exports/2024/Summer-holiday-in-the-mountains/converted-photos/for-the-family-album/final", .summary = orange,
         .canConvert = true, .controls = 12},
        // PNG has no quality to set.
        {.name = "PNG", .files = 3, .results = {failed(FailureKind::writeFailed), ConversionResult("/p/b.heic", std::nullopt, "Some new reason")},
         .summary = orange, .format = OutputFormat::png, .canConvert = true, .controls = 10, .texts = {
            {"convertButton", "Convert 3 to PNG", "3 in PNG umwandeln"}, {"qualityPercentage", "", ""},
            {"resultError", u"\u2014 Write failed\n\u2014 Some new reason"_s, u"\u2014 Schreiben fehlgeschlagen\n\u2014 Some new reason"_s},
            {"revealButton", "", ""}}},
        {.name = "every option on", .files = 3, .custom = true, .resize = true, .removeLocation = true, .canConvert = true,
         .controls = 11, .texts = {
            {"resizeSwitch", "Resize to", "Verkleinern auf"}, {"longSideField", "Long side in pixels", u"L\u00e4ngere Seite in Pixeln"_s},
            {"removeLocationBox", "Remove location", "Standort entfernen"}}},
        {.name = "converting", .files = 3, .converting = true, .canConvert = false, .controls = 12, .texts = {
            {"convertButton", u"Converting\u2026"_s, u"Wird umgewandelt\u2026"_s},
            {"stopButton", "Stop", "Stopp"},
            {"progressCount", "1 of 3", "1 von 3"},
            {"progressBar", "Files processed", "Verarbeitete Dateien"}}},
    };
    // Qt Quick creates the accessible side of its controls only while an assistive technology listens.
    QAccessible::setActive(true);
    for (const QLocale locale : {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany),
                                 QLocale(QLocale::French, QLocale::France)}) {
        const bool english = locale.language() == QLocale::English, french = locale.language() == QLocale::French;
        AppWindow app(locale);
        Model& model = app.model();
        EXPECT_EQ(app.window().title(), "Pictavo");
        EXPECT_EQ(app.window().minimumSize(), QSize(520, 520));
        // Every window starts with the options off and the long side at 2048.
        EXPECT_EQ(std::tuple(app.item("resizeSwitch").property("checked").toBool(), app.item("longSideField").property("value").toInt(),
                             app.item("removeLocationBox").property("checked").toBool()), std::tuple(false, 2048, false));
        for (const Screen& screen : screens) {
            SCOPED_TRACE(std::string(screen.name) + " in " + QLocale::languageToString(locale.language()).toStdString());
            model.setFiles(fileUrls(QStringList(screen.files, "/p/a.heic")));
            model.setResults(screen.results);
            model.setUseCustomOutput(screen.custom);
            model.setOutputDir(screen.folder.isEmpty() ? std::nullopt : std::optional(QUrl::fromLocalFile(screen.folder)));
            model.setIsConverting(screen.converting);
            model.setIsScanning(screen.scanning);
            model.setNotConvertedCount(screen.notConverted);
            model.setFormat(screen.format);
            model.setQuality(screen.quality);
            model.setResize(screen.resize);
            model.setRemoveLocation(screen.removeLocation);
            model.setRunSize(3);
            model.setFinishedCount(1);
            app.settle();
            EXPECT_EQ(app.item("convertButton").isEnabled(), screen.canConvert);
            // A run took the options when it began: they wait for its end.
            for (const auto& [name, enabled] : {std::pair("resizeSwitch", !screen.converting),
                                                std::pair("longSideField", screen.resize && !screen.converting),
                                                std::pair("removeLocationBox", !screen.converting)})
                EXPECT_EQ(app.item(name).isEnabled(), enabled) << name;
            if (screen.resize) {  // Tab goes through the options in the order they are seen
                QQuickItem* at = &app.item("qualitySlider");
                for (const char* next : {"resizeSwitch", "longSideField", "removeLocationBox", "customOutputSwitch"})
                    EXPECT_EQ((at = at->nextItemInFocusChain())->objectName().isEmpty() ? at->parentItem()->objectName() : at->objectName(), next);
            }
            int controls = 0;
            for (QQuickItem* item : app.findAll({})) {
                if (!item->isVisible() || !item->activeFocusOnTab())
                    continue;
                ++controls;
                QAccessibleInterface* about = QAccessible::queryAccessibleInterface(item);
                EXPECT_TRUE(about && !about->text(QAccessible::Name).trimmed().isEmpty())
                    << item->objectName().toStdString() << " has no accessible name ";
            }
            EXPECT_EQ(controls, screen.controls);
            if (app.shown("summaryText")) {
                EXPECT_EQ(app.item("summaryText").property("color").value<QColor>(), screen.summary);
            }
            for (const auto& [name, inEnglish, inGerman] : screen.texts) {
                if (!french)
                    EXPECT_EQ(app.shown(name) ? app.text(name) : "", english ? inEnglish : inGerman) << name;
            }
            EXPECT_EQ(app.window().size(), QSize(520, 520));
            for (const char* name : {"chooseOutputButton", "resultsList", "removeLocationBox", "resizeSwitch"}) {
                if (!app.shown(name))
                    continue;
                const QQuickItem& item = app.item(name);
                const QPointF corner = item.mapToScene(QPointF(item.width(), item.height()));
                EXPECT_LE(corner.x(), 520 - 24) << name << " sticks out";
                EXPECT_LE(corner.y(), 520 - 24) << name << " sticks out";
                EXPECT_GE(item.width(), item.implicitWidth()) << name << " is squeezed";
            }
            // A deep folder loses characters in its middle.
            EXPECT_EQ(app.item("outputFolderText").property("truncated").toBool(), !screen.folder.isEmpty());
        }
        // The last screen's progress bar, as a screen reader reads it.
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(&app.item("progressBar"));
        ASSERT_TRUE(bar);
        ASSERT_TRUE(bar->valueInterface());
        EXPECT_EQ(std::tuple(bar->role(), bar->valueInterface()->currentValue().toInt(),
                             bar->valueInterface()->maximumValue().toInt()), std::tuple(QAccessible::ProgressBar, 1, 3));
    }
}

// Cancels the first dialog of each kind, then answers a photos dialog with one more photo and a text file
// (not taken), a folder dialog with /out.
struct AnsweringDialogs : FileDialogs {
    std::optional<QList<QUrl>> choosePhotos(const QString&, const QStringList& extensions) override
    {
        offered = extensions;
        if (++photoDialogs == 1)
            return std::nullopt;
        return fileUrls({QStringLiteral("/p/%1.heic").arg(photoDialogs), "/p/n.txt"});
    }
    std::optional<QList<QUrl>> chooseFolder(const QString&) override
    {
        return ++folderDialogs == 1 ? std::nullopt : std::optional(fileUrls({"/out"}));
    }
    int photoDialogs = 0, folderDialogs = 0;
    QStringList offered;
};

// Screen readers, voice control, switch access and test tools press controls
// through the accessibility interface: each press does what one click does.
TEST(Desktop, ThePressActionOfEveryButtonSegmentAndSwitchDoesWhatAClickDoes)
{
    QAccessible::setActive(true);
    const auto dialogs = std::make_shared<AnsweringDialogs>();
    AppWindow app(QLocale(QLocale::English, QLocale::UnitedStates), [](const std::filesystem::path& source, const ConversionOptions&, const auto&, auto) {
        return ConversionResult(source, std::filesystem::path(source).replace_extension("jpg"), std::nullopt);
    }, dialogs);
    Model& model = app.model();
    const QSignalSpy convertClicks(&app.item("convertButton"), SIGNAL(clicked()));
    const QString press = QAccessibleActionInterface::pressAction();
    const std::tuple<const char*, QString, std::function<bool()>> cases[] = {
        {"convertButton", press, [&] { return convertClicks.isEmpty(); }},  // disabled: the queue is empty
        {"chooseFilesButton", press, [&] { return model.files().isEmpty(); }},  // cancelled
        {"chooseFilesButton", press, [&] { return model.files().size() == 1; }},
        {"addMoreButton", press, [&] { return model.files().size() == 2; }},
        {"formatButtonPNG", press, [&] { return model.format() == OutputFormat::png; }},
        {"formatButtonJPG", press, [&] { return model.format() == OutputFormat::jpg; }},
        {"resizeSwitch", QAccessibleActionInterface::toggleAction(), [&] { return model.resize(); }},
        {"removeLocationBox", press, [&] { return model.removeLocation(); }},
        {"customOutputSwitch", QAccessibleActionInterface::toggleAction(), [&] { return model.useCustomOutput(); }},
        {"chooseOutputButton", press, [&] { return model.outputDirPath().isEmpty(); }},  // cancelled
        {"chooseOutputButton", press, [&] { return model.outputDirPath() == "/out"; }},
        {"customOutputSwitch", press, [&] { return !model.useCustomOutput(); }},
        {"convertButton", press, [&] { return app.waitForRun() && model.results().size() == 2; }},
        {"revealButton", press, [&] { return app.revealer.calls.size() == 1; }},
        {"clearButton", press, [&] { return model.files().isEmpty() && model.results().isEmpty(); }},
    };
    for (std::size_t row = 0; row < std::size(cases); ++row) {
        const auto& [name, action, happened] = cases[row];
        SCOPED_TRACE(action.toStdString() + " on " + name + " (row " + std::to_string(row) + ")");
        QAccessibleInterface* about = QAccessible::queryAccessibleInterface(&app.item(name));
        QAccessibleActionInterface* actions = about ? about->actionInterface() : nullptr;
        ASSERT_TRUE(actions);
        EXPECT_TRUE(actions->actionNames().contains(action));
        const int opened = dialogs->photoDialogs + dialogs->folderDialogs;
        actions->doAction(action);
        // A modal dialog opened inside the call would keep the caller waiting until it closed.
        EXPECT_EQ(dialogs->photoDialogs + dialogs->folderDialogs, opened) << "a dialog opened before the action returned";
        app.settle();
        EXPECT_TRUE(happened());
    }
    EXPECT_EQ(dialogs->offered, QStringList({"heic", "heif", "hif"}));
}

}  // namespace
}  // namespace pictavo::test
