#include "model/Model.h"

#include "core/IsolatedConverter.h"
#include "core/OutputLocation.h"
#include "model/ConversionRun.h"
#include "model/FolderScan.h"

#include <QFile>
#include <QFutureWatcher>
#include <QSet>
#include <QThreadPool>
#include <QVariantMap>

#include <algorithm>
#include <utility>

namespace pictavo {

namespace fs = std::filesystem;

namespace {

std::shared_ptr<Panels>& defaultPanels()
{
    static std::shared_ptr<Panels> panels;
    return panels;
}

fs::path localPath(const QUrl& url)
{
    return fs::path(QFile::encodeName(url.toLocalFile()).toStdString());
}

QString displayPath(const fs::path& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path.native()));
}

// The extension of the URL's last path component, after its last dot; a
// trailing slash (a folder's URL) does not end the name.
QString pathExtension(const QUrl& url)
{
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

// The URLs that pass the extension test and are not in `queue`, in order, each once.
QList<QUrl> unqueuedConvertible(const QList<QUrl>& queue, const QList<QUrl>& urls)
{
    // A set, so that thousands of files from a folder are not each compared with the whole queue.
    QSet<QUrl> seen(queue.begin(), queue.end());
    QList<QUrl> fresh;
    for (const QUrl& url : urls) {
        if (Model::isConvertible(url) && !seen.contains(url)) {
            seen.insert(url);
            fresh.append(url);
        }
    }
    return fresh;
}

// Tells observers before the value changes and bindings after it has.
template <typename Store>
void announcedWrite(Model& model, Store&& store, void (Model::*changed)())
{
    emit model.objectWillChange();
    store();
    emit(model.*changed)();
}

}  // namespace

struct Model::State {
    QList<QUrl> files;
    OutputFormat format = OutputFormat::jpg;
    double quality = 0.9;
    QList<ConversionResult> results;
    bool isConverting = false;
    int runSize = 0;
    int finishedCount = 0;
    int notConvertedCount = 0;
    bool isScanning = false;
    bool useCustomOutput = false;
    std::optional<QUrl> outputDir;

    // Stops the run in progress: on request, and when the model goes.
    std::stop_source stop;
    // The folder scan in progress, cancelled when the model goes, and the
    // lists given to addFiles while it runs, oldest first.
    QFuture<QList<QUrl>> scan;
    QList<QList<QUrl>> waiting;

    std::shared_ptr<Panels> panels = defaultPanels();
    // Each file in a worker process, so that a decoder crash costs one file.
    ConvertFunction convert = &IsolatedConverter::convert;
};

Model::Model(QObject* parent) : QObject(parent), state_(std::make_unique<State>()) {}

Model::~Model()
{
    // Nobody is left to see the results: the run abandons its file and stops.
    state_->stop.request_stop();
    state_->scan.cancel();
}

void Model::setDefaultPanels(std::shared_ptr<Panels> panels)
{
    defaultPanels() = std::move(panels);
}

void Model::setPanels(std::shared_ptr<Panels> panels)
{
    state_->panels = std::move(panels);
}

void Model::setConvertFunction(ConvertFunction convert)
{
    state_->convert = std::move(convert);
}

const QList<QUrl>& Model::files() const
{
    return state_->files;
}

void Model::setFiles(QList<QUrl> files)
{
    announcedWrite(*this, [&] { state_->files = std::move(files); }, &Model::filesChanged);
}

OutputFormat Model::format() const
{
    return state_->format;
}

void Model::setFormat(OutputFormat format)
{
    announcedWrite(*this, [&] { state_->format = format; }, &Model::formatChanged);
}

double Model::quality() const
{
    return state_->quality;
}

void Model::setQuality(double quality)
{
    announcedWrite(*this, [&] { state_->quality = quality; }, &Model::qualityChanged);
}

const QList<ConversionResult>& Model::results() const
{
    return state_->results;
}

void Model::setResults(QList<ConversionResult> results)
{
    announcedWrite(*this, [&] { state_->results = std::move(results); }, &Model::resultsChanged);
}

bool Model::isConverting() const
{
    return state_->isConverting;
}

void Model::setIsConverting(bool converting)
{
    announcedWrite(*this, [&] { state_->isConverting = converting; }, &Model::isConvertingChanged);
}

int Model::runSize() const
{
    return state_->runSize;
}

void Model::setRunSize(int size)
{
    announcedWrite(*this, [&] { state_->runSize = size; }, &Model::runSizeChanged);
}

int Model::finishedCount() const
{
    return state_->finishedCount;
}

void Model::setFinishedCount(int count)
{
    announcedWrite(*this, [&] { state_->finishedCount = count; }, &Model::finishedCountChanged);
}

int Model::notConvertedCount() const
{
    return state_->notConvertedCount;
}

void Model::setNotConvertedCount(int count)
{
    announcedWrite(*this, [&] { state_->notConvertedCount = count; }, &Model::notConvertedCountChanged);
}

bool Model::isScanning() const
{
    return state_->isScanning;
}

void Model::setIsScanning(bool scanning)
{
    announcedWrite(*this, [&] { state_->isScanning = scanning; }, &Model::isScanningChanged);
}

bool Model::useCustomOutput() const
{
    return state_->useCustomOutput;
}

void Model::setUseCustomOutput(bool use)
{
    announcedWrite(*this, [&] { state_->useCustomOutput = use; }, &Model::useCustomOutputChanged);
}

const std::optional<QUrl>& Model::outputDir() const
{
    return state_->outputDir;
}

void Model::setOutputDir(std::optional<QUrl> folder)
{
    announcedWrite(*this, [&] { state_->outputDir = std::move(folder); }, &Model::outputDirChanged);
}

