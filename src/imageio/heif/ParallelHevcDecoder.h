#pragma once

namespace pictavo::imageio {

// A libheif decoder for HEVC pictures over libde265 that decodes one picture
// on every core where the stream allows it (wavefront rows, tiles); libheif's
// own libde265 decoder uses one. For a large single picture decoded while
// nothing else runs (a gain map). Chosen only by naming it in
// heif_decoding_options::decoder_id; every other decode keeps libheif's.
inline constexpr const char* kParallelHevcDecoderId = "pictavo-parallel-libde265";

// Makes it known to libheif; once, after heif_init(). False when libheif refused it.
bool registerParallelHevcDecoder();

}  // namespace pictavo::imageio
