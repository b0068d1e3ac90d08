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
// Runs on any Qt platform; without a display set QT_QPA_PLATFORM=offscreen.

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
#include <vector>

namespace {

constexpr int kTickMs = 5;

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int copies = 1;
    QString format = QStringLiteral("jpg");
    int stopAfter = -1;
    std::vector<std::filesystem::path> inputs;
    const QStringList args = QCoreApplication::arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--copies") && i + 1 < args.size())
            copies = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--format") && i + 1 < args.size())
            format = args[++i];
        else if (args[i] == QLatin1String("--stop-after") && i + 1 < args.size())
            stopAfter = args[++i].toInt();
        else
            inputs.emplace_back(args[i].toStdString());
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: event-loop-stall [--copies N] [--format jpg|png] [--stop-after MS] FILE...\n");
        return 2;
    }

    QTemporaryDir scratch;
    QList<QUrl> queue;
    for (int copy = 0; copy < copies; ++copy) {
        for (const auto& input : inputs) {
            const auto link = std::filesystem::path(scratch.path().toStdString()) /
                              (std::to_string(copy) + "-" + input.filename().string());
            std::filesystem::create_hard_link(input, link);
            queue.append(QUrl::fromLocalFile(QString::fromStdString(link.string())));
        }
    }

    const pictavo::StringTable strings;
    pictavo::prepareQuick();
    QQmlApplicationEngine engine;
    const auto [window, model] = pictavo::loadMainWindow(engine);
    if (!model)
        return 1;
    model->addFiles(queue);
    model->setFormatName(format);

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
    // The results appear in one change; a few frames more show the list drawn.
    QObject::connect(model, &pictavo::Model::isConvertingChanged, [&] {
        if (model->isConverting())
            return;
        if (stopped.isValid())
            stopToResults = stopped.nsecsElapsed() / 1000;
        QTimer::singleShot(500, &app, &QCoreApplication::quit);
    });
    // Start once the window has drawn its first frame and settled.
    QObject::connect(
        window, &QQuickWindow::frameSwapped, &app,
        [&] {
            QTimer::singleShot(300, [&] {
                run.start();
                clock.start();
                ticker.start(kTickMs);
                model->convertAll();
                if (stopAfter >= 0) {
                    QTimer::singleShot(stopAfter, [&] {
                        stopped.start();
                        model->stop();
                    });
                }
            });
        },
        Qt::SingleShotConnection);
    QApplication::exec();
    const double seconds = run.elapsed() / 1000.0;
    QThreadPool::globalInstance()->waitForDone();

    std::sort(gaps.begin(), gaps.end());
    const qint64 longest = gaps.empty() ? 0 : gaps.back();
    const qint64 p99 = gaps.empty() ? 0 : gaps[gaps.size() * 99 / 100];
    int failed = 0;
    for (const QVariant& row : model->resultRows())
        failed += row.toMap().value(QStringLiteral("ok")).toBool() ? 0 : 1;
    std::printf("files\t%lld\tfailed\t%d\tseconds\t%.2f\tticks\t%zu\tlongest gap ms\t%lld\t99th percentile ms\t%lld\n",
                static_cast<long long>(queue.size()), failed, seconds, gaps.size(), static_cast<long long>(longest),
                static_cast<long long>(p99));
    if (stopToResults >= 0)
        std::printf("stopped after\t%d\tof\t%d\tfrom Stop to the results ms\t%.1f\n", model->finishedCount(),
                    model->runSize(), double(stopToResults) / 1000.0);
    return failed == 0 ? 0 : 1;
}
