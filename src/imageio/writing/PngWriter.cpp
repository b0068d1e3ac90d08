#include "imageio/writing/PngWriter.h"

#include "imageio/metadata/ExifEditor.h"
#include "imageio/pixels/ImageValidity.h"
#include "imageio/writing/PngImageData.h"
#include "imageio/metadata/XmpEditor.h"

#include <algorithm>
#include <csetjmp>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <png.h>

namespace pictavo::imageio {

namespace {

constexpr char kIccProfileName[] = "ICC Profile";
constexpr char kXmpKeyword[] = "XML:com.adobe.xmp";

struct PngContext {
    const ByteSink* sink;
    // Set when the sink did not take bytes: the one failure that is the
    // output's. Volatile: it is read after libpng's longjmp.
    volatile bool refused = false;
};

[[noreturn]] void jumpOnError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

// libpng calls this through its C frames, which nothing may unwind through:
// a sink that throws has refused the bytes.
void writeToSink(png_structp png, png_bytep data, png_size_t size)
{
    auto* context = static_cast<PngContext*>(png_get_io_ptr(png));
    try {
        context->refused = !(*context->sink)(data, size);
    } catch (...) {
        context->refused = true;
    }
    if (context->refused)
        png_error(png, "write failed");
}

void flushNothing(png_structp) {}

int colourType(int channels)
{
    switch (channels) {
    case 1: return PNG_COLOR_TYPE_GRAY;
    case 2: return PNG_COLOR_TYPE_GRAY_ALPHA;
    case 3: return PNG_COLOR_TYPE_RGB;
    default: return PNG_COLOR_TYPE_RGB_ALPHA;
    }
}

// Metadata prepared before libpng runs so that no C++ object is created
// between setjmp and a possible longjmp.
struct PngJob {
    const DecodedImage& image;
    std::vector<std::uint8_t> exif;
    std::string xmp;
};

// The XMP packet as iTXt text (libpng takes it as a C string); none when it holds a NUL inside.
std::string xmpText(const std::vector<std::uint8_t>& xmp)
{
    std::string text(xmp.begin(), xmp.end());
    while (!text.empty() && text.back() == '\0')
        text.pop_back();
    if (text.find('\0') != std::string::npos)
        return {};
    return text;
}

// Writes the signature and every chunk before the image data.
std::optional<Failure> encode(PngJob& job, const ByteSink& sink)
{
    PngContext context{&sink};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jumpOnError, ignoreWarning);
    if (!png)
        return Failure::unreadable;  // out of memory
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return Failure::unreadable;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return context.refused ? Failure::writeFailed : Failure::unreadable;
    }
    const DecodedImage& image = job.image;
    // A profile or text libpng finds unsound is left out rather than failing the image.
    png_set_benign_errors(png, 1);
    png_set_write_fn(png, &context, writeToSink, flushNothing);
    png_set_IHDR(png, info, image.width, image.height, image.bitsPerSample, colourType(image.channels),
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    if (!image.icc.empty())
        png_set_iCCP(png, info, kIccProfileName, PNG_COMPRESSION_TYPE_BASE, image.icc.data(),
                     static_cast<png_uint_32>(image.icc.size()));
    else
        png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    if (!job.exif.empty())
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(job.exif.size()), job.exif.data());
    png_text xmp{};
    if (!job.xmp.empty()) {
        xmp.compression = PNG_ITXT_COMPRESSION_NONE;
        xmp.key = const_cast<png_charp>(kXmpKeyword);
        xmp.text = job.xmp.data();
        xmp.itxt_length = job.xmp.size();
        xmp.lang = const_cast<png_charp>("");
        xmp.lang_key = const_cast<png_charp>("");
        png_set_text(png, info, &xmp, 1);
    }
    // writePngImageData() writes the rest.
    png_write_info(png, info);
    png_destroy_write_struct(&png, &info);
    return std::nullopt;
}

}  // namespace

std::optional<Failure> writePng(const DecodedImage& image, const ByteSink& sink)
{
    if (!hasEncodableRows(image) || image.icc.size() > std::numeric_limits<png_uint_32>::max() / 2)
        return Failure::unreadable;
    PngJob job{image, {}, xmpText(xmpForOutput(image.xmp, image.width, image.height))};
    if (!image.exif.empty())
        job.exif = exifForOutput(image.exif, image.width, image.height, std::numeric_limits<std::int32_t>::max());
    if (std::optional<Failure> failed = encode(job, sink))
        return failed;
    return writePngImageData(image, std::max(1u, std::thread::hardware_concurrency()), sink);
}

}  // namespace pictavo::imageio
