#include "imageio/writing/JpegWriter.h"

#include "imageio/metadata/ExifEditor.h"
#include "imageio/pixels/ImageValidity.h"
#include "imageio/writing/JpegXmp.h"
#include "imageio/pixels/PixelRows.h"
#include "imageio/metadata/XmpEditor.h"

#include <algorithm>
#include <csetjmp>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

namespace pictavo::imageio {

namespace {

// Largest payload of one marker segment (its length field counts itself).
constexpr std::size_t kMaxSegmentPayload = 65533;
constexpr std::uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
// libjpeg splits a profile into at most 255 APP2 segments of 65,519 bytes.
constexpr std::size_t kMaxIccSize = 255 * 65519;
constexpr std::size_t kOutputBufferSize = 256 * 1024;
// From this quality up, chroma of pixels in memory keeps full resolution
// (4:4:4); below it, 4:2:0 halves the file size at a cost the eye hardly sees
// at those settings. Tiles decoded while writing keep the 4:2:0 they were
// stored with: finer chroma would only spend bytes on detail the photo lacks.
constexpr int kFullChromaQuality = 90;

// Quality fraction to libjpeg quality: round(20 + 80 × fraction), clamped to
// 1..100; anything not a number counts as 0.9. The window's range 0.1..1 so
// becomes 28..100, leaving out libjpeg's lowest settings, whose blocks show at
// a glance, and putting the default 0.9 at 92: fine detail keeps a PSNR above
// 40 dB there.
int libjpegQuality(double fraction)
{
    if (!std::isfinite(fraction))
        fraction = 0.9;
    const double scaled = std::round(20.0 + 80.0 * fraction);
    return scaled < 1 ? 1 : scaled > 100 ? 100 : static_cast<int>(scaled);
}

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOnError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void ignoreMessage(j_common_ptr) {}

// Streams the compressed data to the sink through a fixed buffer.
struct SinkDestination {
    jpeg_destination_mgr base;
    const ByteSink* sink;
    std::uint8_t* buffer;
    std::uint64_t delivered = 0;
    // Set when the sink did not take bytes: the one failure that is the
    // output's. Volatile: it is read after libjpeg's longjmp.
    volatile bool refused = false;
};

SinkDestination* destinationOf(j_compress_ptr cinfo)
{
    return reinterpret_cast<SinkDestination*>(cinfo->dest);
}

// libjpeg calls this through its C frames, which nothing may unwind through:
// a sink that throws has refused the bytes.
bool deliver(SinkDestination* destination, std::size_t size)
{
    try {
        destination->refused = size > 0 && !(*destination->sink)(destination->buffer, size);
    } catch (...) {
        destination->refused = true;
    }
    if (!destination->refused)
        destination->delivered += size;
    return !destination->refused;
}

void startBuffer(j_compress_ptr cinfo)
{
    SinkDestination* destination = destinationOf(cinfo);
    destination->base.next_output_byte = destination->buffer;
    destination->base.free_in_buffer = kOutputBufferSize;
}

boolean flushFullBuffer(j_compress_ptr cinfo)
{
    if (!deliver(destinationOf(cinfo), kOutputBufferSize))
        ERREXIT(cinfo, JERR_FILE_WRITE);
    startBuffer(cinfo);
    return TRUE;
}

void flushLastBuffer(j_compress_ptr cinfo)
{
    SinkDestination* destination = destinationOf(cinfo);
    if (!deliver(destination, kOutputBufferSize - destination->base.free_in_buffer))
        ERREXIT(cinfo, JERR_FILE_WRITE);
}

// Everything the encoder needs, prepared before libjpeg runs so that no C++
// object is created between setjmp and a possible longjmp.
struct JpegJob {
    const DecodedImage& image;
    int quality;
    std::vector<std::uint8_t> exifSegment;
    std::vector<std::vector<std::uint8_t>> xmpSegments;
    const std::vector<std::uint8_t>* icc;
    std::vector<std::uint8_t> row;
    std::vector<std::uint8_t> outputBuffer;
    // Set for tiles decoded while writing, with room for the rows of a
    // block that runs from one band into the next.
    std::unique_ptr<YCbCrBandSource::Reader> bands;
    std::vector<std::uint8_t> carried;
    JpegAdditions* additions;
    // Set for RGB rows converted while writing, a band at a time.
    std::unique_ptr<RgbBandSource::Reader> rgbBands;
};

// Copies the first `filled` rows of a block into `carried` and points the
// block at the copies; false when they do not fit.
bool keepRows(std::vector<std::uint8_t>& carried, JSAMPROW* luma, JSAMPROW* cb, JSAMPROW* cr, std::uint32_t filled,
              std::size_t yStride, std::size_t chromaStride)
{
    if (carried.size() < 16 * yStride + 16 * chromaStride)
        return false;
    auto keep = [](JSAMPROW& row, std::uint8_t* copy, std::size_t size) {
        if (row != copy)
            std::memcpy(copy, row, size);
        row = copy;
    };
    for (std::uint32_t i = 0; i < filled; ++i)
        keep(luma[i], carried.data() + i * yStride, yStride);
    std::uint8_t* chroma = carried.data() + 16 * yStride;
    for (std::uint32_t i = 0; i < (filled + 1) / 2; ++i) {
        keep(cb[i], chroma + i * chromaStride, chromaStride);
        keep(cr[i], chroma + (8 + i) * chromaStride, chromaStride);
    }
    return true;
}

// The steps below run between setjmp and jpeg_destroy_compress: libjpeg's
// errors jump out of them, so they hold no C++ object with a destructor.

void configure(jpeg_compress_struct& cinfo, const JpegJob& job)
{
    const DecodedImage& image = job.image;
    const bool grey = image.channels <= 2;
    cinfo.image_width = image.width;
    cinfo.image_height = image.height;
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : job.bands ? JCS_YCbCr : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, job.quality, TRUE);
    if (job.bands) {
        cinfo.raw_data_in = TRUE;  // 4:2:0, the defaults' sampling
    } else if (!grey && job.quality >= kFullChromaQuality) {
        cinfo.comp_info[0].h_samp_factor = 1;
        cinfo.comp_info[0].v_samp_factor = 1;
    }
    // Optimised Huffman tables would keep the whole image's coefficients in
    // memory (gigabytes for the largest photos), so the standard tables are used.
    cinfo.optimize_coding = FALSE;
    // EXIF must be the first segment after SOI, where JFIF would otherwise stand.
    if (!job.exifSegment.empty())
        cinfo.write_JFIF_header = FALSE;
}

void writeMarkers(jpeg_compress_struct& cinfo, JpegJob& job, const SinkDestination& destination)
{
    if (!job.exifSegment.empty())
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, job.exifSegment.data(), static_cast<unsigned>(job.exifSegment.size()));
    for (const std::vector<std::uint8_t>& xmp : job.xmpSegments)
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, xmp.data(), static_cast<unsigned>(xmp.size()));
    if (!job.icc->empty())
        jpeg_write_icc_profile(&cinfo, job.icc->data(), static_cast<unsigned>(job.icc->size()));
    if (job.additions) {
        job.additions->app2Offsets.clear();
        for (const std::vector<std::uint8_t>& payload : job.additions->app2) {
            // The payload follows the marker and its length, 4 bytes.
            job.additions->app2Offsets.push_back(destination.delivered + kOutputBufferSize -
                                                 destination.base.free_in_buffer + 4);
            jpeg_write_marker(&cinfo, JPEG_APP0 + 2, payload.data(), static_cast<unsigned>(payload.size()));
        }
    }
}

