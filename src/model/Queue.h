#pragma once

#include "model/FolderScan.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QUrl>

namespace pictavo {

// The files waiting for the next run, in the order they came, each once, and
// the intake that fills it. Every change of the files or of the scanning flag
// is preceded by willChange() and followed by its own ...Changed() signal.
class Queue : public QObject {
    Q_OBJECT

public:
    explicit Queue(QObject* parent = nullptr);
    // Ends a folder scan in progress: nothing of it is delivered.
    ~Queue() override;

    const QList<QUrl>& files() const;
    // The files that stay keep their subfolders.
    void setFiles(QList<QUrl> files);
    // For a queued file that a folder scan found, the folders that lead to it
    // from the parent of the folder given ("Trip/Day 2"); empty for a file given alone.
    std::filesystem::path subfolderOf(const QUrl& file) const;
    // True while folders given to add() are searched for their photos.
    bool isScanning() const;
    void setScanning(bool scanning);

    // Appends every URL that passes isConvertible() and is not queued yet, in
    // the given order, one change each. A local folder among them stands for
    // the photos inside it (FolderScan.h): then the list is expanded on
    // another thread while isScanning(), and its files are appended in one
    // change when that ends. Lists given meanwhile wait for it, so the queue
    // keeps the order of the calls.
    void add(const QList<QUrl>& urls);

signals:
    void willChange();
    void filesChanged();
    void isScanningChanged();

private:
    void scanThenAppend(const QList<QUrl>& locations);

    QList<QUrl> files_;
    QHash<QUrl, std::filesystem::path> subfolders_;
    bool scanning_ = false;
    // The folder scan in progress, and the lists given to add() while it runs, oldest first.
    QFuture<QList<FoundPhoto>> scan_;
    QList<QList<QUrl>> waiting_;
};

}  // namespace pictavo
