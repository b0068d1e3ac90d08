#pragma once

#include "model/Panels.h"

#include <QStringList>

class QFileDialog;

namespace pictavo {

// Answers the model's panels with modal Qt file dialogs.
class DialogPanels : public Panels {
public:
    std::optional<QList<QUrl>> run(const PanelRequest& request) override;

    // Sets the dialog's mode, caption and filter from the request, and a size
    // at which Qt's own dialog shows its columns (name, size, type, date) whole.
    static void configure(QFileDialog& dialog, const PanelRequest& request);
    // Asks Qt, through QT_QPA_PLATFORMTHEME, to take its file dialogs from the
    // desktop portal, which shows the desktop's own chooser, unless a platform
    // theme was chosen for the application. Qt keeps its own dialog where the
    // portal theme is not installed or no portal answers. Call before the
    // application object is made; returns whether it asked.
    static bool preferDesktopPortal();
    // A name filter that matches the extensions in any letter case, e.g.
    // "*.[hH][eE][iI][cC]": the widget dialog compares patterns case-sensitively.
    static QStringList caseInsensitivePatterns(const QStringList& extensions);
};

}  // namespace pictavo
