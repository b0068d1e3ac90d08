#include "imageio/heif/SecurityLimits.h"

#include <libheif/heif.h>

namespace pictavo::imageio {

void applySecurityLimits(heif_context* context)
{
    heif_security_limits* limits = heif_context_get_security_limits(context);
    if (!limits || limits->version < 1)
        return;
    limits->max_image_size_pixels = kMaxImagePixels;
    limits->max_memory_block_size = kMaxImagePixels * 4 * 2;  // 16-bit RGBA
    if (limits->max_items < 8192)
        limits->max_items = 8192;
}

}  // namespace pictavo::imageio
