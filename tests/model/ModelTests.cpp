#include "core/Converter.h"
#include "model/Model.h"

#include <QCoreApplication>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

namespace pictavo::test {
namespace {

namespace fs = std::filesystem;

QUrl file(const fs::path& path) { return QUrl::fromLocalFile(QString::fromStdString(path.string())); }

// Every observable value of a model at one moment.
struct Values {
    QList<QUrl> files;
    OutputFormat format;
    double quality;
    qsizetype results;  // how many
    bool converting, custom;
    std::optional<QUrl> dir;
    bool operator==(const Values&) const = default;
    static Values of(const Model& m)
    {
        return {m.files(), m.format(), m.quality(), m.results().size(), m.isConverting(), m.useCustomOutput(),
                m.outputDir()};
    }
};

// Records objectWillChange ("will") and each ...Changed signal with the values read as it is emitted.
struct Recorder {
    explicit Recorder(Model& m) : model(m)
    {
        const std::pair<void (Model::*)(), const char*> sources[]{
            {&Model::objectWillChange, "will"}, {&Model::filesChanged, "files"},
            {&Model::formatChanged, "format"}, {&Model::qualityChanged, "quality"},
            {&Model::resultsChanged, "results"}, {&Model::isConvertingChanged, "isConverting"},
            {&Model::useCustomOutputChanged, "useCustomOutput"}, {&Model::outputDirChanged, "outputDir"}};
        for (auto [signal, name] : sources)
            QObject::connect(&model, signal, &model, [this, name] { names << name, values << Values::of(model); });
    }
    void reset() { names.clear(), values.clear(); }
    Model& model;
    QStringList names;
    QList<Values> values;
};

struct FakePanels : Panels {
    std::optional<QList<QUrl>> run(const PanelRequest& request) override { return asked.append(request), answer; }
    std::optional<QList<QUrl>> answer;
    QList<PanelRequest> asked;
};

struct Call { fs::path source; OutputFormat format; double quality; std::optional<fs::path> folder; QThread* thread; };

// Records its calls and waits while `held`. Names containing "bad" fail, "throw" throw.
struct FakeConverter {
    Model::ConvertFunction function()
    {
        return [this](const fs::path& source, OutputFormat format, double quality, const std::optional<fs::path>& to) {
            { std::lock_guard lock(mutex); calls.append({source, format, quality, to, QThread::currentThread()}); }
            while (held)  // hold the run until the test lets go
                QThread::msleep(1);
            const QString name = QString::fromStdString(source.filename().string());
            if (name.contains("throw"))
                throw std::runtime_error("conversion blew up");
            if (name.contains("bad"))
                return ConversionResult(source, std::nullopt, std::string(kCouldNotReadImage));
            return ConversionResult(source, to.value_or(source.parent_path()) / "x.out", std::nullopt);
        };
    }
    QList<Call> taken() { std::lock_guard lock(mutex); return calls; }
    std::mutex mutex;
    QList<Call> calls;
    std::atomic<bool> held = false;
};

TEST(Announcements, EachWriteAnnouncesOnceWithTheOldValueThenSignalsWithTheNew)
{
    Model model;
    Recorder recorder(model);
    const QList<std::pair<QString, std::function<void()>>> writes{
        {"format", [&] { model.setFormat(OutputFormat::png); }},
        {"quality", [&] { model.setQuality(0.5); }},
        {"quality", [&] { model.setQuality(0.5); }},  // equal values are announced too
        {"useCustomOutput", [&] { model.setUseCustomOutput(true); }},
        {"outputDir", [&] { model.setOutputDir(file("/out")); }},
        {"files", [&] { model.addFiles({file("/a.heic")}); }},
        {"results", [&] { model.setResults({ConversionResult("/a.heic", std::nullopt, "Write failed")}); }}};
    for (const auto& [name, write] : writes) {
        recorder.reset();
        const Values before = Values::of(model);
        write();
        ASSERT_EQ(recorder.names, QStringList({"will", name})) << name.toStdString();
        EXPECT_EQ(recorder.values[0], before) << name.toStdString();
        EXPECT_EQ(recorder.values[1], Values::of(model)) << name.toStdString();
    }
    recorder.reset();
    model.setFormatName("GIF");  // not a format: ignored
    model.clear();  // files first, then results
    ASSERT_EQ(recorder.names, QStringList({"will", "files", "will", "results"}));
    EXPECT_TRUE(recorder.values[2].files.isEmpty() && recorder.values[2].results == 1);
}

TEST(Intake, ConvertibleNamesDuplicatesAndOrder)
{
    const std::pair<QUrl, bool> cases[]{
        {file("/p/a.heic"), true}, {file("/p/b.HEIC"), true}, {file("/p/photo.jpg.HeIf"), true},
        {file("/p/x.y/IMG.heif"), true}, {QUrl("file:///p/album.heic/"), true},
        {file("/p/photo.heic.jpg"), false}, {file("/p/heic"), false}, {file("/p/photo.heic."), false},
        {file("/p.heic/photo"), false}, {file("/p/a.HE\u0130C"), false}, {QUrl(), false}};
    QList<QUrl> mixed, expected;
    for (const auto& [url, convertible] : cases) {
        EXPECT_EQ(Model::isConvertible(url), convertible) << url.toString().toStdString();
        mixed << url << url;
        if (convertible)
            expected << url;
    }
    Model model;
    Recorder recorder(model);
    model.addFiles(mixed);
    EXPECT_EQ(model.files(), expected);
    ASSERT_EQ(recorder.names.size(), 2 * expected.size());
    for (qsizetype i = 0; i < recorder.names.size(); ++i)
        EXPECT_EQ(recorder.values[i].files.size(), (i + 1) / 2);  // one announced append per file
}

TEST(Panels, ConfirmedChoicesAreTakenAndCancelledOnesChangeNothing)
{
    Model model;
    Recorder recorder(model);
    auto panels = std::make_shared<FakePanels>();
    model.setPanels(panels);
    model.chooseFiles();  // cancelled
    model.chooseOutputDir();
    EXPECT_TRUE(recorder.names.isEmpty());
    // Several HEIC files, or one folder.
    ASSERT_EQ(panels->asked.size(), 2);
    const PanelRequest& files = panels->asked[0];
    const PanelRequest& folder = panels->asked[1];
    EXPECT_TRUE(files.allowsMultipleSelection && files.canChooseFiles && !files.canChooseDirectories);
    EXPECT_EQ(files.allowedExtensions, QStringList({"heic", "heif", "hif"}));
    EXPECT_TRUE(!folder.allowsMultipleSelection && !folder.canChooseFiles && folder.canChooseDirectories);
    panels->answer = QList<QUrl>{file("/p/c.HEIC"), file("/p/n.txt")};
    model.chooseFiles();
    EXPECT_EQ(model.files(), QList<QUrl>{file("/p/c.HEIC")});
    recorder.reset();
    model.chooseOutputDir();
    ASSERT_EQ(recorder.names, QStringList({"will", "outputDir", "will", "useCustomOutput"}));
    EXPECT_TRUE(model.outputDir() == file("/p/c.HEIC") && model.useCustomOutput());
}

class Run : public ::testing::Test {
protected:
    void SetUp() override { model.setConvertFunction(converter.function()); }
    void TearDown() override { converter.held = false, QThreadPool::globalInstance()->waitForDone(); }
    bool finished() { return QTest::qWaitFor([this] { return !model.isConverting(); }, 20000); }
    bool started() { return QTest::qWaitFor([this] { return !converter.taken().isEmpty(); }, 20000); }
    FakeConverter converter;
    Model model;
};

TEST_F(Run, BusyWithoutResultsThenAllResultsInOneWriteInQueueOrder)
{
    model.setResults({ConversionResult("/p/old.heic", std::nullopt, "Write failed")});
    Recorder recorder(model);
    model.convertAll();  // an empty queue starts nothing
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_TRUE(recorder.names.isEmpty() && converter.taken().isEmpty());
    model.addFiles({file("/p/Über 東京 #1%.HEIC"), file("/p/two-bad.heic"), file("/p/throw.heif"), file("/p/4.heic")});
    recorder.reset();
    converter.held = true;
    model.convertAll();
    ASSERT_TRUE(started());
    QCoreApplication::processEvents();
    EXPECT_TRUE(model.isConverting() && model.results().isEmpty());
    EXPECT_EQ(recorder.names, QStringList({"will", "isConverting", "will", "results"}));

    converter.held = false;
    ASSERT_TRUE(finished());
    EXPECT_EQ(recorder.names.mid(4), QStringList({"will", "results", "will", "isConverting"}));
    EXPECT_TRUE(recorder.values[5].results == 4 && recorder.values[5].converting);
    const QList<ConversionResult>& results = model.results();
    const QList<Call> calls = converter.taken();
    ASSERT_EQ(results.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(results[i].source() == calls[i].source && file(calls[i].source) == model.files()[i]) << i;
        EXPECT_EQ(results[i].ok(), i == 0 || i == 3) << i;
        EXPECT_TRUE(calls[i].thread != model.thread() && calls[i].format == OutputFormat::jpg);
    }
}

TEST_F(Run, ChangesDuringARunDoNotReachIt)
{
    model.addFiles({file("/p/a.heic"), file("/p/b.heic")});
    model.setFormat(OutputFormat::png);
    model.setUseCustomOutput(true);
    model.setOutputDir(file("/out"));
    converter.held = true;
    model.convertAll();
    ASSERT_TRUE(started());
    model.setFormat(OutputFormat::jpg);
    model.setOutputDir(file("/elsewhere"));
    model.convertAll();  // ignored while busy
    model.clear();
    converter.held = false;
    ASSERT_TRUE(finished());
    QThreadPool::globalInstance()->waitForDone();

    const QList<Call> calls = converter.taken();
    ASSERT_EQ(calls.size(), 2);
    for (const Call& call : calls)
        EXPECT_TRUE(call.format == OutputFormat::png && call.folder == fs::path("/out"));
    EXPECT_EQ(model.results().size(), 2);
}

TEST_F(Run, OutputFolderIsUsedOnlyWhenSwitchedOnAndChosen)
{
    const std::tuple<bool, std::optional<QUrl>, std::optional<fs::path>> cases[]{
        {false, std::nullopt, std::nullopt}, {false, file("/out"), std::nullopt},
        {true, std::nullopt, std::nullopt}, {true, file("/out"), fs::path("/out")}};
    model.addFiles({file("/p/a.heic")});
    for (const auto& [custom, dir, expected] : cases) {
        model.setUseCustomOutput(custom);
        model.setOutputDir(dir);
        model.convertAll();
        ASSERT_TRUE(finished());
        EXPECT_EQ(converter.taken().last().folder, expected) << custom << dir.has_value();
    }
}

// Closing the window mid-run: nothing crashes, and the run begins no file after the one in hand.
TEST_F(Run, DeletingTheModelMidRun)
{
    converter.held = true;
    auto* doomed = new Model;
    doomed->setConvertFunction(converter.function());
    doomed->addFiles({file("/p/a.heic"), file("/p/b.heic"), file("/p/c.heic")});
    doomed->convertAll();
    ASSERT_TRUE(started());
    delete doomed;
    converter.held = false;
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(converter.taken().size(), 1);
}

}  // namespace
}  // namespace pictavo::test

// Runs end through the event loop.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