QString Model::formatName() const
{
    return QString::fromStdString(rawValue(state_->format));
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

QVariantList Model::resultRows() const
{
    QVariantList rows;
    rows.reserve(state_->results.size());
    for (const ConversionResult& result : state_->results) {
        QVariantMap row;
        row.insert(QStringLiteral("id"), QString::fromStdString(result.id().toString()));
        row.insert(QStringLiteral("source"), displayPath(result.source()));
        row.insert(QStringLiteral("fileName"), displayPath(result.source().filename()));
        row.insert(QStringLiteral("output"), result.output() ? displayPath(*result.output()) : QString());
        row.insert(QStringLiteral("error"), result.error() ? QString::fromStdString(*result.error()) : QString());
        row.insert(QStringLiteral("ok"), result.ok());
        rows.append(row);
    }
    return rows;
}

QUrl Model::outputDirUrl() const
{
    return state_->outputDir.value_or(QUrl());
}

QString Model::outputDirPath() const
{
    return state_->outputDir ? state_->outputDir->toLocalFile() : QString();
}

bool Model::isConvertible(const QUrl& url)
{
    const QString extension = pathExtension(url).toLower();
    // Cameras name their HEIF files .HIF.
    return extension == QLatin1String("heic") || extension == QLatin1String("heif") ||
           extension == QLatin1String("hif");
}

void Model::addFiles(const QList<QUrl>& urls)
{
    if (state_->isScanning) {
        state_->waiting.append(urls);
    } else if (std::any_of(urls.begin(), urls.end(), isLocalFolder)) {
        setIsScanning(true);
        scanThenAppend(urls);
    } else {
        for (const QUrl& url : unqueuedConvertible(state_->files, urls))
            announcedWrite(*this, [&] { state_->files.append(url); }, &Model::filesChanged);
    }
}

void Model::scanThenAppend(const QList<QUrl>& locations)
{
    // The watcher is the model's child: when the model is gone, nothing is delivered.
    auto* watcher = new QFutureWatcher<QList<QUrl>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        const QList<QUrl> found = watcher->future().resultCount() > 0 ? watcher->result() : QList<QUrl>();
        watcher->deleteLater();
        // All in one write: announced one by one, the views would redraw
        // their count thousands of times with the window frozen.
        if (const QList<QUrl> fresh = unqueuedConvertible(state_->files, found); !fresh.isEmpty())
            setFiles(state_->files + fresh);
        if (!state_->waiting.isEmpty())
            scanThenAppend(state_->waiting.takeFirst());
        else
            setIsScanning(false);
    });
    state_->scan = expandFoldersInBackground(locations);
    watcher->setFuture(state_->scan);
}

void Model::clear()
{
    setFiles({});
    setResults({});
    setNotConvertedCount(0);
}

void Model::chooseFiles()
{
    if (!state_->panels)
        return;
    PanelRequest request;
    request.allowsMultipleSelection = true;
    request.canChooseDirectories = false;
    request.canChooseFiles = true;
    request.message = tr("Choose HEIC files to convert");
    request.allowedExtensions = {QStringLiteral("heic"), QStringLiteral("heif"), QStringLiteral("hif")};
    if (std::optional<QList<QUrl>> chosen = state_->panels->run(request))
        addFiles(*chosen);
}

void Model::convertAll()
{
    // A second run would clear the busy flag while the first still converts,
    // and the two would overwrite each other's results.
    if (state_->files.isEmpty() || state_->isConverting)
        return;
    setIsConverting(true);
    setResults({});
    setRunSize(static_cast<int>(state_->files.size()));
    setFinishedCount(0);
    setNotConvertedCount(0);

    ConversionSnapshot snapshot;
    for (const QUrl& file : state_->files)
        snapshot.files.push_back(localPath(file));
    snapshot.format = state_->format;
    snapshot.quality = state_->quality;
    if (state_->useCustomOutput && state_->outputDir)
        snapshot.folder = normalFolder(localPath(*state_->outputDir));

    state_->stop = std::stop_source();
    auto* run = new ConversionRun(std::move(snapshot), state_->convert, state_->stop.get_token());
    // The watcher is the model's child: when the model is gone, so is the
    // delivery, while the run itself finishes on its own. Both signals arrive
    // on the model's thread.
    auto* watcher = new QFutureWatcher<ConversionResult>(this);
    connect(watcher, &QFutureWatcherBase::resultsReadyAt, this,
            [this](int, int finished) { setFinishedCount(finished); });
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, stop = state_->stop] {
        QList<ConversionResult> results = watcher->future().results();
        watcher->deleteLater();
        const int notConverted = state_->runSize - static_cast<int>(results.size());
        setResults(std::move(results));
        if (stop.stop_requested() && notConverted > 0)
            setNotConvertedCount(notConverted);
        setIsConverting(false);
    });
    watcher->setFuture(run->future());
    QThreadPool::globalInstance()->start(run);
}

void Model::stop()
{
    if (state_->isConverting)
        state_->stop.request_stop();
}

void Model::chooseOutputDir()
{
    if (!state_->panels)
        return;
    PanelRequest request;
    request.allowsMultipleSelection = false;
    request.canChooseDirectories = true;
    request.canChooseFiles = false;
    request.message = tr("Choose output folder");
    std::optional<QList<QUrl>> chosen = state_->panels->run(request);
    if (!chosen)
        return;
    setOutputDir(chosen->isEmpty() ? std::nullopt : std::optional<QUrl>(chosen->first()));
    setUseCustomOutput(true);
}

}  // namespace pictavo