// libjpeg takes whole blocks of 16 luma rows (8 of chroma); rows past the
// image's bottom repeat its last row. A block that runs on into the next band
// keeps copies of this band's rows, which go with it. A band that cannot be
// read fails the image: the padding of the last block must not stand in for its rows.
std::optional<Failure> writeBands(jpeg_compress_struct& cinfo, JpegJob& job)
{
    JSAMPROW luma[16], cb[8], cr[8];
    JSAMPARRAY planes[3] = {luma, cb, cr};
    std::uint32_t filled = 0, rowsRead = 0;
    for (;;) {
        const Result<const YCbCrBand*> next = job.bands->next();
        if (!next)
            return next.failure();
        const YCbCrBand* band = *next;
        if (!band)
            break;
        rowsRead += band->rows;
        for (std::uint32_t y = 0; y < band->rows; ++y) {
            luma[filled] = const_cast<JSAMPROW>(band->y + y * band->yStride);
            if (filled % 2 == 0) {
                cb[filled / 2] = const_cast<JSAMPROW>(band->cb + y / 2 * band->chromaStride);
                cr[filled / 2] = const_cast<JSAMPROW>(band->cr + y / 2 * band->chromaStride);
            }
            if (++filled == 16) {
                jpeg_write_raw_data(&cinfo, planes, 16);
                filled = 0;
            }
        }
        if (filled > 0 && !keepRows(job.carried, luma, cb, cr, filled, band->yStride, band->chromaStride))
            return Failure::unreadable;
    }
    if (rowsRead != cinfo.image_height)
        return Failure::unreadable;
    if (filled > 0) {
        for (std::uint32_t i = filled; i < 16; ++i)
            luma[i] = luma[filled - 1];
        for (std::uint32_t i = (filled + 1) / 2; i < 8; ++i)
            cb[i] = cb[(filled - 1) / 2], cr[i] = cr[(filled - 1) / 2];
        jpeg_write_raw_data(&cinfo, planes, 16);
    }
    return std::nullopt;
}

