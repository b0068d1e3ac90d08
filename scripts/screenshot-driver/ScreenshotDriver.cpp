// Usage: pictavo-screenshot [--dark] OUTPUT_FOLDER WORK_FOLDER FILE.heic...
// Opens the application's window, puts it into each of its main states and
// writes one PNG per state into OUTPUT_FOLDER, printing the window's size with
// each. Conversions write into WORK_FOLDER. The first FILE should be a photo
// and the last one no image: the states of everyday libraries (a deep output
// folder, names of 80 characters, 32 results with one failure) are made of
// copies of those two.
// --dark gives the application a dark palette; the language and the scale
// come from the environment (LANGUAGE, QT_SCALE_FACTOR) as in the application.
#include "core/Converter.h"
#include "model/Model.h"
#include "ui/DarkPalette.h"
#include "ui/QmlSetup.h"
#include "ui/StringTable.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

namespace {

void settle(int milliseconds = 300)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QQuickWindow& window, const QString& folder, const QString& name)
{
    settle();
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    const bool saved = window.grabWindow().save(path);
    std::printf("%s %s (window %dx%d, at least %dx%d)\n", saved ? "wrote" : "could not write", qPrintable(path),
                window.width(), window.height(), window.minimumWidth(), window.minimumHeight());
    return saved;
}

