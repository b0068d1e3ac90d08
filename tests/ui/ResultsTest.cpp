#include "WindowHarness.h"

#include "FrozenWriter.h"

#include <QAccessible>

#include <cerrno>

namespace pictavo::test {
namespace {

namespace fx = pictavo::fixtures;

const auto failed = [](const std::string& source) { return ConversionResult::failure(source, FailureKind::unreadable); };

// A row: its mark, its file name (a long one loses its middle) and its reason, which stays whole.
TEST(Results, RowsShowMarkNameAndReasonAndTheListGrowsUpTo140)
{
    QAccessible::setActive(true);
    AppWindow app;
    const QString name = "Summer holiday in the mountains, the view from the hut at dawn - 0000000001.HEIC";
    app.model().setResults({failed("/p/" + name.toStdString())});
    app.settle();
    QQuickItem& fileName = app.item("resultFileName");
    const QQuickItem& reason = app.item("resultError");
    EXPECT_TRUE(fileName.property("truncated").toBool());
    EXPECT_EQ(fileName.property("elide").toInt(), Qt::ElideMiddle);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(&fileName)->text(QAccessible::Name), name);
    // The reason has all the room it needs, beside the name and inside the list.
    EXPECT_GE(reason.width(), reason.implicitWidth());
    EXPECT_LE(fileName.x() + fileName.width(), reason.x());
    const QQuickItem& list = app.item("resultsList");
    EXPECT_LE(reason.mapToItem(&list, QPointF(reason.width(), 0)).x(), list.width());

    app.model().setResults({failed("/p/IMG 0001.edited.HEIC"), ConversionResult("/p/holiday.v2.heif", "/p/h.jpg", std::nullopt)});
    app.settle();
    const QList<QQuickItem*> marks = app.findAll("resultStatus");
    ASSERT_EQ(marks.size(), 2);
    EXPECT_EQ(std::pair(marks[0]->property("ok").toBool(), marks[1]->property("ok").toBool()), std::pair(false, true));
    // Image.Ready: the symbol is drawn (a data URL loads asynchronously).
    EXPECT_TRUE(QTest::qWaitFor([&] { return marks[0]->property("status").toInt() == 1; }, 5000));
    EXPECT_EQ(app.text("resultFileName"), "IMG 0001.edited.HEIC\nholiday.v2.heif");
    EXPECT_FALSE(app.item("resultFileName").property("truncated").toBool());  // shown whole while there is room
    EXPECT_EQ(app.text("resultError"), u"\u2014 Could not read image\n\u2014 "_s);
    EXPECT_FALSE(app.findAll("resultError")[1]->isVisible());

