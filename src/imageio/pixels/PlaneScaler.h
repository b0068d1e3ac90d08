#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pictavo::imageio {

// Scales one plane of samples (8 bits, or native-endian 16-bit words) to
// another size with a Lanczos filter (three lobes, widened with the reduction
// so that detail finer than the new size averages out instead of aliasing).
// The source comes in slices from top to bottom; each destination row is
// written once its source rows have all come.
class PlaneScaler {
public:
    // Null when the scaler cannot be made (sizes out of its range, memory).
    static std::unique_ptr<PlaneScaler> create(std::uint32_t fromWidth, std::uint32_t fromHeight, std::uint32_t toWidth,
                                               std::uint32_t toHeight, int bitsPerSample);
    ~PlaneScaler();
    PlaneScaler(const PlaneScaler&) = delete;
    PlaneScaler& operator=(const PlaneScaler&) = delete;

    // Takes source rows [top, top + count) (the next ones), and writes the
    // destination rows they complete into `destination`, the whole plane's
    // first row; returns how many destination rows are complete in all.
    std::uint32_t feed(const std::uint8_t* rows, std::size_t stride, std::uint32_t top, std::uint32_t count,
                       std::uint8_t* destination, std::size_t destinationStride);

private:
    struct Context;
    explicit PlaneScaler(std::unique_ptr<Context> context);
    std::unique_ptr<Context> context_;
    std::uint32_t done_ = 0;
};

}  // namespace pictavo::imageio
