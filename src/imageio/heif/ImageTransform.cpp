#include "imageio/heif/ImageTransform.h"

#include "imageio/heif/HeifObjects.h"

#include <libheif/heif_properties.h>

#include <algorithm>

namespace pictavo::imageio {

namespace {

// One step, as the position (x, y) in the image before it of the pixel at
// (x', y') after it: x = ax·x' + ay·y' + a0, y = bx·x' + by·y' + b0.
struct Step {
    int ax, ay;
    std::int64_t a0;
    int bx, by;
    std::int64_t b0;
};

ImageTransform followedBy(const ImageTransform& t, const Step& s)
{
    ImageTransform result = t;
    result.xx = t.xx * s.ax + t.xy * s.bx;
    result.xy = t.xx * s.ay + t.xy * s.by;
    result.x0 = t.xx * s.a0 + t.xy * s.b0 + t.x0;
    result.yx = t.yx * s.ax + t.yy * s.bx;
    result.yy = t.yx * s.ay + t.yy * s.by;
    result.y0 = t.yx * s.a0 + t.yy * s.b0 + t.y0;
    return result;
}

}  // namespace

std::optional<ImageTransform> ImageTransform::of(const heif_image_handle* handle, std::uint32_t storedWidth,
                                                 std::uint32_t storedHeight)
{
    const HeifContextPtr context = contextOf(handle);
    if (!context)
        return std::nullopt;
    const heif_item_id id = heif_image_handle_get_item_id(handle);
    ImageTransform t;
    t.width = storedWidth;
    t.height = storedHeight;
    bool cropped = false;
    for (heif_property_id property : transformationProperties(context.get(), id)) {
        const std::int64_t w = t.width, h = t.height;
        const heif_item_property_type type = heif_item_get_property_type(context.get(), id, property);
        const int rotation = type == heif_item_property_type_transform_rotation
                                 ? heif_item_get_property_transform_rotation_ccw(context.get(), id, property)
                                 : 0;
        if (type == heif_item_property_type_transform_crop)
            cropped = true;
        else if (cropped && (type != heif_item_property_type_transform_rotation || rotation != 0))
            t.turnedAfterCrop = true;
        switch (type) {
        case heif_item_property_type_transform_rotation:
            switch (rotation) {
            case 0: break;
            case 90: t = followedBy(t, {0, -1, w - 1, 1, 0, 0}); std::swap(t.width, t.height); break;
            case 180: t = followedBy(t, {-1, 0, w - 1, 0, -1, h - 1}); break;
            case 270: t = followedBy(t, {0, 1, 0, -1, 0, h - 1}); std::swap(t.width, t.height); break;
            default: return std::nullopt;
            }
            break;
        case heif_item_property_type_transform_mirror:
            // libheif's "vertical" mirror turns the picture upside down.
            switch (heif_item_get_property_transform_mirror(context.get(), id, property)) {
            case heif_transform_mirror_direction_vertical: t = followedBy(t, {1, 0, 0, 0, -1, h - 1}); break;
            case heif_transform_mirror_direction_horizontal: t = followedBy(t, {-1, 0, w - 1, 0, 1, 0}); break;
            default: return std::nullopt;
            }
            break;
        case heif_item_property_type_transform_crop: {
            int left = 0, top = 0, right = 0, bottom = 0;
            heif_item_get_property_transform_crop_borders(context.get(), id, property, int(w), int(h), &left, &top,
                                                          &right, &bottom);
            if (left < 0 || top < 0 || right < 0 || bottom < 0 || left + right >= w || top + bottom >= h)
                return std::nullopt;
            t = followedBy(t, {1, 0, left, 0, 1, top});
            t.width = static_cast<std::uint32_t>(w - left - right);
            t.height = static_cast<std::uint32_t>(h - top - bottom);
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return t;
}

bool ImageTransform::keeps420Blocks() const
{
    // The stored block under the shown one starts at its smallest coordinates.
    const std::int64_t left = x0 + std::min(xx, 0) + std::min(xy, 0);
    const std::int64_t top = y0 + std::min(yx, 0) + std::min(yy, 0);
    return !turnedAfterCrop && width % 2 == 0 && height % 2 == 0 && left % 2 == 0 && top % 2 == 0;
}

bool isStoredUpright(const heif_image_handle* handle)
{
    const HeifContextPtr context = contextOf(handle);
    if (!context)
        return false;
    const heif_item_id id = heif_image_handle_get_item_id(handle);
    // A rotation by 0°, which phones write, is none.
    for (heif_property_id property : transformationProperties(context.get(), id)) {
        if (heif_item_get_property_type(context.get(), id, property) != heif_item_property_type_transform_rotation ||
            heif_item_get_property_transform_rotation_ccw(context.get(), id, property) != 0)
            return false;
    }
    return true;
}

}  // namespace pictavo::imageio
