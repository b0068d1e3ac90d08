#include "WrittenImageReaders.h"

#include <bit>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace pictavo::imageio::test {

std::uint32_t ReadImage::sample(std::uint32_t x, std::uint32_t y, int c) const
{
    const std::size_t index = (std::size_t(y) * width + x) * channels + c;
    if (bits == 8)
        return pixels[index];
    std::uint16_t value;
    std::memcpy(&value, pixels.data() + index * 2, 2);
    return value;
}

namespace {

struct JpegErrors {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

bool readJpeg(const std::vector<std::uint8_t>& file, ReadImage& image)
{
    jpeg_decompress_struct cinfo;
    JpegErrors errors;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegErrors*>(c->err)->jump, 1); };
    errors.base.output_message = [](j_common_ptr) {};
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    image.width = cinfo.output_width;
    image.height = cinfo.output_height;
    image.channels = cinfo.output_components;
    image.pixels.resize(std::size_t(image.width) * image.height * image.channels);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.pixels.data() + std::size_t(cinfo.output_scanline) * image.width * image.channels;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

struct PngInput {
    const std::vector<std::uint8_t>* file;
    std::size_t at;
};

bool readPng(const std::vector<std::uint8_t>& file, ReadImage& image)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    PngInput input{&file, 0};
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &input, [](png_structp p, png_bytep out, png_size_t n) {
        auto* in = static_cast<PngInput*>(png_get_io_ptr(p));
        if (n > in->file->size() - in->at)
            png_error(p, "short");
        std::memcpy(out, in->file->data() + in->at, n);
        in->at += n;
    });
    png_read_info(png, info);
    image.width = png_get_image_width(png, info);
    image.height = png_get_image_height(png, info);
    image.channels = png_get_channels(png, info);
    image.bits = png_get_bit_depth(png, info);
    if (image.bits == 16 && std::endian::native == std::endian::little)
        png_set_swap(png);
    const std::size_t rowBytes = std::size_t(image.width) * image.channels * image.bits / 8;
    image.pixels.resize(rowBytes * image.height);
    for (std::uint32_t y = 0; y < image.height; ++y)
        png_read_row(png, image.pixels.data() + y * rowBytes, nullptr);
    png_read_end(png, info);

    png_charp name;
    int compression;
    png_bytep profile;
    png_uint_32 length;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length)) {
        image.iccName = name;
        image.icc.assign(profile, profile + length);
    }
    int intent;
    image.srgb = png_get_sRGB(png, info, &intent) != 0;
    png_bytep exif;
    png_uint_32 exifLength;
    if (png_get_eXIf_1(png, info, &exifLength, &exif))
        image.exif.assign(exif, exif + exifLength);
    png_textp texts;
    int count = 0;
    png_get_text(png, info, &texts, &count);
    for (int i = 0; i < count; ++i) {
        const std::size_t textLength = texts[i].compression >= PNG_ITXT_COMPRESSION_NONE ? texts[i].itxt_length
                                                                                       : texts[i].text_length;
        image.texts.push_back({texts[i].key, std::string(texts[i].text, textLength), texts[i].compression});
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

std::optional<ReadImage> decodeJpeg(const std::vector<std::uint8_t>& file)
{
    ReadImage image;
    if (!readJpeg(file, image))
        return std::nullopt;
    return image;
}

std::optional<ReadImage> decodePng(const std::vector<std::uint8_t>& file)
{
    ReadImage image;
    if (!readPng(file, image))
        return std::nullopt;
    return image;
}

std::vector<JpegSegment> jpegSegments(const std::vector<std::uint8_t>& file)
{
    std::vector<JpegSegment> segments;
    if (file.size() < 2 || file[0] != 0xFF || file[1] != 0xD8)
        return segments;
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        const std::uint8_t marker = file[at + 1];
        const std::size_t length = std::size_t(file[at + 2]) << 8 | file[at + 3];
        if (length < 2 || at + 2 + length > file.size())
            break;
        segments.push_back({marker, length, {file.begin() + at + 4, file.begin() + at + 2 + length}});
        if (marker == 0xDA)
            break;
        at += 2 + length;
    }
    return segments;
}

std::vector<std::string> pngChunkTypes(const std::vector<std::uint8_t>& file)
{
    std::vector<std::string> types;
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::size_t length = std::size_t(file[at]) << 24 | std::size_t(file[at + 1]) << 16
                                   | std::size_t(file[at + 2]) << 8 | file[at + 3];
        types.emplace_back(reinterpret_cast<const char*>(file.data() + at + 4), 4);
        at += 12 + length;
    }
    return types;
}

}  // namespace pictavo::imageio::test
