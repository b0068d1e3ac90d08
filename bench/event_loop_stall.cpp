// Opens the application's window, queues the files named on the command line
// (repeated --copies times, each copy a hard link in a scratch folder), presses
// Convert and measures how late a 5 ms timer fires on the window's thread
// until the run's results are on screen: the longest stall of the event loop
// while conversions go on in the background. With --stop-after, Stop is
// pressed that long after Convert, and the time from Stop to the results on
// screen is printed too.
//
//   event-loop-stall [--copies N] [--format jpg|png] [--stop-after MS] FILE...
//
// With --tree N it converts nothing: it makes a scratch tree of N entries
// (folders of 100 entries, 10 of them subfolders; three in four files photos
// by name, the rest other files) and hands its top folder to the window as a
// drop does, measuring until the photos are queued and shown.
//
//   event-loop-stall --tree N
//
// Runs on any Qt platform; without a display set QT_QPA_PLATFORM=offscreen.

#include "core/IsolatedConverter.h"
#include "model/Model.h"
#include "ui/QmlSetup.h"
#include "ui/StringTable.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

namespace {

constexpr int kTickMs = 5;

// Fills `folder` with `entries` entries at any depth, breadth first.
void makeTree(const std::filesystem::path& folder, int entries)
{
    std::vector<std::filesystem::path> folders{folder};
    for (std::size_t next = 0; entries > 0; ++next) {
        const std::filesystem::path here = folders[next];
        for (int i = 0; i < 100 && entries > 0; ++i, --entries) {
            if (i % 10 == 9) {
                folders.push_back(here / ("Folder " + std::to_string(i)));
                std::filesystem::create_directory(folders.back());
            } else {
                std::ofstream(here / ("IMG_" + std::to_string(i) + (i % 4 == 3 ? ".jpg" : ".HEIC")));
            }
        }
    }
}

struct Options {
    int copies = 1;
    int tree = 0;
    QString format = QStringLiteral("jpg");
    int stopAfter = -1;
    std::vector<std::filesystem::path> inputs;
};

std::optional<Options> parseOptions(const QStringList& args)
{
    Options options;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--copies") && i + 1 < args.size())
            options.copies = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--tree") && i + 1 < args.size())
            options.tree = args[++i].toInt();
        else if (args[i] == QLatin1String("--format") && i + 1 < args.size())
            options.format = args[++i];
        else if (args[i] == QLatin1String("--stop-after") && i + 1 < args.size())
            options.stopAfter = args[++i].toInt();
        else
            options.inputs.emplace_back(args[i].toStdString());
    }
    if (options.inputs.empty() == (options.tree <= 0))
        return std::nullopt;
    return options;
}

// `copies` hard links to each input in `folder`, as the files to queue; copies
// where the input is on another file system (a bind mount, say).
QList<QUrl> linkedCopies(const Options& options, const std::filesystem::path& folder)
{
    QList<QUrl> queue;
    for (int copy = 0; copy < options.copies; ++copy) {
        for (const auto& input : options.inputs) {
            const auto link = folder / (std::to_string(copy) + "-" + input.filename().string());
            std::error_code notLinked;
            std::filesystem::create_hard_link(input, link, notLinked);
            if (notLinked)
                std::filesystem::copy_file(input, link);
            queue.append(QUrl::fromLocalFile(QString::fromStdString(link.string())));
        }
    }
    return queue;
}

// Prints the run's figures; the exit status says whether every file converted.
int printReport(const pictavo::Model& model, qsizetype files, double seconds, std::vector<qint64> gaps,
                qint64 stopToResults)
{
    std::sort(gaps.begin(), gaps.end());
    const qint64 longest = gaps.empty() ? 0 : gaps.back();
    const qint64 p99 = gaps.empty() ? 0 : gaps[gaps.size() * 99 / 100];
    const int failed = int(std::count_if(model.results().begin(), model.results().end(),
                                         [](const pictavo::ConversionResult& result) { return !result.ok(); }));
    std::printf("files\t%lld\tfailed\t%d\tseconds\t%.2f\tticks\t%zu\tlongest gap ms\t%lld\t99th percentile ms\t%lld\n",
                static_cast<long long>(files), failed, seconds, gaps.size(), static_cast<long long>(longest),
                static_cast<long long>(p99));
    if (stopToResults >= 0)
        std::printf("stopped after\t%d\tof\t%d\tfrom Stop to the results ms\t%.1f\n", model.finishedCount(),
                    model.runSize(), double(stopToResults) / 1000.0);
    return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const std::optional<Options> parsed = parseOptions(QCoreApplication::arguments().mid(1));
    if (!parsed) {
        std::fprintf(stderr, "usage: event-loop-stall [--copies N] [--format jpg|png] [--stop-after MS] FILE... | --tree N\n");
        return 2;
    }
    const auto [copies, tree, format, stopAfter, inputs] = *parsed;

    QTemporaryDir scratch;
    if (tree > 0)
        makeTree(scratch.path().toStdString(), tree);
    QList<QUrl> queue = linkedCopies(*parsed, scratch.path().toStdString());

    const pictavo::StringTable strings;
    pictavo::prepareQuick();
    pictavo::Model model(&pictavo::IsolatedConverter::convert, nullptr);
    QQmlApplicationEngine engine;
    QQuickWindow* window = pictavo::loadMainWindow(engine, model);
    if (!window)
        return 1;
    model.setFormatName(format);
    // Either the files are queued now and converted, or the tree is dropped and scanned.
    const auto begin = [&] { tree > 0 ? model.addFiles({QUrl::fromLocalFile(scratch.path())}) : model.convertAll(); };
    if (tree == 0)
        model.addFiles(queue);

    std::vector<qint64> gaps;
    QElapsedTimer clock;
    QElapsedTimer run;
    QElapsedTimer stopped;
    qint64 stopToResults = -1;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        gaps.push_back(clock.restart());
    });
    // The results (or the scan's files) appear in one change; a few frames more show them drawn.
    double seconds = 0;
    const auto ended = [&] {
        if (model.isConverting() || model.isScanning())
            return;
        seconds = run.elapsed() / 1000.0;
        if (stopped.isValid())
            stopToResults = stopped.nsecsElapsed() / 1000;
        QTimer::singleShot(500, &app, &QCoreApplication::quit);
    };
    QObject::connect(&model, &pictavo::Model::isConvertingChanged, ended);
    QObject::connect(&model, &pictavo::Model::isScanningChanged, ended);
    // Start once the window has drawn its first frame and settled.
    QObject::connect(
        window, &QQuickWindow::frameSwapped, &app,
        [&] {
            QTimer::singleShot(300, [&] {
                run.start();
                clock.start();
                ticker.start(kTickMs);
                begin();
                if (stopAfter >= 0) {
                    QTimer::singleShot(stopAfter, [&] {
                        stopped.start();
                        model.stop();
                    });
                }
            });
        },
        Qt::SingleShotConnection);
    QApplication::exec();
    QThreadPool::globalInstance()->waitForDone();

    if (tree > 0)
        queue = model.files();
    return printReport(model, queue.size(), seconds, std::move(gaps), stopToResults);
}
