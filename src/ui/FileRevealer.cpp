#include "ui/FileRevealer.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace pictavo {

namespace {

const QString kFileManager = QStringLiteral("org.freedesktop.FileManager1");

QStringList fileUris(const QStringList& paths)
{
    QStringList uris;
    uris.reserve(paths.size());
    for (const QString& path : paths)
        uris.append(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
    return uris;
}

QString folderOf(const QString& path)
{
    return QFileInfo(path).absolutePath();
}

void openContainingFolder(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(folderOf(path)));
}

// The files grouped by folder, folders in the order of their first file.
std::vector<QStringList> byFolder(const QStringList& paths)
{
    QStringList folders;
    std::vector<QStringList> files;
    for (const QString& path : paths) {
        const qsizetype index = folders.indexOf(folderOf(path));
        if (index >= 0) {
            files[std::size_t(index)].append(path);
        } else {
            folders.append(folderOf(path));
            files.push_back({path});
        }
    }
    return files;
}

}  // namespace

FileRevealer::FileRevealer(QObject* parent)
    : FileRevealer(QDBusConnection::sessionBus(), parent)
{
}

FileRevealer::FileRevealer(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus)
{
}

void FileRevealer::reveal(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    const std::vector<QStringList> folders = byFolder(paths);
    if (!bus_.isConnected()) {
        // A call on a connection that never came up would not report back at all.
        for (const QStringList& files : folders)
            openContainingFolder(files.first());
        return;
    }
    const bool several = fileManagerSelectsSeveral();
    for (const QStringList& files : folders)
        showItems(several ? files : files.mid(0, 1));
}

// Dolphin shows all the files of a request selected, in one tab per folder.
// Nautilus and Nemo open or reload a window for each file of a request,
// leaving only the last one selected, and Thunar opens a window for each:
// those are sent one file per folder. A file manager that is not running yet
// (the request starts it) cannot be told apart and counts as one of those.
bool FileRevealer::fileManagerSelectsSeveral() const
{
    QDBusConnectionInterface* daemon = bus_.interface();
    const QString owner = daemon->serviceOwner(kFileManager);
    if (owner.isEmpty())
        return false;
    const QStringList names = daemon->registeredServiceNames();
    return std::any_of(names.begin(), names.end(), [&](const QString& name) {
        return (name == QLatin1String("org.kde.dolphin") || name.startsWith(QLatin1String("org.kde.dolphin-"))) &&
               daemon->serviceOwner(name) == owner;
    });
}

void FileRevealer::showItems(const QStringList& paths)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kFileManager, QStringLiteral("/org/freedesktop/FileManager1"),
                                                       kFileManager, QStringLiteral("ShowItems"));
    call << fileUris(paths) << QString();

    // The call is asynchronous so that a slow or absent file manager never stalls the window.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
    const QString first = paths.first();
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [first](QDBusPendingCallWatcher* finished) {
        if (finished->isError())
            openContainingFolder(first);
        finished->deleteLater();
    });
}

}  // namespace pictavo
