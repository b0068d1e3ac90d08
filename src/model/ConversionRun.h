#pragma once

#include "core/ConversionOptions.h"
#include "core/ConversionResult.h"

#include <QList>
#include <QObject>

#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <vector>

namespace pictavo {

// Converts one file into `folder` (none: next to it); a stop requested through
// the token abandons it, with a result of FailureKind::abandoned.
using ConvertFunction =
    std::function<ConversionResult(const std::filesystem::path& file, const ConversionOptions& options,
                                   const std::optional<std::filesystem::path>& folder, std::stop_token stop)>;

// One file of a run, and the folders below the run's folder that its output
// goes into (empty: straight in).
struct SnapshotFile {
    std::filesystem::path file;
    std::filesystem::path subfolder;
};

// What a run converts, copied from the model when the run starts so that
// nothing the user changes afterwards reaches the run.
struct ConversionSnapshot {
    std::vector<SnapshotFile> files;
    ConversionOptions options;
    std::optional<std::filesystem::path> folder;
};

// Batch conversion: a run converts the snapshot's files one at a time in
// order on a worker thread, reports each finished file as it ends and all
// results when the run ends, both on this object's thread. The worker thread
// owns everything it uses, so a run outlives this object safely; deleting
// this object stops the run and delivers nothing more.
class ConversionRun : public QObject {
    Q_OBJECT

public:
    explicit ConversionRun(ConvertFunction convert, QObject* parent = nullptr);
    ~ConversionRun() override;

    void start(ConversionSnapshot snapshot);
    // Ends the run in progress: the file in hand is abandoned without a trace
    // (the stop reaches the conversion, which kills its worker) and no further
    // file is started; the files finished before stay in the results.
    void stop();

signals:
    // `finished` files of the run are done, failures included.
    void fileFinished(int finished);
    // One result per finished file, in snapshot order; `stopped` when stop() ended the run.
    void ended(QList<ConversionResult> results, bool stopped);

private:
    ConvertFunction convert_;
    std::stop_source stop_;
};

}  // namespace pictavo
