#include "imageio/heif/Avcodec.h"

extern "C" {
#include <libavutil/log.h>
}

#include <dlfcn.h>

namespace pictavo::imageio {

namespace {

template <typename Function>
bool find(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

const Avcodec* load()
{
    // The library of the major version built against, never unloaded.
    void* library = ::dlopen("libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return nullptr;
    static Avcodec avcodec{};
    decltype(&avcodec_find_decoder) findDecoder = nullptr;
    if (!find(library, "avcodec_find_decoder", findDecoder) ||
        !find(library, "avcodec_alloc_context3", avcodec.allocContext) ||
        !find(library, "avcodec_open2", avcodec.open) ||
        !find(library, "avcodec_free_context", avcodec.freeContext) ||
        !find(library, "avcodec_send_packet", avcodec.sendPacket) ||
        !find(library, "avcodec_receive_frame", avcodec.receiveFrame) ||
        !find(library, "avcodec_flush_buffers", avcodec.flushBuffers) ||
        !find(library, "av_packet_alloc", avcodec.packetAlloc) ||
        !find(library, "av_packet_free", avcodec.packetFree) ||
        !find(library, "av_packet_unref", avcodec.packetUnref) ||
        !find(library, "av_new_packet", avcodec.newPacket))
        return nullptr;
    av_log_set_level(AV_LOG_QUIET);
    avcodec.hevc = findDecoder(AV_CODEC_ID_HEVC);
    if (!avcodec.hevc)
        return nullptr;
    // Opening one decoder fills the decoder's shared tables now.
    AVCodecContext* context = avcodec.allocContext(avcodec.hevc);
    const bool opens = context && avcodec.open(context, avcodec.hevc, nullptr) >= 0;
    avcodec.freeContext(&context);
    return opens ? &avcodec : nullptr;
}

}  // namespace

const Avcodec* Avcodec::loaded()
{
    static const Avcodec* const avcodec = load();
    return avcodec;
}

}  // namespace pictavo::imageio
