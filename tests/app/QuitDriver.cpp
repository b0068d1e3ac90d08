// Usage: pictavo-quit-driver OUTPUT_FOLDER FILE.heic...
//        pictavo-quit-driver --open LOCATION...
// The application as main runs it (runApplication), offscreen, with a hand
// that queues the files with the output folder and presses Convert, then
// presses Ctrl+Q when a line arrives on its standard input, printing
// "quit <steady_clock nanoseconds>" just before. With --open the hand
// queues the locations as a launch that names them does, prints
// "scanning <0 or 1>" and then waits for the line in the same way.
#include "app/Application.h"
#include "app/LaunchArguments.h"
#include "model/Model.h"

#include <QApplication>
#include <QQuickWindow>
#include <QSocketNotifier>
#include <QTest>

#include <unistd.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const bool open = arguments[1] == QLatin1String("--open");

    pictavo::prepareQuick();
    return pictavo::runApplication([&](const pictavo::MainWindow& shown) {
        QQuickWindow* window = shown.window;
        window->requestActivate();
        (void)QTest::qWaitForWindowActive(window);
        if (open) {
            shown.model->addFiles(pictavo::launchLocations(arguments));
            std::printf("scanning %d\n", shown.model->isScanning() ? 1 : 0);
            std::fflush(stdout);
        } else {
            shown.model->setFormat(pictavo::OutputFormat::png);
            shown.model->setOutputDir(QUrl::fromLocalFile(arguments[1]));
            shown.model->setUseCustomOutput(true);
            for (const QString& file : arguments.mid(2))
                shown.model->addFiles({QUrl::fromLocalFile(file)});
            shown.model->convertAll();
        }

        auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, window);
        QObject::connect(input, &QSocketNotifier::activated, window, [window, input] {
            input->setEnabled(false);
            std::printf("quit %lld\n", static_cast<long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
            std::fflush(stdout);
            QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
        });
    });
}
