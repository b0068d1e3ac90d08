#include "imageio/heif/HeifObjects.h"

#include <libheif/heif_properties.h>

#include <algorithm>

namespace pictavo::imageio {

HeifContextPtr contextOf(const heif_image_handle* handle)
{
    return HeifContextPtr(heif_image_handle_get_context(handle));
}

HeifHandlePtr imageHandle(heif_context* context, heif_item_id id)
{
    heif_image_handle* handle = nullptr;
    if (heif_context_get_image_handle(context, id, &handle).code != heif_error_Ok)
        return nullptr;
    return HeifHandlePtr(handle);
}

HeifImagePtr decodeImage(const heif_image_handle* handle, heif_colorspace space, heif_chroma chroma,
                         const heif_decoding_options* options)
{
    heif_image* image = nullptr;
    const heif_error error = heif_decode_image(handle, &image, space, chroma, options);
    HeifImagePtr owned(image);
    if (error.code != heif_error_Ok)
        return nullptr;
    return owned;
}

std::vector<heif_property_id> transformationProperties(const heif_context* context, heif_item_id id)
{
    const int count = heif_item_get_transformation_properties(context, id, nullptr, 0);
    std::vector<heif_property_id> properties(std::max(count, 0));
    properties.resize(std::max(heif_item_get_transformation_properties(context, id, properties.data(), count), 0));
    return properties;
}

}  // namespace pictavo::imageio