    const qreal twoRows = list.height();
    app.model().setResults({failed("/p/a.heic")});
    app.settle();
    EXPECT_LT(list.height(), twoRows);
    app.model().setResults(QList<ConversionResult>(40, failed("/p/a.heic")));
    app.window().resize(520, 700);  // a 520 high window has less room, and never grows by itself
    app.settle();
    EXPECT_EQ(list.height(), 140);
}

TEST(Results, DroppedLocalPhotosAreQueuedConvertedListedAndRevealed)
{
    fx::TempDir folder;
    fx::writeHeic(folder / "beach.heic", fx::HeicImage(fx::quadrants(64, 48)));
    fx::writeHeic(folder / "Dunes.HEIF", fx::HeicImage(fx::gradient(32, 40)));
    fx::writeBytes(folder / "x.heic", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    const auto path = [&](const char* name) { return QString::fromStdString((folder / name).string()); };

    AppWindow app;
    // A drag without local files neither lights the zone nor drops.
    QMimeData text, remote, files;
    text.setText("/p/a.heic");
    remote.setUrls({QUrl("https://example.org/a.heic")});
    for (const QMimeData* data : {&text, &remote})
        EXPECT_FALSE(app.drop(*data)) << (data == &text ? "text" : "a remote URL");
    EXPECT_TRUE(app.model().files().isEmpty());

    // Only files named .heic, .heif or .hif, in any case, enter the queue: in order, each once.
    const std::pair<const char*, bool> names[]{
        {"/p/a.heic", true}, {"/p/b.HEIC", true}, {"/p/photo.jpg.HeIf", true}, {"/p/x.y/IMG.heif", true},
        {"/p/album.heic/", true}, {"/p/C0001.HIF", true}, {"/p/photo.heic.jpg", false}, {"/p/heic", false},
        {"/p/photo.heic.", false}, {"/p.heic/photo", false}, {"/p/a.HE\u0130C", false}};
    QList<QUrl> dropped, queued;
    for (const auto& [name, convertible] : names) {
        dropped << QUrl::fromLocalFile(name) << QUrl::fromLocalFile(name);
        if (convertible)
            queued << QUrl::fromLocalFile(name);
    }
    files.setUrls(dropped);
    EXPECT_TRUE(app.drop(files));
    EXPECT_EQ(app.model().files(), queued);
    app.click("clearButton");
    files.setUrls(fileUrls({path("beach.heic"), path("x.heic"), path("Dunes.HEIF")}));
    app.drop(files);
    app.click("formatButtonPNG");
    app.pressKey(Qt::Key_Return);  // Convert, as the window's default button
    ASSERT_TRUE(app.model().isConverting());
    ASSERT_TRUE(app.waitForRun());

    EXPECT_EQ(app.text("summaryText"), "2 converted, 1 failed");
    EXPECT_EQ(app.text("resultFileName"), "beach.heic\nx.heic\nDunes.HEIF");
    EXPECT_EQ(folder.entries(), (std::vector<std::string>{"Dunes.HEIF", "Dunes.png", "beach.heic", "beach.png", "x.heic"}));

    app.click("revealButton");  // every written file, in list order
    EXPECT_EQ(app.revealer.calls, QList<QStringList>{QStringList({path("beach.png"), path("Dunes.png")})});
}

// Stop (or Escape) mid-file: the files finished stay and are listed, the file
// in hand leaves nothing, its worker is gone, and the next run goes on with the files not converted.
// The worker is frozen while it writes, so the stop cannot wait for it unnoticed.
TEST(Results, AStoppedRunKeepsItsFinishedFilesAndLeavesNoPartialFileNorWorker)
{
    fx::TempDir out;  // the photos, and the outputs beside them
    AppWindow app;
    app.model().setFormat(OutputFormat::png);
    app.model().addFiles(fileUrls(largePhotos(out.path(), 4)));

    // Stopped after one file, then, in the next run, before any.
    const std::pair<const char*, std::size_t> ways[] = {{"Escape", 1}, {"stopButton", 0}};
    int queued = 4;
    for (const auto& [way, finishing] : ways) {
        SCOPED_TRACE(way);
        const std::size_t existing = out.entries().size();
        app.click("convertButton");
        const std::optional<pid_t> writer = freezeWriter(out.path(), existing + finishing);
        ASSERT_TRUE(writer) << "no file was being written";
        const std::vector<std::string> before = out.entries();
        const int finished = int(before.size() - existing);
        app.settle();
        EXPECT_EQ(app.text("progressCount"), QStringLiteral("%1 of %2").arg(finished).arg(queued));

        way == std::string("Escape") ? app.pressKey(Qt::Key_Escape) : app.click(way);
        ASSERT_TRUE(app.waitForRun());

        EXPECT_TRUE(::kill(*writer, 0) == -1 && errno == ESRCH) << "the worker outlived the stop";
        EXPECT_EQ(out.entries(), before);
        EXPECT_EQ(app.text("stoppedText"), QStringLiteral("Stopped: %1 not converted").arg(queued - finished));
        queued -= finished;
        EXPECT_EQ(app.model().fileCount(), queued);
        EXPECT_EQ(app.shown("resultsSummary"), finished > 0);
        if (finished > 0) {
            EXPECT_EQ(app.text("summaryText"), QStringLiteral("%1 converted").arg(finished));
            EXPECT_EQ(app.item("summaryText").property("color").value<QColor>(), QColor("#c75c00"));
        }
    }
    app.click("clearButton");  // what Stop left goes with the queue
    EXPECT_FALSE(app.shown("stoppedText"));
}

}  // namespace
}  // namespace pictavo::test
