#include "model/Model.h"

#include "core/OutputLocation.h"
#include "model/PhotoNames.h"

#include <QFile>
#include <QSet>

#include <algorithm>
#include <utility>

namespace pictavo {

namespace {

std::filesystem::path localPath(const QUrl& url)
{
    return std::filesystem::path(QFile::encodeName(url.toLocalFile()).toStdString());
}

}  // namespace

Model::Model(ConvertFunction convert, std::shared_ptr<FileDialogs> dialogs, QObject* parent)
    : QObject(parent), run_(std::move(convert)), dialogs_(std::move(dialogs))
{
    connect(&queue_, &Queue::willChange, this, &Model::objectWillChange);
    connect(&queue_, &Queue::filesChanged, this, &Model::filesChanged);
    connect(&queue_, &Queue::isScanningChanged, this, &Model::isScanningChanged);
    connect(&run_, &ConversionRun::fileFinished, this, &Model::setFinishedCount);
    connect(&run_, &ConversionRun::ended, this, &Model::publish);
}

// Tells observers before the value changes and bindings after it has.
template <typename T>
void Model::write(T& stored, T value, void (Model::*changed)())
{
    emit objectWillChange();
    stored = std::move(value);
    emit(this->*changed)();
}

const QList<QUrl>& Model::files() const
{
    return queue_.files();
}

void Model::setFiles(QList<QUrl> files)
{
    queue_.setFiles(std::move(files));
}

int Model::fileCount() const
{
    return int(queue_.files().size());
}

OutputFormat Model::format() const
{
    return format_;
}

void Model::setFormat(OutputFormat format)
{
    write(format_, format, &Model::formatChanged);
}

double Model::quality() const
{
    return quality_;
}

void Model::setQuality(double quality)
{
    write(quality_, quality, &Model::qualityChanged);
}

const QList<ConversionResult>& Model::results() const
{
    return results_.results();
}

void Model::setResults(QList<ConversionResult> results)
{
    emit objectWillChange();
    results_.set(std::move(results));
    emit resultsChanged();
}

ResultList* Model::resultList()
{
    return &results_;
}

bool Model::isConverting() const
{
    return isConverting_;
}

void Model::setIsConverting(bool converting)
{
    write(isConverting_, converting, &Model::isConvertingChanged);
}

int Model::runSize() const
{
    return runSize_;
}

void Model::setRunSize(int size)
{
    write(runSize_, size, &Model::runSizeChanged);
}

int Model::finishedCount() const
{
    return finishedCount_;
}

void Model::setFinishedCount(int count)
{
    write(finishedCount_, count, &Model::finishedCountChanged);
}

int Model::notConvertedCount() const
{
    return notConvertedCount_;
}

void Model::setNotConvertedCount(int count)
{
    write(notConvertedCount_, count, &Model::notConvertedCountChanged);
}

bool Model::isScanning() const
{
    return queue_.isScanning();
}

void Model::setIsScanning(bool scanning)
{
    queue_.setScanning(scanning);
}

bool Model::useCustomOutput() const
{
    return useCustomOutput_;
}

void Model::setUseCustomOutput(bool use)
{
    write(useCustomOutput_, use, &Model::useCustomOutputChanged);
}

const std::optional<QUrl>& Model::outputDir() const
{
    return outputDir_;
}

void Model::setOutputDir(std::optional<QUrl> folder)
{
    write(outputDir_, std::move(folder), &Model::outputDirChanged);
}

bool Model::resize() const
{
    return resize_;
}

void Model::setResize(bool resize)
{
    write(resize_, resize, &Model::resizeChanged);
}

int Model::longSide() const
{
    return longSide_;
}

void Model::setLongSide(int pixels)
{
    write(longSide_, std::clamp(pixels, smallestLongSide(), largestLongSide()), &Model::longSideChanged);
}

bool Model::removeLocation() const
{
    return removeLocation_;
}

void Model::setRemoveLocation(bool remove)
{
    write(removeLocation_, remove, &Model::removeLocationChanged);
}

QString Model::formatName() const
{
    return QString::fromStdString(rawValue(format_));
}

void Model::setFormatName(const QString& name)
{
    if (std::optional<OutputFormat> format = outputFormatFromRawValue(name.toStdString()))
        setFormat(*format);
}

QStringList Model::formatNames() const
{
    QStringList names;
    for (OutputFormat format : allOutputFormats)
        names.append(QString::fromStdString(rawValue(format)));
    return names;
}

QUrl Model::outputDirUrl() const
{
    return outputDir_.value_or(QUrl());
}

QString Model::outputDirPath() const
{
    return outputDir_ ? outputDir_->toLocalFile() : QString();
}

bool Model::isConvertible(const QUrl& url)
{
    return pictavo::isConvertible(url);
}

void Model::addFiles(const QList<QUrl>& urls)
{
    queue_.add(urls);
}

void Model::clear()
{
    setFiles({});
    setResults({});
    setNotConvertedCount(0);
}

void Model::chooseFiles()
{
    if (!dialogs_)
        return;
    if (std::optional<QList<QUrl>> chosen = dialogs_->choosePhotos(tr("Choose HEIC files to convert"), photoExtensions()))
        addFiles(*chosen);
}

void Model::convertAll()
{
    // A second run would clear the busy flag while the first still converts,
    // and the two would overwrite each other's results.
    if (files().isEmpty() || isConverting_)
        return;
    setIsConverting(true);
    setResults({});
    setRunSize(fileCount());
    setFinishedCount(0);
    setNotConvertedCount(0);
    runFiles_ = files();
    run_.start(snapshot());
}

ConversionSnapshot Model::snapshot() const
{
    ConversionSnapshot snapshot;
    for (const QUrl& file : files())
        snapshot.files.push_back({localPath(file), queue_.subfolderOf(file)});
    snapshot.options = {.to = format_,
                        .quality = quality_,
                        .longSide = resize_ ? std::optional(longSide_) : std::nullopt,
                        .removeLocation = removeLocation_};
    if (useCustomOutput_ && outputDir_)
        snapshot.folder = normalFolder(localPath(*outputDir_));
    return snapshot;
}

void Model::publish(QList<ConversionResult> results, bool stopped)
{
    const int notConverted = runSize_ - int(results.size());
    if (stopped && notConverted > 0) {
        // Convert then goes on with the rest, and does not make copies of what is done.
        const QSet<QUrl> finished(runFiles_.begin(), runFiles_.begin() + results.size());
        QList<QUrl> rest = files();
        if (rest.removeIf([&finished](const QUrl& file) { return finished.contains(file); }) > 0)
            setFiles(std::move(rest));
    }
    setResults(std::move(results));
    if (stopped && notConverted > 0)
        setNotConvertedCount(notConverted);
    setIsConverting(false);
}

void Model::stop()
{
    if (isConverting_)
        run_.stop();
}

void Model::chooseOutputDir()
{
    if (!dialogs_)
        return;
    std::optional<QList<QUrl>> chosen = dialogs_->chooseFolder(tr("Choose output folder"));
    if (!chosen)
        return;
    setOutputDir(chosen->isEmpty() ? std::nullopt : std::optional<QUrl>(chosen->first()));
    setUseCustomOutput(true);
}

}  // namespace pictavo
