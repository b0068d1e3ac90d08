#include "imageio/writing/UltraHdrJpeg.h"

#include "imageio/writing/JpegWriter.h"
#include "imageio/writing/Mpf.h"

#include <limits>

namespace pictavo::imageio {

namespace {

std::vector<std::uint8_t> isoSegment(const std::vector<std::uint8_t>& metadata)
{
    std::vector<std::uint8_t> segment;
    segment.reserve(kIsoGainMapNamespace.size() + metadata.size());
    for (char c : kIsoGainMapNamespace)
        segment.push_back(static_cast<std::uint8_t>(c));
    for (std::uint8_t byte : metadata)
        segment.push_back(byte);
    return segment;
}

// The gain map as the JPEG that follows the photo (grey or colour as it is),
// carrying its metadata as hdrgm XMP and as ISO 21496-1's APP2 segment;
// empty on failure. The gain map is an addition: whatever stops it, memory
// running out included, costs the photo its HDR rendition only.
std::vector<std::uint8_t> gainMapJpeg(const GainMap& gainMap, double quality)
{
    try {
        DecodedImage map = gainMap.image;
        const std::string mapXmp = hdrgmGainMapXmp(gainMap.metadata);
        map.xmp.assign(mapXmp.begin(), mapXmp.end());
        JpegAdditions mapAdditions;
        mapAdditions.app2.push_back(
            isoSegment(gainMap.isoPayload.empty() ? isoGainMapMetadata(gainMap.metadata) : gainMap.isoPayload));
        std::vector<std::uint8_t> mapJpeg;
        const ByteSink toMemory = [&mapJpeg](const std::uint8_t* data, std::size_t size) {
            mapJpeg.insert(mapJpeg.end(), data, data + size);
            return true;
        };
        if (writeJpeg(map, quality, toMemory, &mapAdditions) ||
            mapJpeg.size() > std::numeric_limits<std::uint32_t>::max())
            return {};
        return mapJpeg;
    } catch (...) {
        return {};
    }
}

}  // namespace

std::optional<Failure> writeUltraHdrJpeg(const DecodedImage& photo, std::unique_ptr<GainMap> gainMap, double quality,
                                         const ByteSink& sink, const BytePatcher& patch)
{
    JpegAdditions photoAdditions;
    std::vector<std::uint8_t> mapJpeg;
    photoAdditions.beforeWriting = [&] {
        mapJpeg = gainMapJpeg(*gainMap, quality);
        gainMap.reset();
        if (mapJpeg.empty())
            return;
        photoAdditions.editXmp = [&mapJpeg](std::string_view xmp) { return primaryXmpWithGainMap(xmp, mapJpeg.size()); };
        // The primary names the ISO version it was written for: 0 and 0.
        photoAdditions.app2.push_back(isoSegment({0, 0, 0, 0}));
        photoAdditions.app2.push_back(mpfSegment({}));
    };
    std::uint64_t photoSize = 0;
    const ByteSink counted = [&sink, &photoSize](const std::uint8_t* data, std::size_t size) {
        photoSize += size;
        return sink(data, size);
    };
    if (std::optional<Failure> failed = writeJpeg(photo, quality, counted, &photoAdditions))
        return failed;
    if (mapJpeg.empty())
        return std::nullopt;
    // An index that cannot name the photo (over 4 GiB) is the photo's failure, not the disk's.
    if (photoAdditions.app2Offsets.size() != 2 || photoSize > std::numeric_limits<std::uint32_t>::max())
        return Failure::unreadable;
    const std::uint64_t mpfAt = photoAdditions.app2Offsets[1];
    const std::vector<std::uint8_t> mpf = mpfSegment({std::uint32_t(photoSize), std::uint32_t(mapJpeg.size()),
                                                      std::uint32_t(mpfAt + kMpfHeaderStart)});
    if (!patch(mpfAt, mpf.data(), mpf.size()) || !sink(mapJpeg.data(), mapJpeg.size()))
        return Failure::writeFailed;
    return std::nullopt;
}

}  // namespace pictavo::imageio
