#include "core/Converter.h"
#include "fixtures/HeifFixtures.h"
#include "model/FolderScan.h"
#include "model/Model.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <dirent.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <condition_variable>
#include <fstream>
#include <mutex>

namespace pictavo::test {
namespace {

namespace fs = std::filesystem;

QUrl file(const fs::path& path) { return QUrl::fromLocalFile(QString::fromStdString(path.string())); }

struct Call { fs::path source; ConversionOptions options; std::optional<fs::path> folder; };

// Records its calls and, after the first `passing` files, waits while held; a stop abandons the file in
// hand, except one whose name contains "deaf" (it finishes, as a conversion in this process does).
// Names containing "bad" fail by themselves, "throw" throw.
struct FakeConverter {
    ConversionResult operator()(const fs::path& source, const ConversionOptions& options,
                                const std::optional<fs::path>& to, std::stop_token stop)
    {
        const QString name = QString::fromStdString(source.filename().string());
        const bool deaf = name.contains("deaf");
        {
            std::unique_lock lock(mutex);
            calls.append({source, options, to});
            if (passing-- <= 0)  // held until the test lets go, or (unless deaf) stops the run
                released.wait(lock, deaf ? std::stop_token() : stop, [this] { return !held; });
        }
        if (!deaf && stop.stop_requested())
            return ConversionResult::failure(source, FailureKind::abandoned);
        if (name.contains("bad"))
            return ConversionResult::failure(source, FailureKind::unreadable);
        if (name.contains("throw"))
            throw std::runtime_error("conversion blew up");
        return ConversionResult(source, to.value_or(source.parent_path()) / "x.out", std::nullopt);
    }
    QList<Call> taken() { std::lock_guard lock(mutex); return calls; }
    void hold(int passes) { std::lock_guard lock(mutex); held = true, passing = passes; }
    void release() { { std::lock_guard lock(mutex); held = false; } released.notify_all(); }
    std::mutex mutex;
    std::condition_variable_any released;
    QList<Call> calls;
    bool held = false;
    int passing = 0;
};

// Root reads every folder whatever its mode; without the two capabilities that let it, this thread and
// the threads it starts read like anyone else (for the rest of the process: each test has its own).
void dropReadOverride()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps[2]{};
    ::syscall(SYS_capget, &header, caps);
    caps[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    ::syscall(SYS_capset, &header, caps);
}

TEST(Intake, AFolderStandsForItsPhotosInNaturalOrderFilesFirstAndLaterListsWaitForIt)
{
    fixtures::TempDir dir;
    const fs::path photos = dir / "Photos";
    for (const char* folder : {"Photos/.thumbnails", "Photos/album.heic", "Photos/Camera", "Photos/Locked"})
        fs::create_directories(dir / folder);
    for (const char* name : {"first.heic", "Photos/IMG_10.heic", "Photos/IMG_2.HEIC", "Photos/img_3.heif",
                             "Photos/b.jpg", "Photos/notes.txt", "Photos/.hidden.heic", "Photos/.thumbnails/t.heic",
                             "Photos/album.heic/inner.heic", "Photos/Camera/DSC_0001.HIF", "Photos/Locked/x.heic"})
        std::ofstream(dir / name).put('x');
    fs::create_directory_symlink("..", photos / "Camera/loop");
    fs::create_symlink("IMG_2.HEIC", photos / "link.heic");
    fs::create_symlink("gone.heic", photos / "dangling.heic");
    ASSERT_EQ(::mkfifo((photos / "pipe.heic").c_str(), 0600), 0);
    ::chmod((photos / "Locked").c_str(), 0);

    Model model({}, nullptr);
    const QSignalSpy writes(&model, &Model::filesChanged);
    dropReadOverride();
    if (DIR* locked = ::opendir((photos / "Locked").c_str())) {
        ::closedir(locked);
        std::printf("[ note ] a folder cannot be made unreadable here: the unreadable one is left out\n");
        fs::remove_all(photos / "Locked");
    }
    model.addFiles({file(dir / "first.heic"), file(photos), file(dir / "missing.heic"), file(dir / "n.txt")});
    model.addFiles({file(dir / "later.heic"), file(photos / "IMG_2.HEIC")});
    EXPECT_TRUE(model.isScanning());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isScanning(); }, 20000));
    ::chmod((photos / "Locked").c_str(), 0700);

    QList<QUrl> expected{file(dir / "first.heic")};
    for (const char* name : {"IMG_2.HEIC", "img_3.heif", "IMG_10.heic", "link.heic", "album.heic/inner.heic",
                             "Camera/DSC_0001.HIF"})
        expected << file(photos / name);
    expected << file(dir / "missing.heic") << file(dir / "later.heic");
    EXPECT_EQ(model.files(), expected);
    // The scan's photos arrive in one write (thousands of appends would freeze the window), the waiting list's after.
    EXPECT_EQ(writes.count(), 2);
}

