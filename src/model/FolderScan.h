#pragma once

#include <QFuture>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>

namespace pictavo {

// True when the URL is a local folder, reached directly or through a link.
bool isLocalFolder(const QUrl& url);

// The locations in the given order, each folder among them replaced by the
// photos inside it at any depth (the files whose names pass
// Model::isConvertible): a folder's files by name in natural order, then its
// subfolders in the same order, depth first. Hidden entries (names starting
// with "."), links to folders and anything but regular files are left out;
// a folder that cannot be read is skipped. Other locations are kept as they
// are. Stops early, with part of the list, once `cancelled` says so.
QList<QUrl> expandFolders(const QList<QUrl>& locations, const std::function<bool()>& cancelled = {});

// expandFolders on a thread of its own; the future holds the list when it
// ends. Cancelling the future stops the scan at its next entry.
QFuture<QList<QUrl>> expandFoldersInBackground(QList<QUrl> locations);

// Natural order of names: runs of digits compare by value (IMG_2 before
// IMG_10), letters without regard to case.
bool naturalLess(QStringView a, QStringView b);

}  // namespace pictavo
