#pragma once

#include "model/Panels.h"

#include <QStringList>

class QFileDialog;

namespace pictavo {

// Answers the model's panels with modal Qt file dialogs.
class DialogPanels : public Panels {
public:
    std::optional<QList<QUrl>> run(const PanelRequest& request) override;

    // Sets the dialog's mode, caption and filter from the request.
    static void configure(QFileDialog& dialog, const PanelRequest& request);
    // A name filter that matches the extensions in any letter case, e.g.
    // "*.[hH][eE][iI][cC]": the widget dialog compares patterns case-sensitively.
    static QStringList caseInsensitivePatterns(const QStringList& extensions);
};

}  // namespace pictavo
