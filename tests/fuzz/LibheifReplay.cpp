// libheif alone decoding the primary image on one thread, as tests/fuzz/CMakeLists.txt describes.
#include <libheif/heif.h>

#include <thread>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    [[maybe_unused]] static const heif_error initialised = heif_init(nullptr);
    heif_context* context = heif_context_alloc();
    heif_context_set_max_decoding_threads(context, 0);
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    if (heif_context_read_from_memory_without_copy(context, data, size, nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok)
        heif_decode_image(handle, &image, heif_colorspace_undefined, heif_chroma_undefined, nullptr);
#ifdef PICTAVO_PLANT_FAULT
    std::thread([image] { heif_image_release(image); }).join();  // released on another thread, then read
    heif_image_get_primary_width(image);                           // here: libheif meets the freed image first
#endif
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return 0;
}
