#include "app/Application.h"
#include "app/LaunchArguments.h"
#include "core/IsolatedConverter.h"
#include "model/Model.h"
#include "ui/ColourScheme.h"
#include "ui/QmlSetup.h"
#include "ui/QtFileDialogs.h"
#include "ui/StringTable.h"

#include <QApplication>
#include <QIcon>

#include <memory>

int main(int argc, char** argv)
{
    if (pictavo::answeredHelpOrVersion(argc, argv))
        return 0;
    // The desktop's own file chooser, through its portal, where Qt's portal theme is installed.
    const bool portalPreferred = pictavo::QtFileDialogs::preferDesktopPortal();
    // A widget application, because the file dialogs are widget file dialogs.
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
    // Each file in a worker process, so that a decoder crash costs one file.
    pictavo::Model model(&pictavo::IsolatedConverter::convert, std::make_shared<pictavo::QtFileDialogs>());
    // The photos and folders the launch names are queued as if dropped.
    model.addFiles(pictavo::launchLocations(QApplication::arguments()));
    return pictavo::runApplication(model);
}
