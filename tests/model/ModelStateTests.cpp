#include "ChangeRecorder.h"

#include "model/Model.h"

#include <gtest/gtest.h>

namespace pictavo::test {
namespace {

QUrl file(const char* path)
{
    return QUrl::fromLocalFile(QString::fromUtf8(path));
}

TEST(ModelState, StartsEmptyAsJpgAtQualityPointNine)
{
    Model model;
    EXPECT_TRUE(model.files().isEmpty());
    EXPECT_EQ(model.format(), OutputFormat::jpg);
    EXPECT_EQ(model.formatName(), "JPG");
    EXPECT_EQ(model.quality(), 0.9);
    EXPECT_TRUE(model.results().isEmpty());
    EXPECT_TRUE(model.resultRows().isEmpty());
    EXPECT_FALSE(model.isConverting());
    EXPECT_FALSE(model.useCustomOutput());
    EXPECT_FALSE(model.outputDir().has_value());
    EXPECT_TRUE(model.outputDirUrl().isEmpty());
    EXPECT_EQ(model.outputDirPath(), "");
}

// Each write announces once before storing (the old value is still visible)
// and signals its own property after storing.
TEST(ModelState, EveryWriteAnnouncesBeforeAndSignalsAfter)
{
    Model model;
    ChangeRecorder recorder(model);

    model.setFormat(OutputFormat::png);
    model.setQuality(0.5);
    model.setIsConverting(true);
    model.setUseCustomOutput(true);
    model.setOutputDir(file("/out"));
    model.setFiles({file("/a.heic")});
    model.setResults({ConversionResult("/a.heic", std::nullopt, "Write failed")});

    ASSERT_EQ(recorder.names(),
              QStringList({"will", "format", "will", "quality", "will", "isConverting", "will", "useCustomOutput",
                           "will", "outputDir", "will", "files", "will", "results"}));
    const auto& events = recorder.events();
    EXPECT_EQ(events[0].values.format, OutputFormat::jpg);
    EXPECT_EQ(events[1].values.format, OutputFormat::png);
    EXPECT_EQ(events[2].values.quality, 0.9);
    EXPECT_EQ(events[3].values.quality, 0.5);
    EXPECT_FALSE(events[4].values.isConverting);
    EXPECT_TRUE(events[5].values.isConverting);
    EXPECT_FALSE(events[6].values.useCustomOutput);
    EXPECT_TRUE(events[7].values.useCustomOutput);
    EXPECT_FALSE(events[8].values.outputDir.has_value());
    EXPECT_EQ(events[9].values.outputDir, file("/out"));
    EXPECT_TRUE(events[10].values.files.isEmpty());
    EXPECT_EQ(events[11].values.files, QList<QUrl>{file("/a.heic")});
    EXPECT_EQ(events[12].values.resultCount, 0);
    EXPECT_EQ(events[13].values.resultCount, 1);
}

TEST(ModelState, WritingTheSameValueIsStillAnnounced)
{
    Model model;
    ChangeRecorder recorder(model);
    model.setFormat(OutputFormat::jpg);
    model.setQuality(0.9);
    model.setFiles({});
    model.setOutputDir(std::nullopt);
    EXPECT_EQ(recorder.names(),
              QStringList({"will", "format", "will", "quality", "will", "files", "will", "outputDir"}));
}

TEST(ModelState, FormatByNameAcceptsOnlyTheDisplayNames)
{
    Model model;
    EXPECT_EQ(model.formatNames(), QStringList({"JPG", "PNG"}));
    ChangeRecorder recorder(model);

    model.setFormatName("PNG");
    EXPECT_EQ(model.format(), OutputFormat::png);
    EXPECT_EQ(model.formatName(), "PNG");

    for (const char* unknown : {"png", "GIF", "", "JPG "})
        model.setFormatName(unknown);
    EXPECT_EQ(model.format(), OutputFormat::png);
    EXPECT_EQ(recorder.names(), QStringList({"will", "format"}));

    model.setFormatName("JPG");
    EXPECT_EQ(model.format(), OutputFormat::jpg);
}

TEST(ModelState, ResultRowsDescribeEachResultInOrder)
{
    Model model;
    ConversionResult converted("/photos/IMG 1.HEIC", std::filesystem::path("/photos/IMG 1.jpg"), std::nullopt);
    ConversionResult failed("/photos/bad.heif", std::nullopt, "Could not read image");
    model.setResults({converted, failed});

    const QVariantList rows = model.resultRows();
    ASSERT_EQ(rows.size(), 2);
    const QVariantMap first = rows[0].toMap();
    EXPECT_EQ(first["id"].toString().toStdString(), converted.id().toString());
    EXPECT_EQ(first["source"].toString(), "/photos/IMG 1.HEIC");
    EXPECT_EQ(first["fileName"].toString(), "IMG 1.HEIC");
    EXPECT_EQ(first["output"].toString(), "/photos/IMG 1.jpg");
    EXPECT_EQ(first["error"].toString(), "");
    EXPECT_TRUE(first["ok"].toBool());

    const QVariantMap second = rows[1].toMap();
    EXPECT_EQ(second["id"].toString().toStdString(), failed.id().toString());
    EXPECT_NE(second["id"], first["id"]);
    EXPECT_EQ(second["fileName"].toString(), "bad.heif");
    EXPECT_EQ(second["output"].toString(), "");
    EXPECT_EQ(second["error"].toString(), "Could not read image");
    EXPECT_FALSE(second["ok"].toBool());
}

}  // namespace
}  // namespace pictavo::test
