#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace pictavo {

// How an open panel is configured.
struct PanelRequest {
    bool allowsMultipleSelection = false;
    bool canChooseDirectories = false;
    bool canChooseFiles = true;
    QString message;
    // File name extensions the panel lets the user pick, lower case, any letter
    // case accepted; empty means no filter.
    QStringList allowedExtensions;
};

// Shows modal open panels for the model. The application shows real dialogs;
// tests answer through their own implementation.
class Panels {
public:
    virtual ~Panels() = default;
    // The chosen locations in the panel's order, or nothing when cancelled.
    virtual std::optional<QList<QUrl>> run(const PanelRequest& request) = 0;
};

}  // namespace pictavo
