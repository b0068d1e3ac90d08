#pragma once

#include <QFuture>
#include <QList>
#include <QUrl>

#include <filesystem>

namespace pictavo {

// True when the URL is a local folder, reached directly or through a link.
bool isLocalFolder(const QUrl& url);

// Natural order of names: runs of digits by value, letters without regard to case.
bool naturalLess(QStringView a, QStringView b);

// A location the scan gives back, with the folders that lead to it from the
// parent of the folder it was found in: "Trip/Day 2" for Trip/Day 2/IMG_2.heic
// found in a given folder Trip; empty for a location given as it was.
struct FoundPhoto {
    QUrl url;
    std::filesystem::path subfolder;
};

// On a thread of its own, the locations in the given order with each folder
// among them replaced by the photos inside it at any depth (the files whose
// names pass isConvertible(), PhotoNames.h): a folder's files by name in natural order
// (IMG_2 before IMG_10, letter case aside), then its subfolders in the same
// order, depth first. Hidden entries (names starting with "."), links to
// folders and anything but regular files are left out; a folder that cannot
// be read is skipped. Other locations are kept as they are. The future holds
// the list when the scan ends; cancelling it stops the scan at its next entry.
QFuture<QList<FoundPhoto>> expandFoldersInBackground(QList<QUrl> locations);

}  // namespace pictavo
