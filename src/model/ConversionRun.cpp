#include "model/ConversionRun.h"

#include "core/Converter.h"

#include <exception>
#include <string>

namespace pictavo {

ConversionRun::ConversionRun(ConversionSnapshot snapshot, ConvertFunction convert, std::stop_token stop)
    : snapshot_(std::move(snapshot)), convert_(std::move(convert)), stop_(std::move(stop))
{
    setAutoDelete(true);
}

QFuture<ConversionResult> ConversionRun::future()
{
    return promise_.future();
}

void ConversionRun::run()
{
    promise_.start();
    for (const std::filesystem::path& file : snapshot_.files) {
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

ConversionResult ConversionRun::convertOne(const std::filesystem::path& file) const
{
    // A folder that is not an absolute local path (a remote or empty URL)
    // would otherwise resolve against the working directory.
    if (snapshot_.folder && !snapshot_.folder->is_absolute())
        return ConversionResult::failure(file, FailureKind::outputNotCreated);
    // An escaping exception would end the process; one file's failure must
    // not cost the rest of the run.
    try {
        return convert_(file, snapshot_.format, snapshot_.quality, snapshot_.folder, stop_);
    } catch (const std::exception&) {
        return ConversionResult::failure(file, FailureKind::unreadable);
    }
}

}  // namespace pictavo
