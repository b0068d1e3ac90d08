#include "WindowHarness.h"

#include <QAccessible>

namespace pictavo::test {
namespace {

// What a screen reader is told about an item.
struct Announced {
    QAccessible::Role role = QAccessible::NoRole;
    QString name;
    QString description;
};

Announced announced(QQuickItem& item)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&item);
    if (!iface)
        return {};
    return {iface->role(), iface->text(QAccessible::Name), iface->text(QAccessible::Description)};
}

void collectFocusable(QQuickItem* item, QList<QQuickItem*>& found)
{
    if (!item->isVisible())
        return;
    if (item->activeFocusOnTab())
        found.append(item);
    for (QQuickItem* child : item->childItems())
        collectFocusable(child, found);
}

// Every item Tab can reach, in the state the window is in now, must tell a
// screen reader what it is and what it is called.
void expectEveryControlNamed(AppWindow& app, int atLeast)
{
    app.settle();
    QList<QQuickItem*> controls;
    collectFocusable(app.window().contentItem(), controls);
    EXPECT_GE(controls.size(), atLeast);
    for (QQuickItem* control : controls) {
        const Announced about = announced(*control);
        const std::string name = control->objectName().toStdString();
        EXPECT_NE(about.role, QAccessible::NoRole) << name;
        EXPECT_NE(about.role, QAccessible::Client) << name;
        EXPECT_FALSE(about.name.trimmed().isEmpty()) << name << " has no accessible name";
    }
}

class Accessibility : public ::testing::Test {
protected:
    // Qt Quick creates the accessible side of its controls only while an
    // assistive technology is listening.
    void SetUp() override { QAccessible::setActive(true); }
    void TearDown() override { QAccessible::setActive(false); }
};

TEST_F(Accessibility, EveryControlHasANameAndARoleInEveryState)
{
    AppWindow app;
    expectEveryControlNamed(app, 6);

    app.model().setFiles(fileUrls({"/p/a.heic"}));
    app.model().setUseCustomOutput(true);
    app.model().setResults({ConversionResult("/p/a.heic", "/p/a.jpg", std::nullopt)});
    expectEveryControlNamed(app, 10);

    app.model().setFormat(OutputFormat::png);
    app.model().setIsConverting(true);
    expectEveryControlNamed(app, 8);
    EXPECT_EQ(announced(app.item("convertButton")).name, u"Converting\u2026"_qs);
}

TEST_F(Accessibility, ControlsWithoutTheirOwnTextAnnounceWhatTheyAreFor)
{
    AppWindow app;
    EXPECT_EQ(announced(app.item("formatPicker")).name, "Format");
    QAccessibleInterface* jpg = QAccessible::queryAccessibleInterface(&app.item("formatButtonJPG"));
    QAccessibleInterface* png = QAccessible::queryAccessibleInterface(&app.item("formatButtonPNG"));
    ASSERT_TRUE(jpg && png);
    EXPECT_TRUE(jpg->state().checkable && jpg->state().checked);
    EXPECT_TRUE(png->state().checkable && !png->state().checked);
    EXPECT_EQ(announced(app.item("qualitySlider")).name, "Quality");

    // The drop zone says what it holds.
    EXPECT_EQ(announced(app.item("dropZone")).role, QAccessible::Pane);
    EXPECT_EQ(announced(app.item("dropZone")).name, "Drag HEIC files here");
    app.model().setFiles(fileUrls({"/p/a.heic", "/p/b.heic"}));
    app.settle();
    EXPECT_EQ(announced(app.item("dropZone")).name, "2 files ready");
}

TEST_F(Accessibility, ResultRowsReadAsOneSentenceEachAndTheSummaryAsText)
{
    AppWindow app;
    app.model().setResults({ConversionResult("/p/IMG_0001.heic", std::nullopt, "Could not read image"),
                            ConversionResult("/p/IMG_0002.heic", "/p/IMG_0002.jpg", std::nullopt),
                            ConversionResult("/p/50%2 off.heic", std::nullopt, "Write failed")});
    app.settle();

    const QList<QQuickItem*> rows = app.findAll("resultRow");
    ASSERT_EQ(rows.size(), 3);
    EXPECT_EQ(announced(*rows[0]).role, QAccessible::ListItem);
    EXPECT_EQ(announced(*rows[0]).name, "IMG_0001.heic failed: Could not read image");
    EXPECT_EQ(announced(*rows[1]).name, "IMG_0002.heic converted");
    // A placeholder inside a file name is the file's name, not a place for the message.
    EXPECT_EQ(announced(*rows[2]).name, "50%2 off.heic failed: Write failed");
    EXPECT_EQ(announced(app.item("resultsListView")).role, QAccessible::List);

    const Announced summary = announced(app.item("summaryText"));
    EXPECT_EQ(summary.role, QAccessible::StaticText);
    EXPECT_EQ(summary.name, "1 converted, 2 failed");
}

}  // namespace
}  // namespace pictavo::test
