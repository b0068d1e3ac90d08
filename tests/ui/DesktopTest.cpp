#include "WindowHarness.h"

#include <QAccessible>
#include <QSignalSpy>

#include <functional>

namespace pictavo::test {
namespace {

// Every item Tab can reach in the window's present state must tell a screen
// reader what it is called.
void expectEveryControlNamed(AppWindow& app, int atLeast)
{
    app.settle();
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
    EXPECT_GE(controls, atLeast);
}

TEST(Desktop, EveryControlHasAnAccessibleNameInEveryState)
{
    // Qt Quick creates the accessible side of its controls only while an assistive technology listens.
    QAccessible::setActive(true);
    AppWindow app;
    expectEveryControlNamed(app, 6);
    app.model().setIsScanning(true);
    expectEveryControlNamed(app, 5);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&app.item("dropZone"))->text(QAccessible::Name),
              u"Looking for photos\u2026"_qs);
    app.model().setIsScanning(false);
    app.model().setFiles(fileUrls({"/p/a.heic"}));
    app.model().setUseCustomOutput(true);
    app.model().setResults({ConversionResult("/p/a.heic", "/p/a.jpg", std::nullopt)});
    expectEveryControlNamed(app, 10);
    app.model().setFormat(OutputFormat::png);
    app.model().setIsConverting(true);
    app.model().setRunSize(3);
    app.model().setFinishedCount(1);
    expectEveryControlNamed(app, 10);  // Stop and the progress bar join
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(&app.item("progressBar"));
    ASSERT_TRUE(bar && bar->valueInterface());
    EXPECT_EQ(bar->role(), QAccessible::ProgressBar);
    EXPECT_EQ(bar->text(QAccessible::Name), "Files processed");
    EXPECT_EQ(bar->valueInterface()->currentValue().toInt(), 1);
    EXPECT_EQ(bar->valueInterface()->maximumValue().toInt(), 3);
    QAccessible::setActive(false);
}

// Answers every file panel with one more photo, and every folder panel with /out.
struct AnsweringPanels : Panels {
    std::optional<QList<QUrl>> run(const PanelRequest& request) override
    {
        ++asked;
        return fileUrls({request.canChooseDirectories ? "/out" : QStringLiteral("/p/%1.heic").arg(asked)});
    }
    int asked = 0;
};

// Screen readers, voice control, switch access and test tools press controls
// through the accessibility interface: each press does what one click does.
TEST(Desktop, ThePressActionOfEveryButtonSegmentAndSwitchDoesWhatAClickDoes)
{
    QAccessible::setActive(true);
    AppWindow app;
    Model& model = app.model();
    const auto panels = std::make_shared<AnsweringPanels>();
    model.setPanels(panels);
    model.setConvertFunction([](const std::filesystem::path& source, OutputFormat, double, const auto&, auto) {
        return ConversionResult(source, std::filesystem::path(source).replace_extension("jpg"), std::nullopt);
    });
    const QSignalSpy convertClicks(&app.item("convertButton"), SIGNAL(clicked()));
    const QString press = QAccessibleActionInterface::pressAction();
    const std::tuple<const char*, QString, std::function<bool()>> cases[] = {
        {"convertButton", press, [&] { return convertClicks.isEmpty(); }},  // disabled: the queue is empty
        {"chooseFilesButton", press, [&] { return model.files().size() == 1; }},
        {"addMoreButton", press, [&] { return model.files().size() == 2; }},
        {"formatButtonPNG", press, [&] { return model.format() == OutputFormat::png; }},
        {"formatButtonJPG", press, [&] { return model.format() == OutputFormat::jpg; }},
        {"customOutputSwitch", QAccessibleActionInterface::toggleAction(), [&] { return model.useCustomOutput(); }},
        {"chooseOutputButton", press, [&] { return model.outputDirPath() == "/out"; }},
        {"customOutputSwitch", press, [&] { return !model.useCustomOutput(); }},
        {"convertButton", press, [&] { return app.waitForRun() && model.results().size() == 2; }},
        {"revealButton", press, [&] { return app.revealer.calls.size() == 1; }},
        {"clearButton", press, [&] { return model.files().isEmpty() && model.results().isEmpty(); }},
    };
    for (const auto& [name, action, happened] : cases) {
        QAccessibleInterface* about = QAccessible::queryAccessibleInterface(&app.item(name));
        QAccessibleActionInterface* actions = about ? about->actionInterface() : nullptr;
        ASSERT_TRUE(actions) << name;
        EXPECT_TRUE(actions->actionNames().contains(action)) << name;
        const int asked = panels->asked;
        actions->doAction(action);
        // A modal panel opened inside the call would keep the caller waiting until it closed.
        EXPECT_EQ(panels->asked, asked) << name << " opened a panel before its action returned";
        app.settle();
        EXPECT_TRUE(happened()) << action.toStdString() << " on " << name;
    }
    QAccessible::setActive(false);
}

TEST(Desktop, TheGermanWindowTranslatesItsTextsWithPluralsAndTheConvertersReasons)
{
    AppWindow app(QLocale(QLocale::German, QLocale::Germany));
    app.model().setUseCustomOutput(true);
    const ConversionResult converted("/p/a.heic", "/p/a.jpg", std::nullopt);
    const auto failed = [](const char* reason) { return ConversionResult("/p/b.heic", std::nullopt, reason); };
    const QList<ConversionResult> failures{failed("Could not read image"), failed("Could not create output"),
                                           failed("Write failed"), failed("Some new reason")};
    const std::tuple<int, QList<ConversionResult>, const char*, QString> cases[] = {
        {0, {}, "invitationHeadline", "HEIC-Dateien hierher ziehen"},
        {0, {}, "convertButton", "In JPG umwandeln"},
        {0, {}, "outputFolderText", "Nicht festgelegt"},
        {1, {}, "countHeadline", "1 Datei bereit"},
        {1, {}, "convertButton", "1 in JPG umwandeln"},
        {2, {converted}, "countHeadline", "2 Dateien bereit"},
        {2, {converted}, "revealButton", "In Ordner zeigen"},
        {2, {converted}, "summaryText", "1 umgewandelt"},
        {2, failures, "summaryText", "0 umgewandelt, 4 fehlgeschlagen"},
    };
    for (const auto& [files, results, name, shown] : cases) {
        app.model().setFiles(fileUrls(QStringList(files, "/p/a.heic")));
        app.model().setResults(results);
        app.settle();
        EXPECT_EQ(app.text(name), shown) << name;
    }
    QStringList reasons;
    for (const QQuickItem* reason : app.findAll("resultError"))
        reasons.append(reason->property("text").toString());
    EXPECT_EQ(reasons, (QStringList{u"\u2014 Bild konnte nicht gelesen werden"_qs,
                                    u"\u2014 Ausgabedatei konnte nicht erstellt werden"_qs,
                                    u"\u2014 Schreiben fehlgeschlagen"_qs, u"\u2014 Some new reason"_qs}));
    app.model().setNotConvertedCount(1);
    app.model().setIsConverting(true);
    app.model().setRunSize(3);
    app.model().setFinishedCount(1);
    app.settle();
    EXPECT_EQ(app.text("stopButton"), "Stopp");
    EXPECT_EQ(app.text("progressCount"), "1 von 3");
    app.model().setIsConverting(false);
    app.settle();
    EXPECT_EQ(app.text("stoppedText"), "Gestoppt: 1 nicht umgewandelt");
    app.model().setIsScanning(true);
    app.settle();
    EXPECT_EQ(app.text("scanningLabel"), u"Fotos werden gesucht\u2026"_qs);
}

}  // namespace
}  // namespace pictavo::test
