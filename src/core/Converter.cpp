#include "core/Converter.h"

#include "core/OutputLocation.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"
#include "imageio/files/OutputFile.h"

#include <sys/stat.h>

#include <algorithm>

namespace pictavo {

namespace fs = std::filesystem;

namespace {

// The one place a failure inside the image service becomes the result's kind of failure.
ConversionResult failure(const fs::path& source, imageio::Failure failure)
{
    switch (failure) {
    case imageio::Failure::unreadable:
        break;
    case imageio::Failure::outputNotCreated:
        return ConversionResult::failure(source, FailureKind::outputNotCreated);
    case imageio::Failure::writeFailed:
        return ConversionResult::failure(source, FailureKind::writeFailed);
    }
    return ConversionResult::failure(source, FailureKind::unreadable);
}

imageio::ImageChanges changes(const ConversionOptions& options)
{
    imageio::ImageChanges changes{.removeLocation = options.removeLocation};
    if (options.longSide)
        changes.longSide = static_cast<std::uint32_t>(
            std::clamp(*options.longSide, ConversionOptions::kSmallestLongSide, ConversionOptions::kLargestLongSide));
    return changes;
}

}  // namespace

ConversionResult Converter::convert(const fs::path& source, const ConversionOptions& options,
                                    const std::optional<fs::path>& outputDir)
{
    return convertWith([&options](imageio::UniqueFd photo, int output) {
        return transcode(std::move(photo), output, options);
    }, source, options.to, outputDir);
}

ConversionResult Converter::convertWith(const Transcoder& transcoder, const fs::path& source, OutputFormat to,
                                        const std::optional<fs::path>& outputDir)
{
    imageio::UniqueFd photo = imageio::ImageSource::openFile(source);
    struct stat info{};
    if (!photo.valid() || ::fstat(photo.get(), &info) != 0)
        return failure(source, imageio::Failure::unreadable);
    // The photo's date stays on the file: file managers and photo tools that
    // sort by it keep the outputs in the order the photos were taken. Taken
    // before anything reads the photo, which may change its access time.
    const imageio::FileTimes times{info.st_atim, info.st_mtim};

    OutputLocation location(source, to, outputDir);
    std::unique_ptr<imageio::OutputFile> output = imageio::OutputFile::create(location.nextFree());
    if (!output)
        return failure(source, imageio::Failure::outputNotCreated);
    if (std::optional<imageio::Failure> failed = transcoder(std::move(photo), output->descriptor()))
        return failure(source, *failed);
    output->keepTimes(times);
    // The name was picked before the photo was decoded: another window may
    // have taken it since, and then the file takes the next free one.
    if (std::optional<imageio::Failure> failed = output->publish([&location] { return location.nextFree(); }))
        return failure(source, *failed);
    return ConversionResult(source, output->location(), std::nullopt);
}

std::optional<imageio::Failure> Converter::transcode(imageio::UniqueFd photo, int output,
                                                     const ConversionOptions& options,
                                                     imageio::ImageDestination::GainMaps gainMaps)
{
    using imageio::ImageDestination;
    // Every step says why it failed. What throws instead while the photo is
    // decoded or encoded (memory running out, most likely) stops here, as the
    // photo's failure: the output's own writes report theirs.
    try {
        imageio::Result<std::unique_ptr<imageio::ImageSource>> image = imageio::ImageSource::open(std::move(photo));
        if (!image)
            return image.failure();
        ImageDestination destination(output,
                                     options.to == OutputFormat::jpg ? ImageDestination::Encoding::jpeg
                                                                     : ImageDestination::Encoding::png,
                                     options.quality, changes(options), gainMaps);
        // A photo whose picture data is broken is the photo's fault, not the disk's:
        // it is decoded before anything is written. A tiled photo bound for a JPEG
        // decodes its first tile here and the others while it is written.
        if (std::optional<imageio::Failure> failed = destination.decodeFrom(**image))
            return failed;
        return destination.write();
    } catch (...) {
        return imageio::Failure::unreadable;
    }
}

}  // namespace pictavo
