#include "ChangeRecorder.h"
#include "FakePanels.h"
#include "RecordingConverter.h"

#include "model/Model.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

namespace pictavo::test {
namespace {

namespace fs = std::filesystem;

QUrl file(const QString& path)
{
    return QUrl::fromLocalFile(path);
}

QList<fs::path> sourcesOf(const QList<ConvertCall>& calls)
{
    QList<fs::path> sources;
    for (const ConvertCall& call : calls)
        sources.append(call.source);
    return sources;
}

QList<fs::path> sourcesOf(const QList<ConversionResult>& results)
{
    QList<fs::path> sources;
    for (const ConversionResult& result : results)
        sources.append(result.source());
    return sources;
}

class BatchConversion : public ::testing::Test {
protected:
    void SetUp() override { model.setConvertFunction(converter.function()); }

    void TearDown() override
    {
        converter.gate.open();
        QThreadPool::globalInstance()->waitForDone();
    }

    bool waitForRunEnd() { return QTest::qWaitFor([this] { return !model.isConverting(); }, 20000); }

    // Blocks until the run has made `count` calls, so the test knows the
    // worker is inside the conversion function.
    bool waitForCalls(qsizetype count)
    {
        return QTest::qWaitFor([&] { return converter.calls().size() >= count; }, 20000);
    }

