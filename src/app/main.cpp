#include "app/Application.h"
#include "app/LaunchArguments.h"
#include "model/Model.h"
#include "ui/ColourScheme.h"
#include "ui/DialogPanels.h"
#include "ui/QmlSetup.h"
#include "ui/StringTable.h"

#include <QApplication>
#include <QIcon>

#include <memory>

int main(int argc, char** argv)
{
    if (pictavo::answeredHelpOrVersion(argc, argv))
        return 0;
    // The desktop's own file chooser, through its portal, where Qt's portal theme is installed.
    const bool portalPreferred = pictavo::DialogPanels::preferDesktopPortal();
    // A widget application, because the open panels are widget file dialogs.
    QApplication app(argc, argv);
    if (portalPreferred)
        qunsetenv("QT_QPA_PLATFORMTHEME");  // chosen now; programs started later choose their own
    QApplication::setApplicationName(QStringLiteral("Pictavo"));
    // The launcher's id, so desktops link the window to the launcher and its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.pictavo.Pictavo"));
    // The window's icon where the desktop takes it from the window (X11): the installed one, else the built-in copy.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("org.pictavo.Pictavo"),
                                                 QIcon(QStringLiteral(":/icons/org.pictavo.Pictavo.svg"))));

    pictavo::followDesktopColourScheme();
    const pictavo::StringTable strings;
    pictavo::prepareQuick();
    pictavo::Model::setDefaultPanels(std::make_shared<pictavo::DialogPanels>());
    // The photos and folders the launch names are queued as if dropped.
    const QList<QUrl> locations = pictavo::launchLocations(QApplication::arguments());
    return pictavo::runApplication([&](const pictavo::MainWindow& shown) { shown.model->addFiles(locations); });
}
