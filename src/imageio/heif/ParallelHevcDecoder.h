#pragma once

#include <libheif/heif.h>

#include <algorithm>
#include <thread>

namespace pictavo::imageio {

// A libheif decoder for HEVC pictures over libde265 that decodes one picture
// on every core where the stream allows it (wavefront rows, tiles); libheif's
// own libde265 decoder uses one. For a large single picture decoded while
// nothing else runs (a gain map). Chosen only by naming it in
// heif_decoding_options::decoder_id; every other decode keeps libheif's.
inline constexpr const char* kParallelHevcDecoderId = "pictavo-parallel-libde265";

// libheif 1.21 and later let the decoding options give the codec a thread
// count, and take no decoder written for this plugin interface: there, their
// own libde265 decoder is asked for every core instead.
inline constexpr bool kOptionsHaveCodecThreads = LIBHEIF_HAVE_VERSION(1, 21, 0);

// Makes it known to libheif; once, after heif_init(). False when libheif
// refused it or takes a codec thread count instead.
bool registerParallelHevcDecoder();

// Has `options` decode on every core: through the codec's thread count where
// libheif takes one, else with the decoder above.
inline void decodeOnEveryCore(heif_decoding_options* options)
{
#if LIBHEIF_HAVE_VERSION(1, 21, 0)
    if (options->version >= 8) {
        options->num_codec_threads = int(std::max(1u, std::thread::hardware_concurrency()));
        return;
    }
#endif
    options->decoder_id = kParallelHevcDecoderId;
}

}  // namespace pictavo::imageio
