#include "ChangeRecorder.h"

#include "fixtures/HeifFixtures.h"
#include "core/Converter.h"
#include "model/Model.h"

#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <algorithm>

namespace pictavo::test {
namespace {

namespace fs = std::filesystem;
using namespace pictavo::fixtures;

QUrl urlOf(const fs::path& path)
{
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}

HeicImage imageOf(Pixels pixels)
{
    HeicImage image;
    image.pixels = std::move(pixels);
    return image;
}

// The model's own converter over real HEIC files, the middle one broken.
TEST(RealConversion, MiddleFileFailsAndTheOthersAreWrittenIntoTheChosenFolder)
{
    TempDir dir;
    fs::create_directory(dir / "out");
    writeHeic(dir / "one.heic", imageOf(quadrants(64, 48)));
    writeBytes(dir / "two.heic", std::vector<std::uint8_t>(300, 0x5a));
    writeHeic(dir / "three.HEIC", imageOf(gradient(32, 40)));
    const auto middleBytes = readBytes(dir / "two.heic");

    Model model;
    model.addFiles({urlOf(dir / "one.heic"), urlOf(dir / "two.heic"), urlOf(dir / "three.HEIC")});
    model.setUseCustomOutput(true);
    model.setOutputDir(urlOf(dir / "out"));
    model.setFormat(OutputFormat::jpg);
    ChangeRecorder recorder(model);

    model.convertAll();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isConverting(); }, 60000));

    EXPECT_EQ(recorder.names(), QStringList({"will", "isConverting", "will", "results", "will", "results", "will",
                                             "isConverting"}));
    const QList<ConversionResult>& results = model.results();
    ASSERT_EQ(results.size(), 3);
    EXPECT_EQ(results[0].source(), dir / "one.heic");
    EXPECT_EQ(results[1].source(), dir / "two.heic");
    EXPECT_EQ(results[2].source(), dir / "three.HEIC");

    EXPECT_EQ(results[0].output(), dir / "out" / "one.jpg");
    EXPECT_EQ(results[1].error(), std::string(kCouldNotReadImage));
    EXPECT_FALSE(results[1].output().has_value());
    EXPECT_EQ(results[2].output(), dir / "out" / "three.jpg");

    const Raster first = readJpeg(dir / "out" / "one.jpg");
    EXPECT_EQ(first.width, 64u);
    EXPECT_EQ(first.height, 48u);
    const Raster third = readJpeg(dir / "out" / "three.jpg");
    EXPECT_EQ(third.width, 32u);
    EXPECT_EQ(third.height, 40u);

    // Nothing else was written, and the broken input is untouched.
    EXPECT_EQ(dir.entries(), std::vector<std::string>({"one.heic", "out", "three.HEIC", "two.heic"}));
    std::vector<std::string> written;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir / "out"))
        written.push_back(entry.path().filename().string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, std::vector<std::string>({"one.jpg", "three.jpg"}));
    EXPECT_EQ(readBytes(dir / "two.heic"), middleBytes);
}

// The queue stays after a run; the next run writes beside the first outputs.
TEST(RealConversion, ConvertingAgainPicksFreshNamesNextToTheInputs)
{
    TempDir dir;
    writeHeic(dir / "photo.heif", imageOf(quadrants(16, 16)));
    Model model;
    model.addFiles({urlOf(dir / "photo.heif")});
    model.setFormat(OutputFormat::png);

    for (int run = 0; run < 2; ++run) {
        model.convertAll();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isConverting(); }, 60000));
    }

    ASSERT_EQ(model.results().size(), 1);
    EXPECT_EQ(model.results()[0].output(), dir / "photo-1.png");
    EXPECT_EQ(dir.entries(), std::vector<std::string>({"photo-1.png", "photo.heif", "photo.png"}));
    EXPECT_EQ(readPng(dir / "photo-1.png").width, 16u);
}

}  // namespace
}  // namespace pictavo::test
