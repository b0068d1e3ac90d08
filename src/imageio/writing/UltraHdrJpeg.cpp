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
// empty on failure.
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
        if (!writeJpeg(map, quality, toMemory, &mapAdditions) ||
            mapJpeg.size() > std::numeric_limits<std::uint32_t>::max())
            return {};
        return mapJpeg;
    } catch (...) {
        return {};
    }
}

}  // namespace

bool writeUltraHdrJpeg(const DecodedImage& photo, std::unique_ptr<GainMap> gainMap, double quality,
                       const ByteSink& sink, const BytePatcher& patch)
{
    try {
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
        if (!writeJpeg(photo, quality, counted, &photoAdditions))
            return false;
        if (mapJpeg.empty())
            return true;
        if (photoAdditions.app2Offsets.size() != 2 || photoSize > std::numeric_limits<std::uint32_t>::max())
            return false;
        const std::uint64_t mpfAt = photoAdditions.app2Offsets[1];
        const std::vector<std::uint8_t> mpf = mpfSegment({std::uint32_t(photoSize), std::uint32_t(mapJpeg.size()),
                                                          std::uint32_t(mpfAt + kMpfHeaderStart)});
        return patch(mpfAt, mpf.data(), mpf.size()) && sink(mapJpeg.data(), mapJpeg.size());
    } catch (...) {
        return false;
    }
}

}  // namespace pictavo::imageio
