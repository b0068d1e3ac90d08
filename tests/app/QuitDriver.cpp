// Usage: pictavo-quit-driver LOCATION...
// Runs the application as main does (a model over the isolated converter, shown by runApplication), offscreen,
// queueing the locations as a launch naming them does; converts them to PNG unless folders are being searched and
// prints "scanning <0 or 1>"; then, when a line arrives on its standard input, it presses Ctrl+Q.
#include "app/Application.h"
#include "app/LaunchArguments.h"
#include "core/IsolatedConverter.h"
#include "model/Model.h"
#include "ui/QmlSetup.h"

#include <QApplication>
#include <QQuickWindow>
#include <QSocketNotifier>
#include <QTest>

#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    pictavo::prepareQuick();
    pictavo::Model model(&pictavo::IsolatedConverter::convert, nullptr);
    model.setFormat(pictavo::OutputFormat::png);
    model.addFiles(pictavo::launchLocations(QCoreApplication::arguments()));
    model.convertAll();  // nothing while folders are searched
    std::printf("scanning %d\n", model.isScanning() ? 1 : 0);
    std::fflush(stdout);
    return pictavo::runApplication(model, [](QQuickWindow& window) {
        window.requestActivate();
        (void)QTest::qWaitForWindowActive(&window);
        auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &window);
        QObject::connect(input, &QSocketNotifier::activated, &window, [&window, input] {
            input->setEnabled(false);
            QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
        });
    });
}
