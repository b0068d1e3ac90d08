#include "model/ConversionRun.h"

#include "model/OutputFolders.h"

#include <QFutureWatcher>
#include <QPromise>
#include <QRunnable>
#include <QThreadPool>

#include <exception>

namespace pictavo {

namespace {

// The run's work on a worker thread: each file's result goes to the future
// as soon as the file is done.
class Conversions : public QRunnable {
public:
    Conversions(ConversionSnapshot snapshot, ConvertFunction convert, std::stop_token stop)
        : snapshot_(std::move(snapshot)), convert_(std::move(convert)), stop_(std::move(stop))
    {
        setAutoDelete(true);
    }

    QFuture<ConversionResult> future() { return promise_.future(); }

    void run() override
    {
        promise_.start();
        for (const SnapshotFile& file : snapshot_.files) {
            // Stopped (by the user, or because the window closed): the remaining files are left alone.
            if (stop_.stop_requested())
                break;
            ConversionResult result = convertOne(file);
            // The file the stop abandoned has no result: it was not converted. A
            // file that failed by itself, or was written before the stop reached
            // it, keeps its result.
            if (result.failureKind() == FailureKind::abandoned)
                break;
            promise_.addResult(std::move(result));
        }
        promise_.finish();
    }

private:
    ConversionResult convertOne(const SnapshotFile& file) const
    {
        // A folder that is not an absolute local path (a remote or empty URL)
        // would otherwise resolve against the working directory.
        if (snapshot_.folder && !snapshot_.folder->is_absolute())
            return ConversionResult::failure(file.file, FailureKind::outputNotCreated);
        std::optional<std::filesystem::path> folder = snapshot_.folder;
        if (folder && !file.subfolder.empty()) {
            folder = makeOutputFolder(*folder, file.subfolder);
            if (!folder)
                return ConversionResult::failure(file.file, FailureKind::outputNotCreated);
        }
        // An escaping exception would end the process; one file's failure must
        // not cost the rest of the run.
        try {
            return convert_(file.file, snapshot_.options, folder, stop_);
        } catch (const std::exception&) {
            return ConversionResult::failure(file.file, FailureKind::unreadable);
        }
    }

    ConversionSnapshot snapshot_;
    ConvertFunction convert_;
    std::stop_token stop_;
    QPromise<ConversionResult> promise_;
};

}  // namespace

ConversionRun::ConversionRun(ConvertFunction convert, QObject* parent) : QObject(parent), convert_(std::move(convert)) {}

ConversionRun::~ConversionRun()
{
    // Nobody is left to see the results: the run abandons its file and stops.
    stop_.request_stop();
}

void ConversionRun::start(ConversionSnapshot snapshot)
{
    stop_ = std::stop_source();
    auto* conversions = new Conversions(std::move(snapshot), convert_, stop_.get_token());
    // The watcher is this object's child: when it is gone, so is the delivery,
    // while the conversions finish on their own. Both signals arrive on this
    // object's thread.
    auto* watcher = new QFutureWatcher<ConversionResult>(this);
    connect(watcher, &QFutureWatcherBase::resultsReadyAt, this,
            [this](int, int finished) { emit fileFinished(finished); });
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, stop = stop_] {
        watcher->deleteLater();
        emit ended(watcher->future().results(), stop.stop_requested());
    });
    watcher->setFuture(conversions->future());
    QThreadPool::globalInstance()->start(conversions);
}

void ConversionRun::stop()
{
    stop_.request_stop();
}

}  // namespace pictavo
