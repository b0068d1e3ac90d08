#include "imageio/pixels/PlaneScaler.h"

#include <climits>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace pictavo::imageio {

struct PlaneScaler::Context {
    SwsContext* sws = nullptr;
    ~Context() { sws_freeContext(sws); }
};

PlaneScaler::PlaneScaler(std::unique_ptr<Context> context) : context_(std::move(context)) {}
PlaneScaler::~PlaneScaler() = default;

std::unique_ptr<PlaneScaler> PlaneScaler::create(std::uint32_t fromWidth, std::uint32_t fromHeight,
                                                 std::uint32_t toWidth, std::uint32_t toHeight, int bitsPerSample)
{
    if (fromWidth > INT_MAX || fromHeight > INT_MAX || toWidth > INT_MAX || toHeight > INT_MAX)
        return nullptr;
    // Grey planes are scaled as they are, at full range: no colour
    // conversion, only the filter. Accurate rounding keeps a flat area flat.
    const AVPixelFormat format = bitsPerSample == 8 ? AV_PIX_FMT_GRAY8 : AV_PIX_FMT_GRAY16;
    auto context = std::make_unique<Context>();
    context->sws = sws_getContext(int(fromWidth), int(fromHeight), format, int(toWidth), int(toHeight), format,
                                  SWS_LANCZOS | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    if (!context->sws)
        return nullptr;
    return std::unique_ptr<PlaneScaler>(new PlaneScaler(std::move(context)));
}

std::uint32_t PlaneScaler::feed(const std::uint8_t* rows, std::size_t stride, std::uint32_t top, std::uint32_t count,
                                std::uint8_t* destination, std::size_t destinationStride)
{
    if (count == 0 || stride > INT_MAX || destinationStride > INT_MAX || top > INT_MAX || count > INT_MAX)
        return done_;
    const std::uint8_t* const source[4] = {rows, nullptr, nullptr, nullptr};
    const int sourceStride[4] = {int(stride), 0, 0, 0};
    std::uint8_t* const target[4] = {destination, nullptr, nullptr, nullptr};
    const int targetStride[4] = {int(destinationStride), 0, 0, 0};
    const int written = sws_scale(context_->sws, source, sourceStride, int(top), int(count), target, targetStride);
    if (written > 0)
        done_ += std::uint32_t(written);
    return done_;
}

}  // namespace pictavo::imageio
