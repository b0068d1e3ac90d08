#include "model/ConversionRun.h"

#include "core/Converter.h"

#include <exception>
#include <string>

namespace pictavo {

ConversionRun::ConversionRun(ConversionSnapshot snapshot, ConvertFunction convert)
    : snapshot_(std::move(snapshot)), convert_(std::move(convert))
{
    setAutoDelete(true);
}

QFuture<QList<ConversionResult>> ConversionRun::future()
{
    return promise_.future();
}

void ConversionRun::run()
{
    promise_.start();
    QList<ConversionResult> results;
    results.reserve(static_cast<qsizetype>(snapshot_.files.size()));
    for (const std::filesystem::path& file : snapshot_.files) {
        // Cancelled (its model is gone, the window closed): the remaining files are left alone.
        if (promise_.isCanceled())
            break;
        results.append(convertOne(file));
    }
    promise_.addResult(std::move(results));
    promise_.finish();
}

ConversionResult ConversionRun::convertOne(const std::filesystem::path& file) const
{
    // A folder that is not an absolute local path (a remote or empty URL)
    // would otherwise resolve against the working directory.
    if (snapshot_.folder && !snapshot_.folder->is_absolute())
        return ConversionResult::failure(file, kCouldNotCreateOutput);
    // An escaping exception would end the process; one file's failure must
    // not cost the rest of the run.
    try {
        return convert_(file, snapshot_.format, snapshot_.quality, snapshot_.folder);
    } catch (const std::exception&) {
        return ConversionResult::failure(file, kCouldNotReadImage);
    }
}

}  // namespace pictavo
