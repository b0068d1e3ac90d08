#include "ui/FileRevealer.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace pictavo {

namespace {

QStringList fileUris(const QStringList& paths)
{
    QStringList uris;
    uris.reserve(paths.size());
    for (const QString& path : paths)
        uris.append(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
    return uris;
}

void openContainingFolder(const QString& path)
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absolutePath()));
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
    if (!bus_.isConnected()) {
        // A call on a connection that never came up would not report back at all.
        openContainingFolder(paths.first());
        return;
    }

    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
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
