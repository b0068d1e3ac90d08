#pragma once

#include "core/ConversionResult.h"
#include "core/OutputFormat.h"

#include <QFuture>
#include <QPromise>
#include <QRunnable>

#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
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
// at a time in order and reports each file's result through a future as soon
// as the file is finished. It owns everything it uses, so it outlives the
// model safely. A stop requested through its token abandons the file in hand
// (the token reaches the conversion, which kills its worker) and starts no
// further file; what was finished before stays reported.
class ConversionRun : public QRunnable {
public:
    using ConvertFunction =
        std::function<ConversionResult(const std::filesystem::path&, OutputFormat, double,
                                       const std::optional<std::filesystem::path>&, std::stop_token)>;

    ConversionRun(ConversionSnapshot snapshot, ConvertFunction convert, std::stop_token stop);

    // One result per finished file, in snapshot order; finishes with the run.
    QFuture<ConversionResult> future();

    void run() override;

private:
    ConversionResult convertOne(const std::filesystem::path& file) const;

    ConversionSnapshot snapshot_;
    ConvertFunction convert_;
    std::stop_token stop_;
    QPromise<ConversionResult> promise_;
};

}  // namespace pictavo
