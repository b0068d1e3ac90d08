#pragma once

#include "core/ConversionResult.h"
#include "core/OutputFormat.h"
#include "model/Panels.h"

#include <QList>
#include <QObject>
#include <QUrl>
#include <QVariantList>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

namespace pictavo {

// The window's one state object: the queue, the settings of the next run,
// the results of the last run and the busy flag. Every write of a property
// emits objectWillChange() before the value is stored and the property's
// ...Changed() signal after, once per write, even when the value is equal.
class Model : public QObject {
    Q_OBJECT
    Q_PROPERTY(QList<QUrl> files READ files NOTIFY filesChanged)
    Q_PROPERTY(QString format READ formatName WRITE setFormatName NOTIFY formatChanged)
    Q_PROPERTY(QStringList formats READ formatNames CONSTANT)
    Q_PROPERTY(double quality READ quality WRITE setQuality NOTIFY qualityChanged)
    // One map per result: id, source (path), fileName, output (path or ""), error (or ""), ok.
    Q_PROPERTY(QVariantList results READ resultRows NOTIFY resultsChanged)
    Q_PROPERTY(bool isConverting READ isConverting NOTIFY isConvertingChanged)
    // The files of the current (or last) run, and how many of them are finished, failures included.
    Q_PROPERTY(int runSize READ runSize NOTIFY runSizeChanged)
    Q_PROPERTY(int finishedCount READ finishedCount NOTIFY finishedCountChanged)
    // The files of the last run that Stop left unconverted; 0 after a run that ended by itself.
    Q_PROPERTY(int notConvertedCount READ notConvertedCount NOTIFY notConvertedCountChanged)
    // True while folders given to addFiles are searched for their photos.
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)
    Q_PROPERTY(bool useCustomOutput READ useCustomOutput WRITE setUseCustomOutput NOTIFY useCustomOutputChanged)
    Q_PROPERTY(QUrl outputDir READ outputDirUrl NOTIFY outputDirChanged)
    Q_PROPERTY(QString outputDirPath READ outputDirPath NOTIFY outputDirChanged)

public:
    // Converts one file; a stop requested through the token abandons it.
    using ConvertFunction =
        std::function<ConversionResult(const std::filesystem::path&, OutputFormat, double,
                                       const std::optional<std::filesystem::path>&, std::stop_token)>;

    explicit Model(QObject* parent = nullptr);
    ~Model() override;

    // The panels every new model uses (the application's dialogs, or a test's).
    static void setDefaultPanels(std::shared_ptr<Panels> panels);
    void setPanels(std::shared_ptr<Panels> panels);
    // The conversion a run calls for each file; IsolatedConverter::convert by default.
    void setConvertFunction(ConvertFunction convert);

    const QList<QUrl>& files() const;
    void setFiles(QList<QUrl> files);
    OutputFormat format() const;
    void setFormat(OutputFormat format);
    double quality() const;
    void setQuality(double quality);
    const QList<ConversionResult>& results() const;
    void setResults(QList<ConversionResult> results);
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

    QString formatName() const;
    void setFormatName(const QString& name);
    QStringList formatNames() const;
    QVariantList resultRows() const;
    QUrl outputDirUrl() const;     // empty when none
    QString outputDirPath() const;  // "" when none

    // True when the URL's extension, lower-cased, is "heic", "heif" or "hif".
    Q_INVOKABLE static bool isConvertible(const QUrl& url);
    // Appends every convertible URL not yet queued, in the given order, one
    // announced write each. A local folder among them stands for the photos
    // inside it (FolderScan.h): then the list is expanded on another thread
    // while isScanning, and its files are appended in one write when that
    // ends. Lists given meanwhile wait for it, so the queue keeps the order
    // of the calls.
    Q_INVOKABLE void addFiles(const QList<QUrl>& urls);
    // Empties the queue, then the results (and what the last Stop left unconverted).
    Q_INVOKABLE void clear();
    // Lets the user pick HEIC files and adds them.
    Q_INVOKABLE void chooseFiles();
    // Converts the whole queue on a worker thread, counts each finished file,
    // and publishes all results at once when the run ends.
    Q_INVOKABLE void convertAll();
    // Ends the run in progress: the file in hand is abandoned without a trace,
    // no further file is started, and the results of the files finished so far
    // are published with the number of files left unconverted.
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

private:
    void scanThenAppend(const QList<QUrl>& locations);

    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pictavo
