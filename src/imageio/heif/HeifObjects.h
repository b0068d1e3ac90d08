#pragma once

#include <libheif/heif.h>

#include <memory>
#include <vector>

namespace pictavo::imageio {

// Owners of libheif's objects, each freed with libheif's own call.
template <auto Free>
struct HeifFree {
    template <typename T>
    void operator()(T* object) const
    {
        Free(object);
    }
};
using HeifContextPtr = std::unique_ptr<heif_context, HeifFree<heif_context_free>>;
using HeifHandlePtr = std::unique_ptr<heif_image_handle, HeifFree<heif_image_handle_release>>;
using HeifImagePtr = std::unique_ptr<heif_image, HeifFree<heif_image_release>>;
using HeifOptionsPtr = std::unique_ptr<heif_decoding_options, HeifFree<heif_decoding_options_free>>;
using HeifNclxPtr = std::unique_ptr<heif_color_profile_nclx, HeifFree<heif_nclx_color_profile_free>>;

// The context the handle belongs to, held by a reference of its own.
HeifContextPtr contextOf(const heif_image_handle* handle);

// Image `id` of the context; nullptr when it has none.
HeifHandlePtr imageHandle(heif_context* context, heif_item_id id);

// The image decoded by libheif to `space` and `chroma`; nullptr when it does not decode.
HeifImagePtr decodeImage(const heif_image_handle* handle, heif_colorspace space, heif_chroma chroma,
                         const heif_decoding_options* options);

// The item's transformations (irot, imir, clap), in the order the file lists them.
std::vector<heif_property_id> transformationProperties(const heif_context* context, heif_item_id id);

}  // namespace pictavo::imageio
