#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>

namespace pictavo {

// Shows written files in the desktop's file manager, selected.
class FileRevealer : public QObject {
    Q_OBJECT

public:
    explicit FileRevealer(QObject* parent = nullptr);
    // Talks to the file manager over the given bus instead of the session bus.
    explicit FileRevealer(const QDBusConnection& bus, QObject* parent = nullptr);

    // Asks the file manager on the session bus (org.freedesktop.FileManager1.ShowItems)
    // to show each folder of the files once, in the order the files come, with
    // the folder's files selected where the file manager selects several at once
    // and the first of them elsewhere. A folder the file manager does not show
    // (none answers) is opened instead.
    Q_INVOKABLE void reveal(const QStringList& paths);

private:
    bool fileManagerSelectsSeveral() const;
    void showItems(const QStringList& paths);

    QDBusConnection bus_;
};

}  // namespace pictavo
