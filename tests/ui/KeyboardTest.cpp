#include "WindowHarness.h"

#include <atomic>

namespace pictavo::test {
namespace {

std::shared_ptr<std::atomic<int>> countConversions(Model& model)
{
    auto calls = std::make_shared<std::atomic<int>>(0);
    model.setConvertFunction([calls](const std::filesystem::path& source, OutputFormat, double,
                                     const std::optional<std::filesystem::path>&) {
        ++*calls;
        return ConversionResult(source, source.parent_path() / "out.jpg", std::nullopt);
    });
    return calls;
}

QString focusedName(const AppWindow& app)
{
    const QQuickItem* focused = app.window().activeFocusItem();
    return focused ? focused->objectName() : QString();
}

// Presses Tab until the focus comes back to where it started, and names each
// item it visited.
QStringList tabChain(AppWindow& app)
{
    QStringList chain;
    for (int step = 0; step < 30; ++step) {
        app.pressKey(Qt::Key_Tab);
        const QString name = focusedName(app);
        if (!chain.isEmpty() && name == chain.constFirst())
            break;
        chain.append(name);
    }
    return chain;
}

void focus(AppWindow& app, const QString& name)
{
    app.item(name).forceActiveFocus(Qt::TabFocusReason);
    app.settle();
    ASSERT_TRUE(app.item(name).hasActiveFocus()) << name.toStdString();
}

TEST(Keyboard, TabVisitsEveryControlInVisualOrder)
{
    AppWindow app;
    // The convert button is disabled while the queue is empty.
    EXPECT_EQ(tabChain(app), QStringList({"chooseFilesButton", "formatButtonJPG", "formatButtonPNG",
                                          "qualitySlider", "customOutputSwitch"}));

    app.model().setFiles(fileUrls({"/p/a.heic"}));
    app.model().setUseCustomOutput(true);
    app.model().setResults({ConversionResult("/p/a.heic", "/p/a.jpg", std::nullopt)});
    app.settle();
    EXPECT_EQ(tabChain(app), QStringList({"addMoreButton", "clearButton", "formatButtonJPG", "formatButtonPNG",
                                          "qualitySlider", "customOutputSwitch", "chooseOutputButton",
                                          "convertButton", "revealButton", "resultRow"}))
        << "the results list hands its focus to its current row";

    // Hidden controls are skipped: PNG has no quality.
    app.model().setFormat(OutputFormat::png);
    app.settle();
    EXPECT_FALSE(tabChain(app).contains("qualitySlider"));
}

TEST(Keyboard, SpaceAndReturnPressTheFocusedControlInsteadOfConverting)
{
    AppWindow app;
    const auto conversions = countConversions(app.model());
    app.model().setFiles(fileUrls({"/p/a.heic", "/p/b.heic"}));
    app.settle();

    focus(app, "formatButtonPNG");
    app.pressKey(Qt::Key_Space);
    EXPECT_EQ(app.model().format(), OutputFormat::png);
    focus(app, "formatButtonJPG");
    app.pressKey(Qt::Key_Return);
    EXPECT_EQ(app.model().format(), OutputFormat::jpg);
    EXPECT_TRUE(app.item("formatButtonJPG").property("checked").toBool());
    EXPECT_FALSE(app.item("formatButtonPNG").property("checked").toBool());
    // Pressing the chosen segment again keeps it chosen.
    app.pressKey(Qt::Key_Space);
    EXPECT_EQ(app.model().format(), OutputFormat::jpg);
    EXPECT_TRUE(app.item("formatButtonJPG").property("checked").toBool());

    focus(app, "customOutputSwitch");
    app.pressKey(Qt::Key_Return);
    EXPECT_TRUE(app.model().useCustomOutput());
    EXPECT_TRUE(app.item("customOutputSwitch").property("checked").toBool());
    app.pressKey(Qt::Key_Space);
    EXPECT_FALSE(app.model().useCustomOutput());

    focus(app, "addMoreButton");
    app.panels().answer = fileUrls({"/p/c.heic"});
    app.pressKey(Qt::Key_Return);
    EXPECT_EQ(app.panels().requests.size(), 1);
    EXPECT_EQ(app.model().files().size(), 3);

    focus(app, "clearButton");
    app.pressKey(Qt::Key_Return);
    EXPECT_TRUE(app.model().files().isEmpty());
    QTest::qWait(50);
    EXPECT_EQ(*conversions, 0) << "Return on a focused button must not also convert";
}

TEST(Keyboard, TheFocusMovesOnWhenTheDropZoneSwitchesItsButtons)
{
    AppWindow app;
    app.panels().answer = fileUrls({"/p/a.heic"});
    focus(app, "chooseFilesButton");
    app.pressKey(Qt::Key_Space);
    EXPECT_EQ(app.model().files().size(), 1);
    EXPECT_EQ(focusedName(app), "addMoreButton");

    focus(app, "clearButton");
    app.pressKey(Qt::Key_Space);
    EXPECT_TRUE(app.model().files().isEmpty());
    EXPECT_EQ(focusedName(app), "chooseFilesButton");

    // Choosing nothing leaves the focus where it was.
    app.panels().answer.reset();
    app.pressKey(Qt::Key_Return);
    EXPECT_EQ(focusedName(app), "chooseFilesButton");
}

TEST(Keyboard, ReturnConvertsFromTheSliderAndAfterAMouseClickOnAnotherButton)
{
    AppWindow app;
    const auto conversions = countConversions(app.model());
    app.model().setFiles(fileUrls({"/p/a.heic"}));
    app.settle();

    focus(app, "qualitySlider");
    app.pressKey(Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return *conversions == 1 && !app.model().isConverting(); }, 5000));

    // A click does not take the keyboard focus, so Return still means Convert.
    app.item("qualitySlider").setFocus(false);
    app.click("formatButtonPNG");
    EXPECT_NE(focusedName(app), "formatButtonPNG");
    app.pressKey(Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return *conversions == 2 && !app.model().isConverting(); }, 5000));
    EXPECT_EQ(app.model().format(), OutputFormat::png);
}

TEST(Keyboard, CtrlOChoosesFilesAndCtrlQClosesTheWindow)
{
    AppWindow app;
    app.panels().answer = fileUrls({"/p/a.heic"});
    app.window().requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&app.window()));
    QTest::keyClick(&app.window(), Qt::Key_O, Qt::ControlModifier);
    app.settle();
    EXPECT_EQ(app.panels().requests.size(), 1);
    EXPECT_EQ(app.model().files().size(), 1);

    QTest::keyClick(&app.window(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !app.window().isVisible(); }, 2000));
}

TEST(Keyboard, TheResultsListMovesThroughItsRowsAndMarksTheCurrentOneWhileFocused)
{
    AppWindow app;
    app.model().setResults({ConversionResult("/p/a.heic", "/p/a.jpg", std::nullopt),
                            ConversionResult("/p/b.heic", std::nullopt, "Could not read image"),
                            ConversionResult("/p/c.heic", "/p/c.jpg", std::nullopt)});
    app.settle();
    QQuickItem& list = app.item("resultsListView");
    EXPECT_FALSE(app.shown("resultsFocusMark"));

    focus(app, "resultsListView");
    EXPECT_TRUE(app.shown("resultsFocusMark"));
    app.pressKey(Qt::Key_Down);
    app.pressKey(Qt::Key_Down);
    EXPECT_EQ(list.property("currentIndex").toInt(), 2);
    app.pressKey(Qt::Key_Up);
    EXPECT_EQ(list.property("currentIndex").toInt(), 1);
}

}  // namespace
}  // namespace pictavo::test
