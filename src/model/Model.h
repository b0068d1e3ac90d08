#pragma once

#include "core/ConversionResult.h"
#include "core/OutputFormat.h"
#include "model/ConversionRun.h"
#include "model/FileDialogs.h"
#include "model/Queue.h"
#include "model/ResultList.h"

#include <QList>
#include <QObject>
#include <QUrl>

#include <memory>
#include <optional>

namespace pictavo {

// The window's one state object: the queue, the settings of the next run,
// the results of the last run and the busy flag, in front of the rooms that
// keep them (Queue, ConversionRun, ResultList). Every write of a property
// emits objectWillChange() before the value is stored and the property's
// ...Changed() signal after, once per write, even when the value is equal.
class Model : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<QUrl> files READ files NOTIFY filesChanged)
    Q_PROPERTY(int fileCount READ fileCount NOTIFY filesChanged)
    Q_PROPERTY(QString format READ formatName WRITE setFormatName NOTIFY formatChanged)
    Q_PROPERTY(QStringList formats READ formatNames CONSTANT)
    Q_PROPERTY(double quality READ quality WRITE setQuality NOTIFY qualityChanged)
    Q_PROPERTY(pictavo::ResultList* results READ resultList NOTIFY resultsChanged)
    Q_PROPERTY(bool isConverting READ isConverting NOTIFY isConvertingChanged)
    // The files of the current (or last) run, and how many of them are finished, failures included.
    Q_PROPERTY(int runSize READ runSize NOTIFY runSizeChanged)
    Q_PROPERTY(int finishedCount READ finishedCount NOTIFY finishedCountChanged)
    // The files of the last run that Stop left unconverted; 0 after a run that ended by itself.
    Q_PROPERTY(int notConvertedCount READ notConvertedCount NOTIFY notConvertedCountChanged)
    // True while folders given to addFiles are searched for their photos.
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)
    Q_PROPERTY(bool useCustomOutput READ useCustomOutput WRITE setUseCustomOutput NOTIFY useCustomOutputChanged)
    // Photos made smaller, to at most longSide pixels on their long side; never larger.
    Q_PROPERTY(bool resize READ resize WRITE setResize NOTIFY resizeChanged)
    Q_PROPERTY(int longSide READ longSide WRITE setLongSide NOTIFY longSideChanged)
    Q_PROPERTY(int smallestLongSide READ smallestLongSide CONSTANT)
    Q_PROPERTY(int largestLongSide READ largestLongSide CONSTANT)
    // Outputs without the place where the photo was taken.
    Q_PROPERTY(bool removeLocation READ removeLocation WRITE setRemoveLocation NOTIFY removeLocationChanged)
    Q_PROPERTY(QUrl outputDir READ outputDirUrl NOTIFY outputDirChanged)
    Q_PROPERTY(QString outputDirPath READ outputDirPath NOTIFY outputDirChanged)

public:
    // A run converts each file with `convert`; the choose operations show
    // `dialogs` (none: they show nothing and change nothing).
    Model(ConvertFunction convert, std::shared_ptr<FileDialogs> dialogs, QObject* parent = nullptr);

    const QList<QUrl>& files() const;
    void setFiles(QList<QUrl> files);
    int fileCount() const;
    OutputFormat format() const;
    void setFormat(OutputFormat format);
    double quality() const;
    void setQuality(double quality);
    const QList<ConversionResult>& results() const;
    void setResults(QList<ConversionResult> results);
    ResultList* resultList();
    bool isConverting() const;
    void setIsConverting(bool converting);
    int runSize() const;
    void setRunSize(int size);
    int finishedCount() const;
    void setFinishedCount(int count);
    int notConvertedCount() const;
    void setNotConvertedCount(int count);
    bool isScanning() const;
    void setIsScanning(bool scanning);
    bool useCustomOutput() const;
    void setUseCustomOutput(bool use);
    const std::optional<QUrl>& outputDir() const;
    void setOutputDir(std::optional<QUrl> folder);
    bool resize() const;
    void setResize(bool resize);
    int longSide() const;
    // Stores the side clamped to smallestLongSide() .. largestLongSide().
    void setLongSide(int pixels);
    static int smallestLongSide() { return ConversionOptions::kSmallestLongSide; }
    static int largestLongSide() { return ConversionOptions::kLargestLongSide; }
    bool removeLocation() const;
    void setRemoveLocation(bool remove);

    QString formatName() const;
    void setFormatName(const QString& name);
    QStringList formatNames() const;
    QUrl outputDirUrl() const;     // empty when none
    QString outputDirPath() const;  // "" when none

    // True when the URL's extension, lower-cased, is "heic", "heif" or "hif".
    Q_INVOKABLE static bool isConvertible(const QUrl& url);
    // Queues every convertible URL not yet queued, in the given order; a
    // local folder stands for the photos inside it (Queue::add).
    Q_INVOKABLE void addFiles(const QList<QUrl>& urls);
    // Empties the queue, then the results (and what the last Stop left unconverted).
    Q_INVOKABLE void clear();
    // Lets the user pick HEIC files and adds them.
    Q_INVOKABLE void chooseFiles();
    // Converts the whole queue on a worker thread, counts each finished file,
    // and publishes all results at once when the run ends. A run that Stop
    // ends leaves in the queue only the files it did not finish.
    Q_INVOKABLE void convertAll();
    // Ends the run in progress (ConversionRun::stop); its results are
    // published with the number of files left unconverted.
    Q_INVOKABLE void stop();
    // Lets the user pick the output folder and switches the custom folder on.
    Q_INVOKABLE void chooseOutputDir();

signals:
    void objectWillChange();
    void filesChanged();
    void formatChanged();
    void qualityChanged();
    void resultsChanged();
    void isConvertingChanged();
    void runSizeChanged();
    void finishedCountChanged();
    void notConvertedCountChanged();
    void isScanningChanged();
    void useCustomOutputChanged();
    void outputDirChanged();
    void resizeChanged();
    void longSideChanged();
    void removeLocationChanged();

private:
    template <typename T>
    void write(T& stored, T value, void (Model::*changed)());
    ConversionSnapshot snapshot() const;
    void publish(QList<ConversionResult> results, bool stopped);

    Queue queue_;
    OutputFormat format_ = OutputFormat::jpg;
    double quality_ = 0.9;
    ResultList results_;
    bool isConverting_ = false;
    int runSize_ = 0;
    int finishedCount_ = 0;
    int notConvertedCount_ = 0;
    bool useCustomOutput_ = false;
    std::optional<QUrl> outputDir_;
    bool resize_ = false;
    int longSide_ = 2048;
    bool removeLocation_ = false;

    QList<QUrl> runFiles_;  // the queue as the current (or last) run took it
    ConversionRun run_;
    std::shared_ptr<FileDialogs> dialogs_;
};

}  // namespace pictavo
