#pragma once

#include <QFuture>
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
    void setFiles(QList<QUrl> files);
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
    bool scanning_ = false;
    // The folder scan in progress, and the lists given to add() while it runs, oldest first.
    QFuture<QList<QUrl>> scan_;
    QList<QList<QUrl>> waiting_;
};

}  // namespace pictavo
