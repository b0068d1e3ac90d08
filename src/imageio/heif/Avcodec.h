#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace pictavo::imageio {

// The part of libavcodec this program calls, from the release's own library,
// loaded on first use instead of with the program: with the ninety-odd
// libraries it needs it takes about 35 ms and 11 MB, which a process that
// converts nothing itself (the window, whose worker converts) never spends.
struct Avcodec {
    decltype(&avcodec_alloc_context3) allocContext;
    decltype(&avcodec_open2) open;
    decltype(&avcodec_free_context) freeContext;
    decltype(&avcodec_send_packet) sendPacket;
    decltype(&avcodec_receive_frame) receiveFrame;
    decltype(&avcodec_flush_buffers) flushBuffers;
    decltype(&av_packet_alloc) packetAlloc;
    decltype(&av_packet_free) packetFree;
    decltype(&av_packet_unref) packetUnref;
    decltype(&av_new_packet) newPacket;
    const AVCodec* hevc;  // its HEVC decoder, its tables filled

    // Loads it once, thread-safely; nullptr when it cannot be loaded or has
    // no HEVC decoder.
    static const Avcodec* loaded();
};

}  // namespace pictavo::imageio
