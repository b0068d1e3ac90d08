#include "core/Converter.h"

#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"
#include "imageio/files/OutputFile.h"
#include "imageio/heif/TiledYCbCrImage.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>

namespace pictavo {

namespace fs = std::filesystem;

namespace {

// Anything at the path counts, a dangling symbolic link included. A path that
// cannot be looked up at all (the folder is a plain file, or cannot be
// searched) holds nothing: counting it as taken would make the naming loop
// forever, and the exclusive creation that follows fails there anyway.
bool entryExists(const fs::path& path)
{
    std::error_code error;
    fs::file_status status = fs::symlink_status(path, error);
    return !error && fs::exists(status);
}

}  // namespace

fs::path Converter::freeOutputLocation(const fs::path& folder, const std::string& base, const std::string& extension)
{
    fs::path candidate = folder / (base + "." + extension);
    for (std::int64_t counter = 1; entryExists(candidate); ++counter)
        candidate = folder / (base + "-" + std::to_string(counter) + "." + extension);
    return candidate;
}

imageio::Properties Converter::destinationOptions(OutputFormat to, double quality,
                                              const std::optional<imageio::Properties>& sourceProperties)
{
    imageio::Properties options;
    if (to == OutputFormat::jpg)
        options.emplace(imageio::kLossyCompressionQuality, quality);
    if (sourceProperties) {
        if (auto orientation = sourceProperties->find(imageio::kOrientation); orientation != sourceProperties->end())
            options.emplace(imageio::kOrientation, orientation->second);
    }
    return options;
}

fs::path Converter::normalFolder(const fs::path& folder)
{
    fs::path normal;
    for (const fs::path& element : folder) {
        if (!element.empty() && element != ".")
            normal /= element;
    }
    return normal.empty() && !folder.empty() ? fs::path(".") : normal;
}

ConversionResult Converter::convert(const fs::path& source, OutputFormat to, double quality,
                                    const std::optional<fs::path>& outputDir)
{
    return convertWith([to, quality](imageio::UniqueFd photo, int output) {
        return transcode(std::move(photo), output, to, quality);
    }, source, to, outputDir);
}

ConversionResult Converter::convertWith(const Transcoder& transcoder, const fs::path& source, OutputFormat to,
                                        const std::optional<fs::path>& outputDir)
{
    imageio::UniqueFd photo = imageio::ImageSource::openFile(source);
    struct stat info{};
    if (!photo.valid() || ::fstat(photo.get(), &info) != 0)
        return ConversionResult::failure(source, kCouldNotReadImage);
    // The photo's date stays on the file: file managers and photo tools that
    // sort by it keep the outputs in the order the photos were taken. Taken
    // before anything reads the photo, which may change its access time.
    const imageio::FileTimes times{info.st_atim, info.st_mtim};

    const std::string base = source.stem().string();
    const fs::path folder = normalFolder(outputDir ? *outputDir : source.parent_path());
    std::unique_ptr<imageio::OutputFile> output = imageio::OutputFile::create(freeOutputLocation(folder, base, ext(to)));
    if (!output)
        return ConversionResult::failure(source, kCouldNotCreateOutput);

    switch (transcoder(std::move(photo), output->descriptor())) {
    case Transcoding::done:
        break;
    case Transcoding::unreadable:
        return ConversionResult::failure(source, kCouldNotReadImage);
    case Transcoding::writeFailed:
        return ConversionResult::failure(source, kWriteFailed);
    }
    output->keepTimes(times);
    if (!output->publish()) {
        // Another program took the name while the file was written: the
        // exclusive link failed, and nothing was replaced.
        return ConversionResult::failure(source, output->error() == EEXIST ? kCouldNotCreateOutput : kWriteFailed);
    }
    return ConversionResult(source, output->location(), std::nullopt);
}

Transcoding Converter::transcode(imageio::UniqueFd photo, int output, OutputFormat to, double quality)
{
    std::unique_ptr<imageio::ImageSource> image = imageio::ImageSource::open(std::move(photo));
    if (!image || image->count() < 1)
        return Transcoding::unreadable;
    // A photo whose picture data is broken is the photo's fault, not the disk's:
    // decode before anything is written. A tiled photo bound for a JPEG
    // decodes its first tile here and the others while it is written.
    const imageio::DecodedImage* decoded = image->decode(
        0, to == OutputFormat::jpg ? imageio::ImageSource::Purpose::jpegOutput : imageio::ImageSource::Purpose::anyOutput);
    if (!decoded)
        return Transcoding::unreadable;
    std::unique_ptr<imageio::ImageDestination> destination = imageio::ImageDestination::create(output, utType(to), 1);
    if (!destination)
        return Transcoding::writeFailed;
    destination->addImageFromSource(*image, 0, destinationOptions(to, quality, image->properties(0)));
    if (destination->finalize())
        return Transcoding::done;
    return decoded->tiles && decoded->tiles->tileFailed() ? Transcoding::unreadable : Transcoding::writeFailed;
}

}  // namespace pictavo
