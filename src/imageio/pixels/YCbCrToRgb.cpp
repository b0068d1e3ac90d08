#include "imageio/pixels/YCbCrToRgb.h"

#include "imageio/pixels/PixelRows.h"
#include "imageio/threads/OrderedJobs.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace pictavo::imageio {

namespace {

std::uint8_t clamp8(int value)
{
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

void convertRows(const YCbCr420Planes& planes, const YCbCrMatrix& m, std::uint8_t* rgb, std::size_t rgbStride,
                 std::uint32_t firstRow, std::uint32_t endRow)
{
    for (std::uint32_t y = firstRow; y < endRow; ++y) {
        const std::uint8_t* luma = planes.y + std::size_t(y) * planes.yStride;
        const std::uint8_t* cb = planes.cb + std::size_t(y / 2) * planes.cbStride;
        const std::uint8_t* cr = planes.cr + std::size_t(y / 2) * planes.crStride;
        std::uint8_t* out = rgb + std::size_t(y) * rgbStride;
        for (std::uint32_t x = 0; x < planes.width; x += 2) {
            const int b = cb[x / 2] - 128;
            const int r = cr[x / 2] - 128;
            // Arithmetic shifts: negative products round the same way as libheif's.
            const int rOffset = (m.rCr * r + 128) >> 8;
            const int gOffset = (m.gCb * b + m.gCr * r + 128) >> 8;
            const int bOffset = (m.bCb * b + 128) >> 8;
            const std::uint32_t end = std::min(x + 2, planes.width);
            for (std::uint32_t i = x; i < end; ++i, out += 3) {
                const int value = luma[i];
                out[0] = clamp8(value + rOffset);
                out[1] = clamp8(value + gOffset);
                out[2] = clamp8(value + bOffset);
            }
        }
    }
}

// libheif's rounding of a converted deep sample: half up, then clamped.
std::uint16_t roundAndClamp(float value, int maximum)
{
    const long rounded = static_cast<long>(value + 0.5f);
    return static_cast<std::uint16_t>(std::clamp<long>(rounded, 0, maximum));
}

// `scaled` maps a converted sample to the output's.
template <typename Output>
void convertDeepRows(const DeepYCbCrPlanes& planes, const DeepYCbCrMatrix& m, const std::uint16_t* scaled,
                     std::uint8_t* rgb, std::size_t rgbStride, std::uint32_t firstRow, std::uint32_t endRow)
{
    const int maximum = (1 << planes.depth) - 1;
    const int half = 1 << (planes.depth - 1);
    const float offset = float(16 << (planes.depth - 8));
    for (std::uint32_t y = firstRow; y < endRow; ++y) {
        const std::uint32_t chromaRow = planes.halfHeightChroma ? y / 2 : y;
        const std::uint16_t* luma = planes.y + std::size_t(y) * planes.yStride;
        const std::uint16_t* cbRow = planes.cb + std::size_t(chromaRow) * planes.cbStride;
        const std::uint16_t* crRow = planes.cr + std::size_t(chromaRow) * planes.crStride;
        auto* out = reinterpret_cast<Output*>(rgb + std::size_t(y) * rgbStride);
        for (std::uint32_t x = 0; x < planes.width; ++x, out += 3) {
            float value = luma[x];
            float b = float(int(cbRow[x / 2]) - half);
            float r = float(int(crRow[x / 2]) - half);
            if (!m.fullRange) {
                value = (value - offset) * 1.1689f;
                b = b * 1.1429f;
                r = r * 1.1429f;
            }
            out[0] = Output(scaled[roundAndClamp(value + m.rCr * r, maximum)]);
            out[1] = Output(scaled[roundAndClamp(value + m.gCb * b + m.gCr * r, maximum)]);
            out[2] = Output(scaled[roundAndClamp(value + m.bCb * b, maximum)]);
        }
    }
}

// Kr and Kb of the matrices both converters know.
bool lumaWeights(int matrixCoefficients, double& kr, double& kb)
{
    switch (matrixCoefficients) {
    case 1: kr = 0.2126, kb = 0.0722; return true;
    case 5:
    case 6: kr = 0.299, kb = 0.114; return true;
    case 9: kr = 0.2627, kb = 0.0593; return true;
    default: return false;
    }
}

// Shares rows 0 .. height-1 out over `threads`.
void convertInParts(std::uint32_t height, unsigned threads, const std::function<void(std::uint32_t, std::uint32_t)>& rows)
{
    const std::uint32_t parts = std::clamp<std::uint32_t>(threads, 1, std::max<std::uint32_t>(height, 1));
    auto bound = [&](std::uint32_t part) { return static_cast<std::uint32_t>(std::uint64_t(height) * part / parts); };
    runJobs(parts, parts, [&](std::size_t part) {
        rows(bound(std::uint32_t(part)), bound(std::uint32_t(part + 1)));
        return true;
    });
}

}  // namespace

std::optional<DeepYCbCrMatrix> deepYCbCrMatrix(int matrixCoefficients, bool fullRange)
{
    double kr = 0, kb = 0;
    if (!lumaWeights(matrixCoefficients == 2 ? 6 : matrixCoefficients, kr, kb))
        return std::nullopt;
    const float r = float(kr), b = float(kb);
    return DeepYCbCrMatrix{2 * (-r + 1), 2 * b * (-b + 1) / (b + r - 1), 2 * r * (-r + 1) / (b + r - 1), 2 * (-b + 1),
                           fullRange};
}

void convertDeepYCbCrToRgb(const DeepYCbCrPlanes& planes, const DeepYCbCrMatrix& matrix, int outputBits,
                           std::uint8_t* rgb, std::size_t rgbStride, unsigned threads)
{
    const std::uint32_t maximum = (1u << planes.depth) - 1;
    std::vector<std::uint16_t> scaled(maximum + 1);
    for (std::uint32_t v = 0; v <= maximum; ++v) {
        const auto sample16 = static_cast<std::uint16_t>((v * 65535u + maximum / 2) / maximum);
        scaled[v] = outputBits == 8 ? to8Bit(sample16) : sample16;
    }
    convertInParts(planes.height, threads, [&](std::uint32_t first, std::uint32_t end) {
        if (outputBits == 8)
            convertDeepRows<std::uint8_t>(planes, matrix, scaled.data(), rgb, rgbStride, first, end);
        else
            convertDeepRows<std::uint16_t>(planes, matrix, scaled.data(), rgb, rgbStride, first, end);
    });
}

std::optional<YCbCrMatrix> ycbcrMatrix(int matrixCoefficients)
{
    double kr = 0, kb = 0;
    if (!lumaWeights(matrixCoefficients, kr, kb))
        return std::nullopt;
    const double kg = 1 - kr - kb;
    auto steps = [](double value) { return static_cast<int>(std::lround(256 * value)); };
    return YCbCrMatrix{steps(2 * (1 - kr)), steps(-2 * kb * (1 - kb) / kg), steps(-2 * kr * (1 - kr) / kg),
                       steps(2 * (1 - kb))};
}

void convertYCbCr420ToRgb(const YCbCr420Planes& planes, const YCbCrMatrix& matrix, std::uint8_t* rgb,
                          std::size_t rgbStride, unsigned threads)
{
    convertInParts(planes.height, threads, [&](std::uint32_t first, std::uint32_t end) {
        convertRows(planes, matrix, rgb, rgbStride, first, end);
    });
}

}  // namespace pictavo::imageio
