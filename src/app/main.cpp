#include "app/Application.h"
#include "app/LaunchArguments.h"
#include "model/Model.h"
#include "ui/ColourScheme.h"
#include "ui/DialogPanels.h"
#include "ui/QmlSetup.h"
#include "ui/StringTable.h"

#include <QApplication>

#include <memory>

int main(int argc, char** argv)
{
    if (pictavo::answeredHelpOrVersion(argc, argv))
        return 0;
    // A widget application, because the open panels are widget file dialogs.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pictavo"));
    // The launcher's id, so desktops link the window to the launcher and its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.pictavo.Pictavo"));

    pictavo::followDesktopColourScheme();
    const pictavo::StringTable strings;
    pictavo::prepareQuick();
    pictavo::Model::setDefaultPanels(std::make_shared<pictavo::DialogPanels>());
    // The photos and folders the launch names are queued as if dropped.
    const QList<QUrl> locations = pictavo::launchLocations(QApplication::arguments());
    return pictavo::runApplication([&](const pictavo::MainWindow& shown) { shown.model->addFiles(locations); });
}
