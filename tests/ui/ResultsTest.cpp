#include "WindowHarness.h"

#include <QCoreApplication>

namespace pictavo::test {
namespace {

const QColor green("#248a3d");
const QColor orange("#c75c00");
const QColor red("#d70015");

ConversionResult converted(const std::string& source, const std::string& output)
{
    return ConversionResult(source, output, std::nullopt);
}

ConversionResult failed(const std::string& source, const std::string& error = "Could not read image")
{
    return ConversionResult(source, std::nullopt, error);
}

void show(AppWindow& app, QList<ConversionResult> results)
{
    app.model().setResults(std::move(results));
    app.settle();
}

TEST(Results, NothingIsShownWithoutResultsAndBothPiecesComeAndGoWithThem)
{
    AppWindow app;
    EXPECT_FALSE(app.shown("resultsSummary") || app.shown("summaryText") || app.shown("revealButton"));
    EXPECT_FALSE(app.shown("resultsList"));

    show(app, {converted("/p/a.heic", "/p/a.jpg")});
    EXPECT_TRUE(app.shown("summaryText") && app.shown("revealButton") && app.shown("resultsList"));
    // The summary sits at the trailing end of the action row, the list below it.
    QQuickItem& summary = app.item("resultsSummary");
    EXPECT_NEAR(summary.mapToScene(QPointF(summary.width(), 0)).x(), app.window().width() - 24, 1);
    EXPECT_GT(app.item("resultsList").mapToScene(QPointF()).y(),
              app.item("actionRow").mapToScene(QPointF(0, app.item("actionRow").height())).y());

    show(app, {});
    EXPECT_FALSE(app.shown("resultsSummary") || app.shown("resultsList"));
}

TEST(Results, TheSummaryCountsConvertedAndFailedFilesGreenOnlyWithoutFailures)
{
    AppWindow app;
    show(app, {converted("/p/a.heic", "/p/a.jpg"), converted("/p/b.heic", "/p/b.jpg"),
               converted("/p/c.heic", "/p/c.jpg")});
    EXPECT_EQ(app.text("summaryText"), "3 converted");
    EXPECT_EQ(app.colour("summaryText"), green);

    show(app, {converted("/p/a.heic", "/p/a.jpg"), converted("/p/b.heic", "/p/b.jpg"), failed("/p/c.heic")});
    EXPECT_EQ(app.text("summaryText"), "2 converted, 1 failed");
    EXPECT_EQ(app.colour("summaryText"), orange);

    show(app, {failed("/p/a.heic"), failed("/p/b.heic"), failed("/p/c.heic"), failed("/p/d.heic")});
    EXPECT_EQ(app.text("summaryText"), "0 converted, 4 failed");
    EXPECT_EQ(app.colour("summaryText"), orange);
}

TEST(Results, TheRevealButtonIsThereWhenTheFirstConvertedFileHasAnOutput)
{
    AppWindow app;
    show(app, {converted("/p/a.heic", "/p/a.jpg"), converted("/p/b.heic", "/p/b.jpg")});
    EXPECT_TRUE(app.shown("revealButton"));

    show(app, {failed("/p/a.heic"), converted("/p/b.heic", "/p/b.jpg")});
    EXPECT_EQ(app.text("summaryText"), "1 converted, 1 failed");
    EXPECT_TRUE(app.shown("revealButton"));

    show(app, {failed("/p/a.heic"), failed("/p/b.heic")});
    EXPECT_EQ(app.text("summaryText"), "0 converted, 2 failed");
    EXPECT_FALSE(app.shown("revealButton"));

    // Only the first converted file is asked.
    show(app, {ConversionResult("/p/a.heic", std::nullopt, std::nullopt), converted("/p/b.heic", "/p/b.jpg")});
    EXPECT_FALSE(app.shown("revealButton"));
}

TEST(Results, TheRevealButtonHandsEveryWrittenFileInListOrder)
{
    AppWindow app;
    show(app, {converted("/p/b.heic", "/out/b.jpg"), failed("/p/x.heic"), converted("/p/a.heic", "/out/a-1.jpg")});
    app.click("revealButton");
    ASSERT_EQ(app.revealer().calls.size(), 1);
    EXPECT_EQ(app.revealer().calls[0], (QStringList{"/out/b.jpg", "/out/a-1.jpg"}));
    EXPECT_EQ(app.model().results().size(), 3);

    // Results that change while shown are read afresh when pressed.
    show(app, {failed("/p/x.heic"), converted("/p/c.heic", "/out/c.png")});
    app.click("revealButton");
    ASSERT_EQ(app.revealer().calls.size(), 2);
    EXPECT_EQ(app.revealer().calls[1], QStringList{"/out/c.png"});
}

TEST(Results, EachRowShowsItsMarkTheWholeFileNameAndForAFailureTheMessage)
{
    AppWindow app;
    show(app, {failed("/p/IMG 0001.edited.HEIC", "Could not read image"),
               converted("/p/holiday.final.v2.heif", "/p/holiday.final.v2.jpg")});
    const QList<QQuickItem*> rows = app.findAll("resultRow");
    ASSERT_EQ(rows.size(), 2);
    std::vector<QQuickItem*> ordered(rows.begin(), rows.end());
    std::sort(ordered.begin(), ordered.end(), [](QQuickItem* a, QQuickItem* b) { return a->y() < b->y(); });

    auto child = [](QQuickItem* row, const char* name) {
        for (QQuickItem* item : row->childItems())
            if (item->objectName() == QLatin1String(name))
                return item;
        ADD_FAILURE() << "row without " << name;
        return row;
    };

    QQuickItem* failure = ordered[0];
    EXPECT_TRUE(child(failure, "resultStatus")->property("source").toUrl().toString().endsWith("cross.svg"));
    EXPECT_EQ(child(failure, "resultStatus")->property("status").toInt(), 1 /* Image.Ready */);
    EXPECT_EQ(child(failure, "resultFileName")->property("text").toString(), "IMG 0001.edited.HEIC");
    EXPECT_TRUE(child(failure, "resultError")->isVisible());
    EXPECT_EQ(child(failure, "resultError")->property("text").toString(), u"\u2014 Could not read image"_qs);
    EXPECT_EQ(child(failure, "resultError")->property("color").value<QColor>(), red);

    QQuickItem* success = ordered[1];
    EXPECT_TRUE(child(success, "resultStatus")->property("source").toUrl().toString().endsWith("check.svg"));
    EXPECT_EQ(child(success, "resultStatus")->property("status").toInt(), 1 /* Image.Ready */);
    EXPECT_EQ(child(success, "resultFileName")->property("text").toString(), "holiday.final.v2.heif");
    EXPECT_FALSE(child(success, "resultError")->isVisible());
}

TEST(Results, TheListGrowsWithItsRowsUpTo140AndThenScrolls)
{
    AppWindow app;
    show(app, {converted("/p/a.heic", "/p/a.jpg")});
    QQuickItem& box = app.item("resultsList");
    QQuickItem& view = app.item("resultsListView");
    const qreal oneRow = box.height();
    EXPECT_LT(oneRow, 140);
    EXPECT_NEAR(oneRow, view.property("contentHeight").toReal() + 16, 0.5);

    show(app, {converted("/p/a.heic", "/p/a.jpg"), converted("/p/b.heic", "/p/b.jpg")});
    EXPECT_GT(box.height(), oneRow);

    const qreal actionRowTop = app.item("actionRow").mapToScene(QPointF()).y();
    QList<ConversionResult> many;
    for (int i = 0; i < 40; ++i)
        many.append(i % 3 ? converted(QStringLiteral("/p/%1.heic").arg(i).toStdString(), "/p/x.jpg")
                          : failed(QStringLiteral("/p/%1.heic").arg(i).toStdString()));
    show(app, many);
    EXPECT_EQ(box.height(), 140);
    EXPECT_GT(view.property("contentHeight").toReal(), 140);
    EXPECT_EQ(view.property("contentY").toReal(), view.property("originY").toReal() - 8) << "must not scroll by itself";
    EXPECT_EQ(app.item("actionRow").mapToScene(QPointF()).y(), actionRowTop);

    // The rest of the rows can be reached by scrolling.
    const QPoint inside = box.mapToScene(QPointF(box.width() / 2, box.height() / 2)).toPoint();
    QWheelEvent wheel(inside, app.window().mapToGlobal(inside), QPoint(), QPoint(0, -600), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&app.window(), &wheel);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.property("contentY").toReal() > 0; }, 2000));
}

TEST(Results, TheEnglishStringTableRewordsTheRevealButtonAndFormsTheCountLine)
{
    AppWindow app;
    app.model().setFiles(fileUrls({"/p/a.heic"}));
    show(app, {converted("/p/a.heic", "/p/a.jpg")});
    EXPECT_EQ(app.text("revealButton"), "Show in Folder");
    EXPECT_EQ(app.text("convertButton"), "Convert 1 to JPG");
    EXPECT_EQ(app.text("countHeadline"), "1 file ready");
    EXPECT_EQ(app.text("addMoreButton"), u"Add More\u2026"_qs);
    EXPECT_EQ(app.text("customOutputSwitch"), "Save to folder:");
    app.model().setFiles(fileUrls({"/p/a.heic", "/p/b.heic"}));
    app.settle();
    EXPECT_EQ(app.text("countHeadline"), "2 files ready");
}

}  // namespace
}  // namespace pictavo::test
