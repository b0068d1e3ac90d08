#pragma once

#include "model/FileDialogs.h"

namespace pictavo {

// Answers the model's file dialogs with modal Qt file dialogs: the desktop's
// own chooser where Qt takes it from the desktop portal, else Qt's own.
class QtFileDialogs : public FileDialogs {
public:
    std::optional<QList<QUrl>> choosePhotos(const QString& title, const QStringList& extensions) override;
    std::optional<QList<QUrl>> chooseFolder(const QString& title) override;

    // Asks Qt, through QT_QPA_PLATFORMTHEME, to take its file dialogs from the
    // desktop portal, which shows the desktop's own chooser, unless a platform
    // theme was chosen for the application. Qt keeps its own dialog where the
    // portal theme is not installed or no portal answers. Call before the
    // application object is made; returns whether it asked.
    static bool preferDesktopPortal();
};

}  // namespace pictavo
