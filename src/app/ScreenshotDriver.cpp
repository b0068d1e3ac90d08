// Usage: pictavo-screenshot [--dark] OUTPUT_FOLDER WORK_FOLDER FILE.heic...
// Opens the application's window, puts it into each of its main states and
// writes one PNG per state into OUTPUT_FOLDER. Conversions write into WORK_FOLDER.
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
#include <QFileInfo>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QThreadPool>

#include <atomic>
#include <cstdio>
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
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
    return saved;
}

// The first item of that name in the visual tree (Repeater delegates included).
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

    const pictavo::StringTable strings;
    pictavo::prepareQuick();
    QQmlApplicationEngine engine;
    const auto [window, model] = pictavo::loadMainWindow(engine);
    if (!model)
        return 1;

    bool ok = save(*window, outputFolder, QStringLiteral("1-empty"));

    // The zone as it looks while a file drag hovers over it.
    auto* zone = window->findChild<QObject*>(QStringLiteral("dropZone"));
    zone->setProperty("targeted", true);
    ok &= save(*window, outputFolder, QStringLiteral("2-drag-hover"));
    zone->setProperty("targeted", false);

    model->addFiles(files);
    ok &= save(*window, outputFolder, QStringLiteral("3-queued-jpg"));

    model->setFormat(pictavo::OutputFormat::png);
    ok &= save(*window, outputFolder, QStringLiteral("4-png"));

    model->setFormat(pictavo::OutputFormat::jpg);
    model->setQuality(0.57);
    model->setUseCustomOutput(true);
    model->setOutputDir(QUrl::fromLocalFile(workFolder));
    ok &= save(*window, outputFolder, QStringLiteral("5-custom-folder"));

    // Hold the run on its first file until the picture is taken.
    std::atomic<bool> release{false};
    model->setConvertFunction([&release](const std::filesystem::path& source, pictavo::OutputFormat format,
                                         double quality, const std::optional<std::filesystem::path>& outputDir) {
        while (!release)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return pictavo::Converter::convert(source, format, quality, outputDir);
    });
    model->convertAll();
    ok &= save(*window, outputFolder, QStringLiteral("6-converting"));
    release = true;

    QElapsedTimer timer;
    timer.start();
    while (model->isConverting() && timer.elapsed() < 120000)
        settle(50);
    ok &= save(*window, outputFolder, QStringLiteral("7-results"));

    // Keyboard focus, as Tab leaves it, on each kind of control.
    for (const char* name : {"formatButtonPNG", "qualitySlider", "customOutputSwitch", "revealButton",
                             "resultsListView"}) {
        if (QQuickItem* item = pictavo::findItem(window->contentItem(), QLatin1String(name)))
            item->forceActiveFocus(Qt::TabFocusReason);
        ok &= save(*window, outputFolder, QStringLiteral("8-focus-") + QLatin1String(name));
    }

    QThreadPool::globalInstance()->waitForDone();
    return ok ? 0 : 1;
}
