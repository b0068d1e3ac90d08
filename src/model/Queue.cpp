#include "model/Queue.h"

#include "model/PhotoNames.h"

#include <QFutureWatcher>
#include <QSet>

#include <algorithm>

namespace pictavo {

namespace {

// The photos that pass the extension test and are not in `queue`, in order, each once.
QList<FoundPhoto> unqueuedConvertible(const QList<QUrl>& queue, const QList<FoundPhoto>& photos)
{
    // A set, so that thousands of files from a folder are not each compared with the whole queue.
    QSet<QUrl> seen(queue.begin(), queue.end());
    QList<FoundPhoto> fresh;
    for (const FoundPhoto& photo : photos) {
        if (isConvertible(photo.url) && !seen.contains(photo.url)) {
            seen.insert(photo.url);
            fresh.append(photo);
        }
    }
    return fresh;
}

QList<FoundPhoto> givenAlone(const QList<QUrl>& urls)
{
    QList<FoundPhoto> photos;
    for (const QUrl& url : urls)
        photos.append({url, {}});
    return photos;
}

}  // namespace

Queue::Queue(QObject* parent) : QObject(parent) {}

Queue::~Queue()
{
    scan_.cancel();
}

const QList<QUrl>& Queue::files() const
{
    return files_;
}

void Queue::setFiles(QList<QUrl> files)
{
    emit willChange();
    files_ = std::move(files);
    const QSet<QUrl> kept(files_.begin(), files_.end());
    subfolders_.removeIf([&kept](const auto& entry) { return !kept.contains(entry.key()); });
    emit filesChanged();
}

std::filesystem::path Queue::subfolderOf(const QUrl& file) const
{
    return subfolders_.value(file);
}

bool Queue::isScanning() const
{
    return scanning_;
}

void Queue::setScanning(bool scanning)
{
    emit willChange();
    scanning_ = scanning;
    emit isScanningChanged();
}

void Queue::add(const QList<QUrl>& urls)
{
    if (scanning_) {
        waiting_.append(urls);
    } else if (std::any_of(urls.begin(), urls.end(), isLocalFolder)) {
        setScanning(true);
        scanThenAppend(urls);
    } else {
        for (const FoundPhoto& photo : unqueuedConvertible(files_, givenAlone(urls))) {
            emit willChange();
            files_.append(photo.url);
            emit filesChanged();
        }
    }
}

void Queue::scanThenAppend(const QList<QUrl>& locations)
{
    // The watcher is the queue's child: when the queue is gone, nothing is delivered.
    auto* watcher = new QFutureWatcher<QList<FoundPhoto>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        const QList<FoundPhoto> found = watcher->future().resultCount() > 0 ? watcher->result() : QList<FoundPhoto>();
        watcher->deleteLater();
        // All in one change: announced one by one, the views would redraw
        // their count thousands of times with the window frozen.
        if (const QList<FoundPhoto> fresh = unqueuedConvertible(files_, found); !fresh.isEmpty()) {
            QList<QUrl> files = files_;
            for (const FoundPhoto& photo : fresh) {
                files.append(photo.url);
                if (!photo.subfolder.empty())
                    subfolders_.insert(photo.url, photo.subfolder);
            }
            setFiles(std::move(files));
        }
        if (!waiting_.isEmpty())
            scanThenAppend(waiting_.takeFirst());
        else
            setScanning(false);
    });
    scan_ = expandFoldersInBackground(locations);
    watcher->setFuture(scan_);
}

}  // namespace pictavo
