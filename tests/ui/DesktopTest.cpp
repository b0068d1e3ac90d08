#include "WindowHarness.h"

#include <QAccessible>
#include <QSignalSpy>

#include <functional>

namespace pictavo::test {
namespace {

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

}  // namespace
}  // namespace pictavo::test
