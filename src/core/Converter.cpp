#include "core/Converter.h"

#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"
#include "imageio/TiledYCbCrImage.h"

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
    std::unique_ptr<imageio::ImageSource> image = imageio::ImageSource::open(source);
    if (!image || image->count() < 1)
        return ConversionResult::failure(source, kCouldNotReadImage);
    // A photo whose picture data is broken is the photo's fault, not the disk's:
    // decode before any output is named or created. A tiled photo bound for a
    // JPEG decodes its first tile here and the others while it is written.
    const imageio::DecodedImage* decoded = image->decode(
        0, to == OutputFormat::jpg ? imageio::ImageSource::Purpose::jpegOutput : imageio::ImageSource::Purpose::anyOutput);
    if (!decoded)
        return ConversionResult::failure(source, kCouldNotReadImage);

    const std::string base = source.stem().string();
    const fs::path folder = normalFolder(outputDir ? *outputDir : source.parent_path());
    const fs::path location = freeOutputLocation(folder, base, ext(to));

    std::unique_ptr<imageio::ImageDestination> destination =
        imageio::ImageDestination::create(location, utType(to), 1);
    if (!destination)
        return ConversionResult::failure(source, kCouldNotCreateOutput);

    destination->addImageFromSource(*image, 0, destinationOptions(to, quality, image->properties(0)));
    // The photo's date stays on the file: file managers and photo tools that
    // sort by it keep the outputs in the order the photos were taken.
    destination->setFileTimes(image->fileTimes());
    if (!destination->finalize()) {
        const bool tileFailed = decoded->tiles && decoded->tiles->tileFailed();
        if (tileFailed)
            return ConversionResult::failure(source, kCouldNotReadImage);
        // Another program took the name while the file was written: the
        // exclusive creation failed, and nothing was replaced.
        return ConversionResult::failure(source, destination->locationTaken() ? kCouldNotCreateOutput : kWriteFailed);
    }
    return ConversionResult(source, location, std::nullopt);
}

}  // namespace pictavo
