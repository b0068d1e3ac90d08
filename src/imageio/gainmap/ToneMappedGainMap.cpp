#include "imageio/gainmap/ToneMappedGainMap.h"

#include "imageio/pixels/PixelRows.h"

namespace pictavo::imageio {

ToneMappedGainMap::ToneMappedGainMap(std::optional<double> declaredPeakNits) : declaredPeakNits_(declaredPeakNits) {}

void ToneMappedGainMap::begin(std::uint32_t width, std::uint32_t height, HdrTransfer transfer, double brightestNits)
{
    builder_.reset();
    const std::optional<HdrHeadroom> headroom = hdrHeadroom(transfer, declaredPeakNits_, brightestNits);
    if (!headroom)
        return;
    try {
        sdrRow_.resize(std::size_t(width) * 3);
        builder_ = std::make_unique<HdrGainMapBuilder>(width, height, *headroom);
        width_ = width;
    } catch (...) {
        builder_.reset();
    }
}

void ToneMappedGainMap::row(const float* light, const std::uint8_t* sdr, int channels)
{
    if (!builder_)
        return;
    DecodedImage sdrRow;
    sdrRow.width = width_, sdrRow.height = 1, sdrRow.channels = channels, sdrRow.bitsPerSample = 16;
    sdrRow.data = sdr;
    rowAs8BitOpaque(sdrRow, 0, sdrRow_.data());
    builder_->addRow(light, sdrRow_.data());
}

std::unique_ptr<GainMap> ToneMappedGainMap::finish()
{
    std::unique_ptr<GainMap> map = builder_ ? builder_->finish() : nullptr;
    builder_.reset();
    return map;
}

}  // namespace pictavo::imageio
