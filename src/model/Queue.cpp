#include "model/Queue.h"

#include "model/FolderScan.h"
#include "model/PhotoNames.h"

#include <QFutureWatcher>
#include <QSet>

#include <algorithm>

namespace pictavo {

namespace {

// The URLs that pass the extension test and are not in `queue`, in order, each once.
QList<QUrl> unqueuedConvertible(const QList<QUrl>& queue, const QList<QUrl>& urls)
{
    // A set, so that thousands of files from a folder are not each compared with the whole queue.
    QSet<QUrl> seen(queue.begin(), queue.end());
    QList<QUrl> fresh;
    for (const QUrl& url : urls) {
        if (isConvertible(url) && !seen.contains(url)) {
            seen.insert(url);
            fresh.append(url);
        }
    }
    return fresh;
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
    emit filesChanged();
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
        for (const QUrl& url : unqueuedConvertible(files_, urls)) {
            emit willChange();
            files_.append(url);
            emit filesChanged();
        }
    }
}

void Queue::scanThenAppend(const QList<QUrl>& locations)
{
    // The watcher is the queue's child: when the queue is gone, nothing is delivered.
    auto* watcher = new QFutureWatcher<QList<QUrl>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        const QList<QUrl> found = watcher->future().resultCount() > 0 ? watcher->result() : QList<QUrl>();
        watcher->deleteLater();
        // All in one change: announced one by one, the views would redraw
        // their count thousands of times with the window frozen.
        if (const QList<QUrl> fresh = unqueuedConvertible(files_, found); !fresh.isEmpty())
            setFiles(files_ + fresh);
        if (!waiting_.isEmpty())
            scanThenAppend(waiting_.takeFirst());
        else
            setScanning(false);
    });
    scan_ = expandFoldersInBackground(locations);
    watcher->setFuture(scan_);
}

}  // namespace pictavo
