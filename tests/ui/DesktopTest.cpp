#include "WindowHarness.h"

#include <QAccessible>

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
    expectEveryControlNamed(app, 8);
    QAccessible::setActive(false);
}

TEST(Desktop, TheGermanWindowTranslatesItsTextsWithPlurals)
{
    AppWindow app(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(app.text("invitationHeadline"), "HEIC-Dateien hierher ziehen");
    EXPECT_EQ(app.text("convertButton"), "in JPG umwandeln");
    app.model().setFiles(fileUrls({"/p/a.heic"}));
    app.settle();
    EXPECT_EQ(app.text("countHeadline"), "1 Datei bereit");
    EXPECT_EQ(app.text("convertButton"), "1 in JPG umwandeln");
    app.model().setFiles(fileUrls({"/p/a.heic", "/p/b.heic"}));
    app.model().setResults({ConversionResult("/p/a.heic", "/p/a.jpg", std::nullopt)});
    app.settle();
    EXPECT_EQ(app.text("countHeadline"), "2 Dateien bereit");
    EXPECT_EQ(app.text("revealButton"), "In Ordner zeigen");
    app.model().setIsScanning(true);
    app.settle();
    EXPECT_EQ(app.text("scanningLabel"), u"Fotos werden gesucht\u2026"_qs);
}

}  // namespace
}  // namespace pictavo::test
