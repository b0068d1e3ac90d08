#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

namespace pictavo {

// The modal file dialogs the model shows, each titled as given. The
// application shows Qt's; tests answer through their own.
class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // Lets the user pick any number of existing files, offering those whose
    // names end in one of `extensions` (lower case, in any letter case). The
    // chosen files in the dialog's order, or nothing when cancelled.
    virtual std::optional<QList<QUrl>> choosePhotos(const QString& title, const QStringList& extensions) = 0;
    // Lets the user pick one folder: the chosen one (none when the dialog
    // names none), or nothing when cancelled.
    virtual std::optional<QList<QUrl>> chooseFolder(const QString& title) = 0;
};

}  // namespace pictavo