    RecordingConverter converter;
    Model model;
};

TEST_F(BatchConversion, EmptyQueueStartsNothing)
{
    model.setResults({ConversionResult("/p/old.heic", std::nullopt, "Write failed")});
    ChangeRecorder recorder(model);
    model.convertAll();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();

    EXPECT_TRUE(recorder.names().isEmpty());
    EXPECT_FALSE(model.isConverting());
    EXPECT_EQ(model.results().size(), 1);
    EXPECT_TRUE(converter.calls().isEmpty());
}

// The whole life of a run as the window sees it: busy with no results while
// converting, then all results in one write followed by the busy flag.
TEST_F(BatchConversion, RunPublishesAllResultsAtOnceInQueueOrder)
{
    const QList<QUrl> queue{file("/p/one.heic"), file("/p/two-bad.heic"), file("/p/three.heif")};
    model.addFiles(queue);
    model.setResults({ConversionResult("/p/old.heic", std::nullopt, "Write failed")});
    QThread* publishedOn = nullptr;
    QObject::connect(&model, &Model::resultsChanged, &model, [&] { publishedOn = QThread::currentThread(); });
    ChangeRecorder recorder(model);
    converter.gate.close();

    model.convertAll();

    ASSERT_EQ(recorder.names(), QStringList({"will", "isConverting", "will", "results"}));
    EXPECT_FALSE(recorder.events()[0].values.isConverting);
    EXPECT_EQ(recorder.events()[2].values.resultCount, 1);
    ASSERT_TRUE(waitForCalls(1));
    QCoreApplication::processEvents();
    EXPECT_TRUE(model.isConverting());
    EXPECT_TRUE(model.results().isEmpty());
    EXPECT_EQ(recorder.events().size(), 4);

    converter.gate.open();
    ASSERT_TRUE(waitForRunEnd());

    ASSERT_EQ(recorder.names(), QStringList({"will", "isConverting", "will", "results", "will", "results", "will",
                                             "isConverting"}));
    const auto& events = recorder.events();
    EXPECT_EQ(events[4].values.resultCount, 0);
    EXPECT_EQ(events[5].values.resultCount, 3);
    EXPECT_TRUE(events[5].values.isConverting);
    EXPECT_FALSE(events[7].values.isConverting);
    EXPECT_EQ(publishedOn, model.thread());

    const QList<ConversionResult>& results = model.results();
    ASSERT_EQ(results.size(), 3);
    EXPECT_EQ(sourcesOf(results), QList<fs::path>({"/p/one.heic", "/p/two-bad.heic", "/p/three.heif"}));
    EXPECT_TRUE(results[0].ok());
    EXPECT_EQ(results[1].error(), std::string(kCouldNotReadImage));
    EXPECT_TRUE(results[2].ok());
    EXPECT_EQ(model.files(), queue);

    const QList<ConvertCall> calls = converter.calls();
    EXPECT_EQ(sourcesOf(calls), sourcesOf(results));
    EXPECT_EQ(converter.maxRunning(), 1);
    for (const ConvertCall& call : calls) {
        EXPECT_NE(call.thread, model.thread());
        EXPECT_EQ(call.format, OutputFormat::jpg);
        EXPECT_EQ(call.quality, 0.9);
        EXPECT_FALSE(call.folder.has_value());
    }
}

TEST_F(BatchConversion, ChangesDuringARunDoNotReachIt)
{
    model.addFiles({file("/p/a.heic"), file("/p/b.heic")});
    model.setFormat(OutputFormat::png);
    model.setQuality(0.4);
    model.setUseCustomOutput(true);
    model.setOutputDir(file("/out"));
    converter.gate.close();
    model.convertAll();
    ASSERT_TRUE(waitForCalls(1));

    model.addFiles({file("/p/c.heic")});
    model.setFormat(OutputFormat::jpg);
    model.setQuality(1.0);
    model.setOutputDir(file("/elsewhere"));
    model.setUseCustomOutput(false);
    model.clear();
    EXPECT_TRUE(model.isConverting());
    converter.gate.open();
    ASSERT_TRUE(waitForRunEnd());

    const QList<ConvertCall> calls = converter.calls();
    ASSERT_EQ(sourcesOf(calls), QList<fs::path>({"/p/a.heic", "/p/b.heic"}));
    for (const ConvertCall& call : calls) {
        EXPECT_EQ(call.format, OutputFormat::png);
        EXPECT_EQ(call.quality, 0.4);
        EXPECT_EQ(call.folder, fs::path("/out"));
    }
    EXPECT_EQ(model.results().size(), 2);
    EXPECT_TRUE(model.files().isEmpty());
}

TEST_F(BatchConversion, OutputFolderIsUsedOnlyWhenSwitchedOnAndChosen)
{
    struct Case {
        bool useCustomOutput;
        std::optional<QUrl> outputDir;
        std::optional<fs::path> expected;
    };
    const QList<Case> cases{{false, std::nullopt, std::nullopt},
                            {false, file("/out"), std::nullopt},
                            {true, std::nullopt, std::nullopt},
                            {true, file("/out"), fs::path("/out")}};
    model.addFiles({file("/p/a.heic")});
    for (const Case& c : cases) {
        model.setUseCustomOutput(c.useCustomOutput);
        model.setOutputDir(c.outputDir);
        model.convertAll();
        ASSERT_TRUE(waitForRunEnd());
        ASSERT_FALSE(converter.calls().isEmpty());
        EXPECT_EQ(converter.calls().last().folder, c.expected)
            << "custom " << c.useCustomOutput << ", folder " << c.outputDir.has_value();
    }
    EXPECT_EQ(converter.calls().size(), cases.size());
}

// A folder that is not a local path must not turn into the working directory.
TEST_F(BatchConversion, NonLocalFolderFailsEveryFileWithoutConverting)
{
    model.addFiles({file("/p/a.heic"), file("/p/b.heic")});
    model.setUseCustomOutput(true);
    for (const QUrl& folder : {QUrl("https://example.com/out"), QUrl()}) {
        model.setOutputDir(folder);
        model.convertAll();
        ASSERT_TRUE(waitForRunEnd());
        ASSERT_EQ(model.results().size(), 2);
        for (const ConversionResult& result : model.results())
            EXPECT_EQ(result.error(), std::string(kCouldNotCreateOutput));
    }
    EXPECT_TRUE(converter.calls().isEmpty());
}

// A second run would clear the busy flag while the first still converts.
TEST_F(BatchConversion, ConvertAllDuringARunIsIgnored)
{
    model.addFiles({file("/p/a.heic")});
    converter.gate.close();
    model.convertAll();
    ASSERT_TRUE(waitForCalls(1));
    ChangeRecorder recorder(model);
    model.convertAll();
    EXPECT_TRUE(recorder.names().isEmpty());
    converter.gate.open();
    ASSERT_TRUE(waitForRunEnd());
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(converter.calls().size(), 1);
    EXPECT_EQ(recorder.names(), QStringList({"will", "results", "will", "isConverting"}));
}

TEST_F(BatchConversion, OneThrowingFileFailsAloneAndTheRunGoesOn)
{
    model.addFiles({file("/p/a.heic"), file("/p/throw.heic"), file("/p/c.heic")});
    model.convertAll();
    ASSERT_TRUE(waitForRunEnd());
    const QList<ConversionResult>& results = model.results();
    ASSERT_EQ(results.size(), 3);
    EXPECT_TRUE(results[0].ok());
    EXPECT_EQ(results[1].source(), fs::path("/p/throw.heic"));
    EXPECT_FALSE(results[1].ok());
    EXPECT_TRUE(results[2].ok());
}

TEST_F(BatchConversion, PathsReachTheConverterByteForByte)
{
    const QString name = QString::fromUtf8("/fotos/Überblick 東京 #1%.HEIC");
    model.addFiles({file(name)});
    model.convertAll();
    ASSERT_TRUE(waitForRunEnd());
    ASSERT_EQ(converter.calls().size(), 1);
    EXPECT_EQ(converter.calls().first().source.native(), name.toStdString());
    EXPECT_EQ(model.resultRows().first().toMap()["source"].toString(), name);
}

TEST(OutputFolderChoice, ConfirmedFolderIsStoredThenTheSwitchTurnedOn)
{
    Model model;
    auto panels = std::make_shared<FakePanels>(QList<QUrl>{file("/out/first"), file("/out/second")});
    model.setPanels(panels);
    ChangeRecorder recorder(model);

    model.chooseOutputDir();

    ASSERT_EQ(panels->requests.size(), 1);
    const PanelRequest& request = panels->requests.first();
    EXPECT_FALSE(request.allowsMultipleSelection);
    EXPECT_TRUE(request.canChooseDirectories);
    EXPECT_FALSE(request.canChooseFiles);
    EXPECT_EQ(request.message, "Choose output folder");
    ASSERT_EQ(recorder.names(), QStringList({"will", "outputDir", "will", "useCustomOutput"}));
    EXPECT_FALSE(recorder.events()[0].values.outputDir.has_value());
    EXPECT_FALSE(recorder.events()[2].values.useCustomOutput);
    EXPECT_EQ(model.outputDir(), file("/out/first"));
    EXPECT_EQ(model.outputDirPath(), "/out/first");
    EXPECT_TRUE(model.useCustomOutput());
}

TEST(OutputFolderChoice, ConfirmedWithoutAFolderClearsItAndStillSwitchesOn)
{
    Model model;
    model.setOutputDir(file("/out"));
    model.setPanels(std::make_shared<FakePanels>(QList<QUrl>{}));
    ChangeRecorder recorder(model);
    model.chooseOutputDir();
    EXPECT_EQ(recorder.names(), QStringList({"will", "outputDir", "will", "useCustomOutput"}));
    EXPECT_FALSE(model.outputDir().has_value());
    EXPECT_EQ(model.outputDirPath(), "");
    EXPECT_TRUE(model.useCustomOutput());
}

TEST(OutputFolderChoice, CancelledOrMissingPanelChangesNothing)
{
    Model model;
    model.setOutputDir(file("/out"));
    ChangeRecorder recorder(model);
    model.chooseOutputDir();
    auto panels = std::make_shared<FakePanels>(std::nullopt);
    model.setPanels(panels);
    model.chooseOutputDir();
    EXPECT_EQ(panels->requests.size(), 1);
    EXPECT_TRUE(recorder.names().isEmpty());
    EXPECT_EQ(model.outputDir(), file("/out"));
    EXPECT_FALSE(model.useCustomOutput());
}

// Closing the window during a run: nothing crashes, nothing is published,
// and every file of the run is still converted.
TEST(BatchConversionLifetime, DeletingTheModelMidRunStillConvertsEveryFile)
{
    RecordingConverter converter;
    converter.gate.close();
    QPointer<Model> model = new Model;
    model->setConvertFunction(converter.function());
    model->addFiles({file("/p/a.heic"), file("/p/b.heic"), file("/p/c.heic")});
    model->convertAll();
    ASSERT_TRUE(QTest::qWaitFor([&] { return converter.calls().size() == 1; }, 20000));

    delete model.data();
    converter.gate.open();
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();

    EXPECT_TRUE(model.isNull());
    EXPECT_EQ(sourcesOf(converter.calls()), QList<fs::path>({"/p/a.heic", "/p/b.heic", "/p/c.heic"}));
}

}  // namespace
}  // namespace pictavo::test