// The rows in memory, or the RGB bands as they are read. A band that cannot
// be read, or that is not the next, fails the image.
std::optional<Failure> writeRows(jpeg_compress_struct& cinfo, JpegJob& job)
{
    if (!job.rgbBands) {
        while (cinfo.next_scanline < cinfo.image_height) {
            rowAs8BitOpaque(job.image, cinfo.next_scanline, job.row.data());
            JSAMPROW row = job.row.data();
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        return std::nullopt;
    }
    for (;;) {
        const Result<const RgbBand*> next = job.rgbBands->next();
        if (!next)
            return next.failure();
        const RgbBand* band = *next;
        if (!band)
            break;
        if (!followsOn(*band, cinfo.next_scanline, cinfo.image_height, std::size_t(cinfo.image_width) * 3))
            return Failure::unreadable;
        for (std::uint32_t y = 0; y < band->rows; ++y) {
            JSAMPROW row = const_cast<JSAMPROW>(band->data + y * band->stride);
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
    }
    if (cinfo.next_scanline != cinfo.image_height)
        return Failure::unreadable;
    return std::nullopt;
}

std::optional<Failure> encode(JpegJob& job, const ByteSink& sink)
{
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jumpOnError;
    errors.base.emit_message = [](j_common_ptr, int) {};
    errors.base.output_message = ignoreMessage;
    SinkDestination destination{{}, &sink, job.outputBuffer.data()};
    destination.base.init_destination = startBuffer;
    destination.base.empty_output_buffer = flushFullBuffer;
    destination.base.term_destination = flushLastBuffer;

    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        // The output's failure when the sink refused bytes; else libjpeg
        // refused the photo (wider or taller than a JPEG can be, say).
        return destination.refused ? Failure::writeFailed : Failure::unreadable;
    }
    jpeg_create_compress(&cinfo);
    cinfo.dest = &destination.base;
    configure(cinfo, job);
    jpeg_start_compress(&cinfo, TRUE);
    writeMarkers(cinfo, job, destination);
    if (const std::optional<Failure> failed = job.bands ? writeBands(cinfo, job) : writeRows(cinfo, job)) {
        jpeg_destroy_compress(&cinfo);
        return failed;
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::nullopt;
}

// True when the profile describes the colour space written: 'GRAY' for a
// greyscale JPEG, 'RGB ' otherwise (bytes 16..19 of an ICC header).
bool profileFits(const std::vector<std::uint8_t>& icc, bool grey)
{
    static constexpr std::uint8_t kGrey[4] = {'G', 'R', 'A', 'Y'};
    static constexpr std::uint8_t kRgb[4] = {'R', 'G', 'B', ' '};
    return icc.size() >= 128 && icc.size() <= kMaxIccSize && std::memcmp(icc.data() + 16, grey ? kGrey : kRgb, 4) == 0;
}

std::vector<std::uint8_t> segment(const std::uint8_t* header, std::size_t headerSize, const std::vector<std::uint8_t>& body)
{
    std::vector<std::uint8_t> result(header, header + headerSize);
    result.insert(result.end(), body.begin(), body.end());
    return result;
}

}  // namespace

std::optional<Failure> writeJpeg(const DecodedImage& image, double quality, const ByteSink& sink,
                                 JpegAdditions* additions)
{
    if (!image.tiles && !hasEncodableRows(image))
        return Failure::unreadable;
    static const std::vector<std::uint8_t> kNoProfile;
    JpegJob job{image, libjpegQuality(quality), {}, {}, &kNoProfile, {}, {}, {}, {}, additions};
    const bool workFirst = additions && additions->beforeWriting;
    if (image.tiles) {
        job.bands = image.tiles->read(workFirst ? YCbCrBandSource::Ahead::firstBand : YCbCrBandSource::Ahead::usual);
        const std::size_t paddedWidth = (std::size_t(image.width) + 15) / 16 * 16;
        job.carried.resize(16 * paddedWidth + 8 * paddedWidth);
    }
    if (workFirst) {
        additions->beforeWriting();
        if (job.bands)
            job.bands->widen();
    }
    if (image.rgbBands)
        job.rgbBands = image.rgbBands->read();
    if (!image.exif.empty()) {
        std::vector<std::uint8_t> exif =
            exifForOutput(image.exif, image.width, image.height, kMaxSegmentPayload - sizeof kExifHeader);
        if (!exif.empty())
            job.exifSegment = segment(kExifHeader, sizeof kExifHeader, exif);
    }
    // XMP too large for one segment goes on in extended-XMP segments.
    std::vector<std::uint8_t> xmp;
    if (!image.xmp.empty())
        xmp = xmpForOutput(image.xmp, image.width, image.height);
    if (additions && additions->editXmp) {
        if (std::optional<std::string> edited = additions->editXmp({reinterpret_cast<const char*>(xmp.data()), xmp.size()}))
            xmp.assign(edited->begin(), edited->end());
    }
    if (!xmp.empty())
        job.xmpSegments = jpegXmpSegments(xmp);
    if (profileFits(image.icc, image.channels <= 2))
        job.icc = &image.icc;
    if (!image.tiles && !image.rgbBands)
        job.row.resize(std::size_t(image.width) * (image.channels <= 2 ? 1 : 3));
    job.outputBuffer.resize(kOutputBufferSize);
    return encode(job, sink);
}

}  // namespace pictavo::imageio