// A copy of `file` in `folder` whose name is 80 characters long, numbered `number`.
QUrl longNamedCopy(const QUrl& file, const QString& folder, int number)
{
    const QString suffix = QStringLiteral(" - no. %1.%2")
                               .arg(number, 3, 10, QLatin1Char('0'))
                               .arg(QFileInfo(file.toLocalFile()).suffix());
    const QString name = QStringLiteral("2024-07-14 Summer holiday in the mountains, the view from the hut at dawn")
                             .left(80 - suffix.size()) + suffix;
    const QString copy = QDir(folder).filePath(name);
    QFile::copy(file.toLocalFile(), copy);
    return QUrl::fromLocalFile(copy);
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    if (args.size() > 1 && args[1] == QStringLiteral("--dark")) {
        QGuiApplication::setPalette(pictavo::darkPalette());
        args.removeAt(1);
    }
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: pictavo-screenshot [--dark] OUTPUT_FOLDER WORK_FOLDER FILE.heic...\n");
        return 2;
    }
    const QString outputFolder = args[1];
    const QString workFolder = args[2];
    QList<QUrl> files;
    for (const QString& file : args.mid(3))
        files.append(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));

    // A run can be held after its first `passing` files until `holding` ends,
    // or until it is stopped, when the held file is abandoned.
    std::atomic<int> passing{0};
    std::atomic<bool> holding{false};
    const auto convert = [&](const std::filesystem::path& source, const pictavo::ConversionOptions& options,
                             const std::optional<std::filesystem::path>& outputDir, std::stop_token stop) {
        if (passing-- <= 0) {
            while (holding && !stop.stop_requested())
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (stop.stop_requested())
            return pictavo::ConversionResult::failure(source, pictavo::FailureKind::abandoned);
        return pictavo::Converter::convert(source, options, outputDir);
    };

    const pictavo::StringTable strings;
    pictavo::prepareQuick();
    pictavo::Model model(convert, nullptr);
    QQmlApplicationEngine engine;
    QQuickWindow* window = pictavo::loadMainWindow(engine, model);
    if (!window)
        return 1;
    const auto item = [window](const char* name) { return window->findChild<QQuickItem*>(QLatin1String(name)); };

    bool ok = save(*window, outputFolder, QStringLiteral("1-empty"));

    // The zone as it looks while a file drag hovers over it.
    QQuickItem* zone = item("dropZone");
    zone->setProperty("targeted", true);
    ok &= save(*window, outputFolder, QStringLiteral("2-drag-hover"));
    zone->setProperty("targeted", false);

    // The zone while dropped folders are searched for photos.
    model.setIsScanning(true);
    ok &= save(*window, outputFolder, QStringLiteral("2b-scanning"));
    model.setIsScanning(false);

    model.addFiles(files);
    ok &= save(*window, outputFolder, QStringLiteral("3-queued-jpg"));

    model.setFormat(pictavo::OutputFormat::png);
    model.setUseCustomOutput(true);
    ok &= save(*window, outputFolder, QStringLiteral("4-png-no-folder"));

    model.setFormat(pictavo::OutputFormat::jpg);
    model.setQuality(0.57);
    model.setUseCustomOutput(true);
    model.setOutputDir(QUrl::fromLocalFile(workFolder));
    ok &= save(*window, outputFolder, QStringLiteral("5-custom-folder"));

    // Every option on: smaller photos without their location, into the folder.
    model.setResize(true);
    model.setRemoveLocation(true);
    ok &= save(*window, outputFolder, QStringLiteral("5b-every-option"));
    model.setResize(false);
    model.setRemoveLocation(false);

    QElapsedTimer timer;
    const auto waitUntil = [&](const std::function<bool()>& done) {
        timer.restart();
        while (!done() && timer.elapsed() < 120000)
            settle(50);
    };
    // Starts a run that holds after `finished` files and waits until they are done.
    const auto startHeldRun = [&](int finished) {
        passing = finished;
        holding = true;
        model.convertAll();
        waitUntil([&] { return model.finishedCount() >= finished; });
    };

    startHeldRun(std::min(2, int(files.size()) - 1));
    ok &= save(*window, outputFolder, QStringLiteral("6-converting"));
    if (QQuickItem* bar = item("progressBar"))
        bar->forceActiveFocus(Qt::TabFocusReason);
    ok &= save(*window, outputFolder, QStringLiteral("6-converting-focus-progressBar"));
    holding = false;
    waitUntil([&] { return !model.isConverting(); });
    ok &= save(*window, outputFolder, QStringLiteral("7-results"));

    // Keyboard focus, as Tab leaves it, on each kind of control (the chosen
    // format segment and the other one).
    for (const char* name : {"formatButtonJPG", "formatButtonPNG", "qualitySlider", "customOutputSwitch",
                             "revealButton", "resultsListView"}) {
        if (QQuickItem* focused = item(name))
            focused->forceActiveFocus(Qt::TabFocusReason);
        ok &= save(*window, outputFolder, QStringLiteral("8-focus-") + QLatin1String(name));
    }

    // The keyboard leaves the list, so no row is marked.
    if (QQuickItem* content = item("contentView"))
        content->forceActiveFocus();

    // A deep output folder and 32 queued photos with names of 80 characters,
    // the third of them no image.
    const QString deepFolder = QDir(workFolder).filePath(QStringLiteral(
        "Pictures/Exports/2024/Summer-holiday-in-the-mountains/converted-photos/for-the-family-album/final"));
    const QString longNames = QDir(workFolder).filePath(QStringLiteral("long-names"));
    QDir().mkpath(deepFolder);
    QDir().mkpath(longNames);
    QList<QUrl> many;
    for (int i = 1; i <= 32; ++i)
        many.append(longNamedCopy(i == 3 ? files.constLast() : files.constFirst(), longNames, i));
    model.clear();
    model.setOutputDir(QUrl::fromLocalFile(deepFolder));
    model.addFiles(many);
    ok &= save(*window, outputFolder, QStringLiteral("9-deep-folder-32-queued"));

    // Stopped after 7 files, the third of which is no image.
    startHeldRun(7);
    ok &= save(*window, outputFolder, QStringLiteral("10-32-converting"));
    model.stop();
    waitUntil([&] { return !model.isConverting(); });
    ok &= save(*window, outputFolder, QStringLiteral("11-32-stopped"));

    holding = false;
    model.convertAll();
    waitUntil([&] { return !model.isConverting(); });
    ok &= save(*window, outputFolder, QStringLiteral("12-32-results"));

    if (QQuickItem* list = item("resultsListView")) {
        QMetaObject::invokeMethod(list, "positionViewAtEnd");
        ok &= save(*window, outputFolder, QStringLiteral("13-32-results-scrolled"));
    }

    model.setUseCustomOutput(false);
    model.clear();
    ok &= save(*window, outputFolder, QStringLiteral("14-cleared"));

    QThreadPool::globalInstance()->waitForDone();
    return ok ? 0 : 1;
}
