#include "imageio/pixels/ResizedBands.h"

#include "imageio/pixels/PlaneScaler.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace pictavo::imageio {

namespace {

std::uint32_t half(std::uint32_t side)
{
    return (side + 1) / 2;
}

// Rows padded to whole 16×16 blocks, as a JPEG reads them.
std::size_t paddedWidth(std::uint32_t width)
{
    return (std::size_t(width) + 15) / 16 * 16;
}

class ResizedReader : public YCbCrBandSource::Reader {
public:
    ResizedReader(std::unique_ptr<YCbCrBandSource::Reader> source, PixelSize from, PixelSize to)
        : source_(std::move(source)), from_(from), to_(to), yStride_(paddedWidth(to.width)), cStride_(yStride_ / 2)
    {
        luma_ = PlaneScaler::create(from.width, from.height, to.width, to.height, 8);
        for (auto& chroma : chroma_)
            chroma = PlaneScaler::create(half(from.width), half(from.height), half(to.width), half(to.height), 8);
        y_.resize(yStride_ * to.height);
        cb_.resize(cStride_ * half(to.height));
        cr_.resize(cStride_ * half(to.height));
    }

    Result<const YCbCrBand*> next() override
    {
        if (!luma_ || !chroma_[0] || !chroma_[1])
            return Failure::unreadable;
        for (;;) {
            const std::uint32_t scaled = ready();
            // A band but the last holds an even number of rows.
            const std::uint32_t end = scaled == to_.height ? scaled : scaled / 2 * 2;
            if (end > handedOn_)
                return handOn(end);
            if (sourceDone_) {
                if (handedOn_ != to_.height)
                    return Failure::unreadable;
                return static_cast<const YCbCrBand*>(nullptr);
            }
            if (const std::optional<Failure> failed = readSourceBand())
                return *failed;
        }
    }

    void widen() override { source_->widen(); }

private:
    const YCbCrBand* handOn(std::uint32_t end)
    {
        pad(handedOn_, end);
        band_ = YCbCrBand{handedOn_,
                          end - handedOn_,
                          y_.data() + handedOn_ * yStride_,
                          cb_.data() + handedOn_ / 2 * cStride_,
                          cr_.data() + handedOn_ / 2 * cStride_,
                          yStride_,
                          cStride_};
        handedOn_ = end;
        return &band_;
    }

    // Rows whose luma and chroma are both scaled.
    std::uint32_t ready() const { return std::min(lumaDone_, std::min(2 * chromaDone_, to_.height)); }

    std::optional<Failure> readSourceBand()
    {
        const Result<const YCbCrBand*> next = source_->next();
        if (!next)
            return next.failure();
        const YCbCrBand* band = *next;
        if (!band) {
            sourceDone_ = true;
            return sourceRows_ == from_.height ? std::nullopt : std::optional(Failure::unreadable);
        }
        if (band->depth != 8 || band->chroma != heif_chroma_420 || band->top != sourceRows_ || band->top % 2 != 0 ||
            band->rows == 0 || band->rows > from_.height - sourceRows_)
            return Failure::unreadable;
        sourceRows_ += band->rows;
        lumaDone_ = luma_->feed(band->y, band->yStride, band->top, band->rows, y_.data(), yStride_);
        const std::uint32_t chromaTop = band->top / 2, chromaRows = half(band->top + band->rows) - chromaTop;
        chromaDone_ = chroma_[0]->feed(band->cb, band->chromaStride, chromaTop, chromaRows, cb_.data(), cStride_);
        chromaDone_ = std::min(
            chromaDone_, chroma_[1]->feed(band->cr, band->chromaStride, chromaTop, chromaRows, cr_.data(), cStride_));
        return std::nullopt;
    }

    // Rows [top, end) padded on the right by repeating their last column.
    void pad(std::uint32_t top, std::uint32_t end)
    {
        auto repeat = [](std::uint8_t* row, std::size_t width, std::size_t padded) {
            std::fill(row + width, row + padded, row[width - 1]);
        };
        for (std::uint32_t y = top; y < end; ++y)
            repeat(y_.data() + y * yStride_, to_.width, yStride_);
        for (std::uint32_t y = top / 2; y < half(end); ++y) {
            repeat(cb_.data() + y * cStride_, half(to_.width), cStride_);
            repeat(cr_.data() + y * cStride_, half(to_.width), cStride_);
        }
    }

    std::unique_ptr<YCbCrBandSource::Reader> source_;
    const PixelSize from_, to_;
    const std::size_t yStride_, cStride_;
    std::unique_ptr<PlaneScaler> luma_;
    std::array<std::unique_ptr<PlaneScaler>, 2> chroma_;
    std::vector<std::uint8_t> y_, cb_, cr_;
    std::uint32_t sourceRows_ = 0, lumaDone_ = 0, chromaDone_ = 0, handedOn_ = 0;
    bool sourceDone_ = false;
    YCbCrBand band_;
};

class ResizedBandSource : public YCbCrBandSource {
public:
    ResizedBandSource(std::shared_ptr<const YCbCrBandSource> source, PixelSize from, PixelSize to)
        : source_(std::move(source)), from_(from), to_(to)
    {
    }

    std::unique_ptr<Reader> read(Ahead ahead) const override
    {
        return std::make_unique<ResizedReader>(source_->read(ahead), from_, to_);
    }

private:
    std::shared_ptr<const YCbCrBandSource> source_;
    PixelSize from_, to_;
};

}  // namespace

std::shared_ptr<const YCbCrBandSource> resizedBands(std::shared_ptr<const YCbCrBandSource> source, PixelSize from,
                                                    PixelSize to)
{
    return std::make_shared<ResizedBandSource>(std::move(source), from, to);
}

}  // namespace pictavo::imageio
