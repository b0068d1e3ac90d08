// Usage: pictavo-quit-driver LOCATION...
// Runs the application as main does (runApplication), offscreen, with a hand that queues the locations as a launch
// naming them does, converts them to PNG unless folders are being searched and prints "scanning <0 or 1>"; then, when
// a line arrives on its standard input, it prints "quit <steady_clock nanoseconds>" and presses Ctrl+Q.
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

    pictavo::prepareQuick();
    return pictavo::runApplication([&](const pictavo::MainWindow& shown) {
        QQuickWindow* window = shown.window;
        window->requestActivate();
        (void)QTest::qWaitForWindowActive(window);
        shown.model->setFormat(pictavo::OutputFormat::png);
        shown.model->addFiles(pictavo::launchLocations(QCoreApplication::arguments()));
        shown.model->convertAll();  // nothing while folders are searched
        std::printf("scanning %d\n", shown.model->isScanning() ? 1 : 0);
        std::fflush(stdout);

        auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, window);
        QObject::connect(input, &QSocketNotifier::activated, window, [window, input] {
            input->setEnabled(false);
            std::printf("quit %lld\n", static_cast<long long>(std::chrono::steady_clock::now().time_since_epoch().count()));
            std::fflush(stdout);
            QTest::keyClick(window, Qt::Key_Q, Qt::ControlModifier);
        });
    });
}