// Each row's first name sorts before its second, and not the other way round.
TEST(Intake, NaturalOrderComparesDigitRunsByValueAndLettersWithoutCase)
{
    const std::pair<const char*, const char*> rows[]{
        {"IMG_2", "IMG_10"}, {"img_3", "IMG_10"}, {"IMG_0002", "IMG_10"}, {"a", "B"}, {"b", "C1"},
        {"IMG_9.heic", "IMG_10.heic"}, {"a", "a1"}, {"1z", "a"}, {"x 2 b", "x 02 c"},
        {"x99999999999999999999", "x100000000000000000000"},  // past 64 bits
        {"IMG_02", "IMG_2"}, {"A", "a"},  // equal but for leading zeros or case: still a fixed order
    };
    for (const auto& [first, second] : rows) {
        SCOPED_TRACE(std::string(first) + " before " + second);
        EXPECT_TRUE(naturalLess(QString(first), QString(second)));
        EXPECT_FALSE(naturalLess(QString(second), QString(first)));
    }
    EXPECT_FALSE(naturalLess(u"IMG_1", u"IMG_1"));
}

class Run : public ::testing::Test {
protected:
    void TearDown() override { converter.release(), QThreadPool::globalInstance()->waitForDone(); }
    bool finished() { return QTest::qWaitFor([this] { return !model.isConverting(); }, 20000); }
    bool started() { return QTest::qWaitFor([this] { return !converter.taken().isEmpty(); }, 20000); }
    FakeConverter converter;
    Model model{std::ref(converter), nullptr};
};

TEST_F(Run, BusyWithoutResultsThenAllResultsInOneWriteInQueueOrderUntouchedByLaterChanges)
{
    model.setResults({ConversionResult::failure("/p/old.heic", FailureKind::writeFailed)});
    model.convertAll();  // an empty queue starts nothing
    EXPECT_FALSE(model.isConverting());
    EXPECT_EQ(model.results().size(), 1);
    const QList<QUrl> queue{file("/p/Über 東京 #1%.HEIC"), file("/p/two-bad.heic"), file("/p/throw.heif"),
                            file("/p/4.heic")};
    model.addFiles(queue);
    converter.hold(0);
    model.convertAll();
    ASSERT_TRUE(started());
    EXPECT_TRUE(model.isConverting());
    EXPECT_TRUE(model.results().isEmpty());
    EXPECT_EQ(std::pair(model.runSize(), model.finishedCount()), std::pair(4, 0));
    // The run took its files and settings when it began.
    model.setFormat(OutputFormat::png);
    model.setQuality(0.5);
    model.setUseCustomOutput(true);
    model.setOutputDir(file("/elsewhere"));
    model.convertAll();  // ignored while busy
    model.clear();
    // Each finished file is counted as it ends, while the results wait for the last.
    QList<std::pair<int, qsizetype>> counts;
    QObject::connect(&model, &Model::finishedCountChanged, [&] {
        counts.append({model.finishedCount(), model.results().size()});
    });
    converter.release();
    ASSERT_TRUE(finished());
    ASSERT_FALSE(counts.isEmpty());
    for (qsizetype i = 0; i < counts.size(); ++i) {
        EXPECT_GT(counts[i].first, i ? counts[i - 1].first : 0) << "count " << i;
        EXPECT_EQ(counts[i].second, 0) << "results before the last file, at count " << i;
    }
    EXPECT_EQ(counts.last().first, 4);
    const QList<ConversionResult>& results = model.results();
    const QList<Call> calls = converter.taken();
    ASSERT_EQ(results.size(), 4);
    ASSERT_EQ(calls.size(), 4);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(queue[i].toString().toStdString());
        EXPECT_EQ(results[i].source(), calls[i].source);
        EXPECT_EQ(file(calls[i].source), queue[i]);
        EXPECT_EQ(results[i].ok(), i == 0 || i == 3);  // "bad" fails, "throw" throws
        EXPECT_EQ(std::tuple(calls[i].options.to, calls[i].options.quality, calls[i].folder),
                  std::tuple(OutputFormat::jpg, 0.9, std::nullopt));
    }
}

// The folder and the size reach the run only when switched on; a size out of range is clamped.
TEST_F(Run, SettingsReachTheRunAsSwitchedOn)
{
    const struct { bool custom; std::optional<QUrl> dir; std::optional<fs::path> folder; bool resize; int side;
                   std::optional<int> longSide; bool removeLocation; } rows[]{
        {false, std::nullopt, std::nullopt, false, 2048, std::nullopt, false},
        {false, file("/out"), std::nullopt, true, 2048, 2048, true},
        {true, std::nullopt, std::nullopt, false, 800, std::nullopt, false},
        {true, file("/out"), fs::path("/out"), true, 15, 16, false},
        {true, file("/out/"), fs::path("/out"), true, 65536, 65535, true},
    };
    model.addFiles({file("/p/a.heic")});
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        model.setUseCustomOutput(row.custom);
        model.setOutputDir(row.dir);
        model.setResize(row.resize);
        model.setLongSide(row.side);
        model.setRemoveLocation(row.removeLocation);
        model.convertAll();
        ASSERT_TRUE(finished());
        const Call call = converter.taken().last();
        EXPECT_EQ(call.folder, row.folder);
        EXPECT_EQ(call.options.longSide, row.longSide);
        EXPECT_EQ(call.options.removeLocation, row.removeLocation);
    }
}

