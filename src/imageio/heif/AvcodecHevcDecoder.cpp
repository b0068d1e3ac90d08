#include "imageio/heif/AvcodecHevcDecoder.h"

#include "imageio/heif/Avcodec.h"
#include "imageio/heif/HeifObjects.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <climits>
#include <cstring>

namespace pictavo::imageio {

namespace {

struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

// The layout libheif gives the same picture: 4:2:0, 4:2:2 or 4:4:4 planes of
// 8 or 10 bits (native-endian 16-bit words for 10). libavcodec names 8-bit
// full-range planes apart (YUVJ); their samples are the same.
bool layoutOf(int format, int& depth, heif_chroma& chroma)
{
    switch (format) {
    case AV_PIX_FMT_YUV420P:
    case AV_PIX_FMT_YUVJ420P: depth = 8, chroma = heif_chroma_420; return true;
    case AV_PIX_FMT_YUV422P:
    case AV_PIX_FMT_YUVJ422P: depth = 8, chroma = heif_chroma_422; return true;
    case AV_PIX_FMT_YUV444P:
    case AV_PIX_FMT_YUVJ444P: depth = 8, chroma = heif_chroma_444; return true;
    case AV_PIX_FMT_YUV420P10: depth = 10, chroma = heif_chroma_420; return true;
    case AV_PIX_FMT_YUV422P10: depth = 10, chroma = heif_chroma_422; return true;
    case AV_PIX_FMT_YUV444P10: depth = 10, chroma = heif_chroma_444; return true;
    default: return false;
    }
}

// The colour the stream's VUI declares, as libheif describes a decoded
// picture: H.273 code points (libavcodec's enumerations are those numbers).
std::shared_ptr<const heif_color_profile_nclx> streamColour(const AVFrame& frame)
{
    HeifNclxPtr nclx(heif_nclx_color_profile_alloc());
    if (!nclx)
        return nullptr;
    heif_nclx_color_profile_set_color_primaries(nclx.get(), std::uint16_t(frame.color_primaries));
    heif_nclx_color_profile_set_transfer_characteristics(nclx.get(), std::uint16_t(frame.color_trc));
    heif_nclx_color_profile_set_matrix_coefficients(nclx.get(), std::uint16_t(frame.colorspace));
    nclx->full_range_flag = frame.color_range == AVCOL_RANGE_JPEG ? 1 : 0;
    return nclx;
}

}  // namespace

bool AvcodecHevcDecoder::prepare()
{
    return Avcodec::loaded() != nullptr;
}

std::unique_ptr<AvcodecHevcDecoder> AvcodecHevcDecoder::open(const std::vector<std::uint8_t>* record,
                                                             std::uint32_t width, std::uint32_t height, unsigned threads)
{
    const Avcodec* av = Avcodec::loaded();
    if (!av || !record || record->size() > INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE || width == 0 || height == 0)
        return nullptr;
    std::unique_ptr<AvcodecHevcDecoder> decoder(new AvcodecHevcDecoder);
    decoder->av_ = av;
    decoder->record_ = record;
    decoder->width_ = width;
    decoder->height_ = height;
    decoder->context_ = av->allocContext(av->hevc);
    decoder->packet_ = av->packetAlloc();
    AVCodecContext* context = decoder->context_;
    if (!context || !decoder->packet_)
        return nullptr;
    if (!record->empty()) {
        context->extradata = static_cast<std::uint8_t*>(av_mallocz(record->size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!context->extradata)
            return nullptr;
        std::memcpy(context->extradata, record->data(), record->size());
        context->extradata_size = int(record->size());
    }
    // Slices and wavefront rows of one picture, never several pictures at once.
    context->thread_count = int(std::clamp(threads, 1u, 16u));
    context->thread_type = threads > 1 ? FF_THREAD_SLICE : 0;
    context->err_recognition |= AV_EF_EXPLODE;
    // Picture memory bounded before it is allocated: the tile's size in whole
    // coding blocks of the largest kind.
    const std::uint64_t blocks = std::uint64_t((width + 63) / 64) * ((height + 63) / 64);
    context->max_pixels = std::int64_t(std::min<std::uint64_t>(blocks * 64 * 64, INT_MAX));
    if (av->open(context, av->hevc, nullptr) < 0)
        return nullptr;
    return decoder;
}

AvcodecHevcDecoder::~AvcodecHevcDecoder()
{
    if (av_) {
        av_->packetFree(&packet_);
        av_->freeContext(&context_);
    }
}

bool AvcodecHevcDecoder::decodes(const std::vector<std::uint8_t>* record, std::uint32_t width,
                                 std::uint32_t height) const
{
    return record == record_ && width == width_ && height == height_;
}

DecodedTile AvcodecHevcDecoder::decode(const std::uint8_t* data, std::size_t size)
{
    if (!data || size == 0 || size > std::size_t(INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE))
        return {};
    // The packet is the decoder's own copy, zero-padded as libavcodec reads ahead.
    av_->packetUnref(packet_);
    if (av_->newPacket(packet_, int(size)) < 0)
        return {};
    std::memcpy(packet_->data, data, size);
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    // One picture a packet: sent, then drained, then the decoder made ready
    // for the next tile (it keeps its parameter sets).
    const bool decoded = frame && av_->sendPacket(context_, packet_) >= 0 &&
                         av_->sendPacket(context_, nullptr) >= 0 &&
                         av_->receiveFrame(context_, frame.get()) >= 0;
    av_->packetUnref(packet_);
    av_->flushBuffers(context_);
    DecodedTile tile;
    if (!decoded || frame->decode_error_flags || (frame->flags & AV_FRAME_FLAG_CORRUPT) ||
        frame->width != int(width_) || frame->height != int(height_) ||
        !layoutOf(frame->format, tile.depth, tile.chroma))
        return {};
    const int shiftX = tile.chroma == heif_chroma_444 ? 0 : 1;
    const int shiftY = tile.chroma == heif_chroma_420 ? 1 : 0;
    for (int c = 0; c < 3; ++c) {
        if (!frame->data[c] || frame->linesize[c] <= 0)
            return {};
        tile.plane[c] = frame->data[c];
        tile.stride[c] = std::size_t(frame->linesize[c]);
        tile.width[c] = c == 0 ? frame->width : (frame->width + (1 << shiftX) - 1) >> shiftX;
        tile.height[c] = c == 0 ? frame->height : (frame->height + (1 << shiftY) - 1) >> shiftY;
    }
    tile.colour = streamColour(*frame);
    if (!tile.colour)
        return {};
    tile.owner = std::shared_ptr<AVFrame>(frame.release(), FrameFree());
    return tile;
}

}  // namespace pictavo::imageio
