#include "WindowHarness.h"

#include <QQmlProperty>

#include <atomic>

namespace pictavo::test {
namespace {

// A conversion that succeeds without touching the disk and counts its calls.
struct CountingConversion {
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);

    Model::ConvertFunction function() const
    {
        return [calls = calls](const std::filesystem::path& source, OutputFormat, double,
                               const std::optional<std::filesystem::path>&) {
            ++*calls;
            return ConversionResult(source, source.parent_path() / "out.jpg", std::nullopt);
        };
    }
};

bool waitForRunToEnd(AppWindow& app)
{
    const bool ended = QTest::qWaitFor([&] { return !app.model().isConverting(); }, 10000);
    app.settle();
    return ended;
}

TEST(ContentView, OpensWithTheTitleHeadlineAndTheModelsInitialSettings)
{
    AppWindow app;
    EXPECT_EQ(app.window().title(), "Pictavo");
    EXPECT_EQ(app.text("headline"), "Pictavo");
    EXPECT_TRUE(app.item("headline").property("font").value<QFont>().bold());
    EXPECT_TRUE(app.item("formatButtonJPG").property("checked").toBool());
    EXPECT_FALSE(app.item("formatButtonPNG").property("checked").toBool());
    EXPECT_EQ(app.item("formatPicker").width(), 160);
    EXPECT_EQ(app.text("qualityLabel"), "Quality");
    EXPECT_EQ(app.text("qualityPercentage"), "90%");
    EXPECT_FALSE(app.item("customOutputSwitch").property("checked").toBool());
    EXPECT_EQ(app.text("customOutputSwitch"), "Save to folder:");
    EXPECT_EQ(app.text("nextToOriginalsHint"), "(saves next to originals)");
    EXPECT_FALSE(app.shown("resultsSummary") || app.shown("resultsList") || app.shown("revealButton"));
}

TEST(ContentView, TheQualityGroupIsShownOnlyForJpgAndKeepsItsValue)
{
    AppWindow app;
    app.model().setQuality(0.42);
    app.click("formatButtonPNG");
    EXPECT_EQ(app.model().format(), OutputFormat::png);
    EXPECT_TRUE(app.item("formatButtonPNG").property("checked").toBool());
    EXPECT_FALSE(app.item("formatButtonJPG").property("checked").toBool());
    EXPECT_FALSE(app.shown("qualityGroup"));
    EXPECT_FALSE(app.shown("qualityLabel") || app.shown("qualitySlider") || app.shown("qualityPercentage"));

    app.click("formatButtonJPG");
    EXPECT_EQ(app.model().format(), OutputFormat::jpg);
    EXPECT_TRUE(app.shown("qualityLabel") && app.shown("qualitySlider") && app.shown("qualityPercentage"));
    EXPECT_EQ(app.text("qualityPercentage"), "42%");
    EXPECT_DOUBLE_EQ(app.item("qualitySlider").property("value").toDouble(), 0.42);

    // Clicking the selected segment keeps it selected; a format set by the model is shown.
    app.click("formatButtonJPG");
    EXPECT_TRUE(app.item("formatButtonJPG").property("checked").toBool());
    app.model().setFormat(OutputFormat::png);
    app.settle();
    EXPECT_TRUE(app.item("formatButtonPNG").property("checked").toBool());
    EXPECT_FALSE(app.item("formatButtonJPG").property("checked").toBool());
    EXPECT_FALSE(app.shown("qualityGroup"));
}

TEST(ContentView, ThePercentageIsTheQualityTimesAHundredTruncated)
{
    AppWindow app;
    const std::pair<double, const char*> cases[] = {
        {0.9, "90%"}, {0.1, "10%"}, {1.0, "100%"}, {0.57, "56%"}, {0.29, "28%"}, {0.999, "99%"},
    };
    for (const auto& [quality, shown] : cases) {
        app.model().setQuality(quality);
        app.settle();
        EXPECT_EQ(app.text("qualityPercentage"), shown) << "quality " << quality;
    }
}

TEST(ContentView, DraggingTheSliderPastItsEndWritesTheLowestQuality)
{
    AppWindow app;
    QQuickItem& slider = app.item("qualitySlider");
    EXPECT_EQ(slider.width(), 130);
    const QPointF start = slider.mapToScene(QPointF(slider.width() * 0.5, slider.height() / 2));
    const QPointF end = slider.mapToScene(QPointF(-20, slider.height() / 2));
    QTest::mousePress(&app.window(), Qt::LeftButton, Qt::NoModifier, start.toPoint());
    QTest::mouseMove(&app.window(), slider.mapToScene(QPointF(slider.width() * 0.3, slider.height() / 2)).toPoint());
    QTest::mouseMove(&app.window(), end.toPoint());
    QTest::mouseRelease(&app.window(), Qt::LeftButton, Qt::NoModifier, end.toPoint());
    app.settle();
    EXPECT_DOUBLE_EQ(app.model().quality(), 0.1);
    EXPECT_EQ(app.text("qualityPercentage"), "10%");
}

TEST(ContentView, TheConvertButtonNamesCountAndFormatAndIsDisabledWhenItCannotRun)
{
    AppWindow app;
    EXPECT_EQ(app.text("convertButton"), "Convert to JPG");
    EXPECT_EQ(app.text("convertLabel"), "Convert to JPG");
    EXPECT_FALSE(app.enabled("convertButton"));

    app.model().setFiles(fileUrls({"/photos/a.heic"}));
    app.model().setFormat(OutputFormat::png);
    app.settle();
    EXPECT_EQ(app.text("convertButton"), "Convert 1 to PNG");
    EXPECT_TRUE(app.enabled("convertButton"));
    EXPECT_FALSE(app.shown("convertBusyIndicator"));

    QStringList twelve;
    for (int i = 0; i < 12; ++i)
        twelve.append(QStringLiteral("/photos/%1.heic").arg(i));
    app.model().setFiles(fileUrls(twelve));
    app.model().setFormat(OutputFormat::jpg);
    app.settle();
    EXPECT_EQ(app.text("convertButton"), "Convert 12 to JPG");

    app.model().setIsConverting(true);
    app.settle();
    EXPECT_EQ(app.text("convertLabel"), u"Converting\u2026"_qs);
    EXPECT_TRUE(app.shown("convertBusyIndicator"));
    EXPECT_FALSE(app.enabled("convertButton"));

    app.model().setIsConverting(false);
    app.settle();
    EXPECT_EQ(app.text("convertLabel"), "Convert 12 to JPG");
    EXPECT_FALSE(app.shown("convertBusyIndicator"));
    EXPECT_TRUE(app.enabled("convertButton"));
}

TEST(ContentView, ClickOrReturnStartsARunOnlyWhileTheButtonIsEnabled)
{
    AppWindow app;
    CountingConversion conversion;
    app.model().setConvertFunction(conversion.function());

    app.pressKey(Qt::Key_Return);
    app.click("convertButton");
    QTest::qWait(50);
    EXPECT_EQ(*conversion.calls, 0);
    EXPECT_TRUE(app.model().results().isEmpty());

    app.model().setFiles(fileUrls({"/photos/a.heic", "/photos/b.heic"}));
    app.settle();
    app.pressKey(Qt::Key_Return);
    ASSERT_TRUE(waitForRunToEnd(app));
    EXPECT_EQ(*conversion.calls, 2);
    EXPECT_EQ(app.model().results().size(), 2);

    app.pressKey(Qt::Key_Enter);
    ASSERT_TRUE(waitForRunToEnd(app));
    EXPECT_EQ(*conversion.calls, 4);

    app.click("convertButton");
    ASSERT_TRUE(waitForRunToEnd(app));
    EXPECT_EQ(*conversion.calls, 6);

    // While a run is in progress Return does nothing (a new run would empty the results).
    app.model().setIsConverting(true);
    app.settle();
    app.pressKey(Qt::Key_Return);
    QTest::qWait(50);
    EXPECT_EQ(*conversion.calls, 6);
    EXPECT_EQ(app.model().results().size(), 2);
    app.model().setIsConverting(false);
}

TEST(ContentView, TheOutputRowShowsTheFolderOrTheHintAndChoosesAFolder)
{
    AppWindow app;
    EXPECT_TRUE(app.shown("nextToOriginalsHint"));
    EXPECT_FALSE(app.shown("outputFolderText") || app.shown("chooseOutputButton"));

    app.click("customOutputSwitch");
    EXPECT_TRUE(app.model().useCustomOutput());
    EXPECT_TRUE(app.panels().requests.isEmpty()) << "turning the switch on must not open a chooser";
    EXPECT_EQ(app.text("outputFolderText"), "Not set");
    EXPECT_EQ(app.text("chooseOutputButton"), u"Choose\u2026"_qs);
    EXPECT_FALSE(app.shown("nextToOriginalsHint"));

    app.panels().answer = QList<QUrl>{QUrl("file:///tmp/My%20Exports")};
    app.click("chooseOutputButton");
    ASSERT_EQ(app.panels().requests.size(), 1);
    EXPECT_TRUE(app.panels().requests[0].canChooseDirectories);
    EXPECT_EQ(app.text("outputFolderText"), "/tmp/My Exports");

    // A long path stays on one line and loses characters in its middle.
    const QString longPath = "/home/someone/" + QString(300, u'x') + "/final";
    app.model().setOutputDir(QUrl::fromLocalFile(longPath));
    app.settle();
    QQuickItem& folder = app.item("outputFolderText");
    EXPECT_EQ(folder.property("text").toString(), longPath);
    EXPECT_TRUE(folder.property("truncated").toBool());
    EXPECT_EQ(QQmlProperty::read(&folder, "elide").toInt(), Qt::ElideMiddle);
    EXPECT_LE(folder.height(), app.item("chooseOutputButton").height());
    QQuickItem& choose = app.item("chooseOutputButton");
    EXPECT_LE(choose.mapToScene(QPointF(choose.width(), 0)).x(), app.window().width() - 24);

    app.click("customOutputSwitch");
    EXPECT_FALSE(app.model().useCustomOutput());
    EXPECT_TRUE(app.shown("nextToOriginalsHint"));
    EXPECT_FALSE(app.shown("outputFolderText") || app.shown("chooseOutputButton"));
}

TEST(ContentView, TheWindowIsNeverSmallerThan520By520AndKeepsItsRowsAtTheTop)
{
    AppWindow app;
    EXPECT_EQ(app.window().minimumSize(), QSize(520, 520));
    EXPECT_GE(app.window().maximumSize().width(), 16777215);
    const qreal actionRowTop = app.item("actionRow").mapToScene(QPointF()).y();

    app.window().resize(800, 900);
    app.settle();
    EXPECT_EQ(app.item("actionRow").mapToScene(QPointF()).y(), actionRowTop);
    EXPECT_EQ(app.item("dropZone").width(), 800 - 48);

    // Content taller than 520 raises the minimum and grows the window, so nothing is cut off.
    app.window().resize(520, 520);
    QList<ConversionResult> results;
    for (int i = 0; i < 20; ++i)
        results.append(ConversionResult(QStringLiteral("/p/%1.heic").arg(i).toStdString(), std::nullopt,
                                        "Write failed"));
    app.model().setResults(results);
    app.settle();
    const qreal listBottom = app.item("resultsList").mapToScene(QPointF(0, app.item("resultsList").height())).y();
    EXPECT_GE(app.window().minimumHeight(), listBottom + 24);
    EXPECT_GE(app.window().height(), app.window().minimumHeight());
}

}  // namespace
}  // namespace pictavo::test
