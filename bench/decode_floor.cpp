// Decodes a HEIF file's primary image to YCbCr 4:2:0 with libheif's default
// thread settings and writes nothing: the time no converter can beat.
//
//   decode-floor FILE

#include <libheif/heif.h>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: decode-floor FILE\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    bool ok = heif_context_read_from_file(context, argv[1], nullptr).code == heif_error_Ok &&
              heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
              heif_decode_image(handle, &image, heif_colorspace_YCbCr, heif_chroma_420, nullptr).code == heif_error_Ok;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (ok)
        std::printf("%s\t%dx%d\t%.3f\n", argv[1], heif_image_get_primary_width(image),
                    heif_image_get_primary_height(image), seconds);
    else
        std::fprintf(stderr, "%s: could not decode\n", argv[1]);
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return ok ? 0 : 1;
}
