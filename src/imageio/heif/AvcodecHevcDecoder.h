#pragma once

#include "imageio/heif/DecodedTile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct AVCodecContext;
struct AVPacket;

namespace pictavo::imageio {

struct Avcodec;

// libavcodec's HEVC decoder, for the tiles of a photo: one decoder per
// decoding thread, kept from tile to tile, fed each tile's data with the
// parameter sets of its decoder configuration record. libavcodec is given
// coded pictures and nothing else: no container to demux or probe, no
// hardware; its log is silent. It starts threads of its own only when asked
// (a camera's large first tile decoded while nothing else runs: the rows of a
// picture coded in wavefronts decode on every core). A picture that it
// reports damaged, or that is not the size the file declares, is not used.
class AvcodecHevcDecoder {
public:
    // Loads libavcodec and sets its decoder up once (its tables, its log);
    // thread-safe. A confined process calls it before it confines itself.
    // False when libavcodec cannot be loaded or has no HEVC decoder.
    static bool prepare();

    // A decoder for pictures of `width` × `height` coded with `record` (the
    // body of an `hvcC` box, which must outlive it), on `threads` threads;
    // nullptr when libavcodec makes none.
    static std::unique_ptr<AvcodecHevcDecoder> open(const std::vector<std::uint8_t>* record, std::uint32_t width,
                                                    std::uint32_t height, unsigned threads = 1);
    ~AvcodecHevcDecoder();
    AvcodecHevcDecoder(const AvcodecHevcDecoder&) = delete;
    AvcodecHevcDecoder& operator=(const AvcodecHevcDecoder&) = delete;

    // True when it decodes pictures of that size coded with `record`.
    bool decodes(const std::vector<std::uint8_t>* record, std::uint32_t width, std::uint32_t height) const;

    // One picture from its coded data (NAL units, each after its length);
    // an empty tile when it does not decode cleanly to YCbCr of the size
    // asked for. The tile's colour is what the stream declares.
    DecodedTile decode(const std::uint8_t* data, std::size_t size);

private:
    AvcodecHevcDecoder() = default;

    const Avcodec* av_ = nullptr;
    AVCodecContext* context_ = nullptr;
    AVPacket* packet_ = nullptr;
    const std::vector<std::uint8_t>* record_ = nullptr;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
};

}  // namespace pictavo::imageio
