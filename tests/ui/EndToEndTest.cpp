#include "WindowHarness.h"

#include "fixtures/HeifFixtures.h"

#include <QFile>

namespace pictavo::test {
namespace {

namespace fx = pictavo::fixtures;

QString qpath(const std::filesystem::path& path)
{
    return QString::fromStdString(path.string());
}

TEST(EndToEnd, DroppedFilesAreConvertedListedAndRevealed)
{
    fx::TempDir folder;
    fx::writeHeic(folder / "beach.heic", fx::HeicImage(fx::quadrants(64, 48)));
    fx::writeHeic(folder / "Dunes.HEIF", fx::HeicImage(fx::gradient(32, 40)));
    fx::writeBytes(folder / "x.heic", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    fx::writeBytes(folder / "notes.txt", {'h', 'i'});
    const std::vector<std::uint8_t> unreadableBefore = fx::readBytes(folder / "x.heic");

    AppWindow app;
    QMimeData data;
    data.setUrls(fileUrls({qpath(folder / "beach.heic"), qpath(folder / "x.heic"), qpath(folder / "notes.txt"),
                           qpath(folder / "Dunes.HEIF")}));
    app.drop("dropZone", data);
    EXPECT_EQ(app.text("countHeadline"), "3 files ready");
    EXPECT_EQ(app.text("convertButton"), "Convert 3 to JPG");

    app.click("convertButton");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !app.model().isConverting(); }, 60000));
    app.settle();

    EXPECT_EQ(app.text("summaryText"), "2 converted, 1 failed");
    EXPECT_EQ(app.text("convertButton"), "Convert 3 to JPG");
    QList<QQuickItem*> rows = app.findAll("resultRow");
    ASSERT_EQ(rows.size(), 3);
    std::sort(rows.begin(), rows.end(), [](QQuickItem* a, QQuickItem* b) { return a->y() < b->y(); });
    QStringList names;
    QStringList errors;
    for (QQuickItem* row : rows) {
        for (QQuickItem* child : row->childItems()) {
            if (child->objectName() == "resultFileName")
                names.append(child->property("text").toString());
            if (child->objectName() == "resultError" && child->isVisible())
                errors.append(child->property("text").toString());
        }
    }
    EXPECT_EQ(names, (QStringList{"beach.heic", "x.heic", "Dunes.HEIF"}));
    EXPECT_EQ(errors, QStringList{u"\u2014 Could not read image"_qs});

    const fx::Raster beach = fx::readJpeg(folder / "beach.jpg");
    EXPECT_EQ(beach.width, 64u);
    EXPECT_EQ(beach.height, 48u);
    const fx::Raster dunes = fx::readJpeg(folder / "Dunes.jpg");
    EXPECT_EQ(dunes.width, 32u);
    EXPECT_EQ(dunes.height, 40u);
    EXPECT_EQ(folder.entries(),
              (std::vector<std::string>{"Dunes.HEIF", "Dunes.jpg", "beach.heic", "beach.jpg", "notes.txt", "x.heic"}));
    EXPECT_EQ(fx::readBytes(folder / "x.heic"), unreadableBefore);

    app.click("revealButton");
    ASSERT_EQ(app.revealer().calls.size(), 1);
    EXPECT_EQ(app.revealer().calls[0], (QStringList{qpath(folder / "beach.jpg"), qpath(folder / "Dunes.jpg")}));

    // A second run never replaces the first run's files.
    app.pressKey(Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !app.model().isConverting(); }, 60000));
    EXPECT_TRUE(std::filesystem::exists(folder / "beach-1.jpg"));
    EXPECT_TRUE(std::filesystem::exists(folder / "Dunes-1.jpg"));
}

}  // namespace
}  // namespace pictavo::test
