#pragma once

#include "core/ConversionResult.h"
#include "core/OutputFormat.h"

#include <QFuture>
#include <QList>
#include <QPromise>
#include <QRunnable>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace pictavo {

// What a run converts, copied from the model when the run starts so that
// nothing the user changes afterwards reaches the run.
struct ConversionSnapshot {
    std::vector<std::filesystem::path> files;
    OutputFormat format = OutputFormat::jpg;
    double quality = 0.9;
    std::optional<std::filesystem::path> folder;
};

// One batch conversion on a worker thread: converts the snapshot's files one
// at a time in order and delivers the whole list of results through a future.
// It owns everything it uses, so it outlives the model safely. Cancelling the
// future stops it before its next file.
class ConversionRun : public QRunnable {
public:
    using ConvertFunction = std::function<ConversionResult(const std::filesystem::path&, OutputFormat, double,
                                                           const std::optional<std::filesystem::path>&)>;

    ConversionRun(ConversionSnapshot snapshot, ConvertFunction convert);

    // Finishes once run() has converted every file, or has stopped when cancelled.
    QFuture<QList<ConversionResult>> future();

    void run() override;

private:
    ConversionResult convertOne(const std::filesystem::path& file) const;

    ConversionSnapshot snapshot_;
    ConvertFunction convert_;
    QPromise<QList<ConversionResult>> promise_;
};

}  // namespace pictavo