// Into a chosen folder, a photo found in a given folder keeps the folders that lead to it, the given
// folder's name first, each with its own free names; a photo given alone goes straight in. Nothing in
// the way is replaced: the photo whose folder a file stands in fails. Rows in queue order.
TEST(Tree, PhotosFromAGivenFolderKeepItsTreeBelowTheChosenFolder)
{
    fixtures::TempDir dir;
    const std::pair<const char*, const char*> rows[]{
        {"Trip/Blocked/IMG_0004.heic", nullptr},  // Out/Trip/Blocked is a file
        {"Trip/Day 1/IMG_0001.heic", "Out/Trip/Day 1/IMG_0001.jpg"},
        {"Trip/Day 2/IMG_0001.heic", "Out/Trip/Day 2/IMG_0001-1.jpg"},  // IMG_0001.jpg is taken there
        {"Trip/Day 2/Night/IMG_0003.heic", "Out/Trip/Day 2/Night/IMG_0003.jpg"},
        {"IMG_0001.heic", "Out/IMG_0001.jpg"},
    };
    for (const char* made : {"Trip/Blocked", "Trip/Day 1", "Trip/Day 2/Night", "Out/Trip/Day 2"})
        fs::create_directories(dir / made);
    for (const auto& [photo, output] : rows)
        fixtures::writeHeic(dir / photo, fixtures::HeicImage(fixtures::quadrants(16, 16)));
    for (const char* taken : {"Out/Trip/Day 2/IMG_0001.jpg", "Out/Trip/Blocked"})
        std::ofstream(dir / taken).put('x');
    Model model([](const fs::path& source, const ConversionOptions& options, const std::optional<fs::path>& folder,
                   std::stop_token) { return Converter::convert(source, options, folder); }, nullptr);
    model.addFiles({file(dir / "Trip"), file(dir / "IMG_0001.heic")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isScanning(); }, 20000));
    model.setUseCustomOutput(true);
    model.setOutputDir(file(dir / "Out"));
    model.convertAll();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model.isConverting(); }, 20000));
    ASSERT_EQ(model.results().size(), std::ssize(rows));
    for (int i = 0; i < std::ssize(rows); ++i) {
        SCOPED_TRACE(rows[i].first);
        EXPECT_EQ(model.results()[i].output(), rows[i].second ? std::optional(dir / rows[i].second) : std::nullopt);
    }
    EXPECT_EQ(model.results()[0].failureKind(), FailureKind::outputNotCreated);
    EXPECT_TRUE(fs::is_regular_file(dir / "Out/Trip/Blocked"));
}

// Stop abandons the file in hand and starts no other; the files finished before are published, a failure
// among them included, and so is a file that was written, or failed by itself, all the same (a conversion
// that cannot be interrupted).
TEST_F(Run, StopPublishesTheFinishedFilesAndCountsTheRest)
{
    const std::tuple<const char*, qsizetype, int> cases[]{{"c.heic", 2, 2}, {"c-deaf.heic", 3, 1}, {"c-deaf-bad.heic", 3, 1}};
    for (const auto& [held, published, notConverted] : cases) {
        SCOPED_TRACE(held);
        const QList<QUrl> queue{file("/p/a.heic"), file("/p/b-bad.heic"), file(std::string("/p/") + held),
                                file("/p/d.heic")};
        model.clear();
        model.addFiles(queue);
        const qsizetype before = converter.taken().size();
        converter.hold(2);
        model.convertAll();
        ASSERT_TRUE(QTest::qWaitFor([&] { return converter.taken().size() == before + 3; }, 20000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return model.finishedCount() == 2; }, 20000));
        model.stop();
        converter.release();  // lets the deaf file finish
        ASSERT_TRUE(finished());
        EXPECT_EQ(converter.taken().size(), before + 3);  // d was never begun
        ASSERT_EQ(model.results().size(), published);
        EXPECT_EQ(std::pair(model.results()[0].ok(), model.results()[1].ok()), std::pair(true, false));
        EXPECT_EQ(model.notConvertedCount(), notConverted);
        EXPECT_EQ(model.files(), queue.mid(published));  // what Convert goes on with
    }
    const qsizetype before = converter.taken().size();
    model.convertAll();  // goes on with d alone: nothing done is converted again
    ASSERT_TRUE(finished());
    ASSERT_EQ(converter.taken().size(), before + 1);
    EXPECT_EQ(converter.taken().last().source, "/p/d.heic");
    EXPECT_EQ(model.notConvertedCount(), 0);
}

// Closing the window mid-run: nothing crashes, and the run begins no file after the one in hand.
TEST_F(Run, DeletingTheModelMidRun)
{
    converter.hold(0);
    auto* doomed = new Model(std::ref(converter), nullptr);
    doomed->addFiles({file("/p/a.heic"), file("/p/b.heic"), file("/p/c.heic")});
    doomed->convertAll();
    ASSERT_TRUE(started());
    delete doomed;
    converter.release();
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
