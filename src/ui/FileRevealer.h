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
    // to open the files' folders with the files selected, in the given order;
    // when no file manager answers, opens the folder of the first file instead.
    Q_INVOKABLE void reveal(const QStringList& paths);

private:
    QDBusConnection bus_;
};

}  // namespace pictavo
