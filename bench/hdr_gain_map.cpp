// Writes a PQ or HLG photo as an Ultra HDR JPEG: today's tone-mapped JPEG with
// a gain map computed from the photo's own light, for bench/hdr_rendition_check
// to compare with the photo and for timing what the gain map costs.
//
//   hdr-gain-map [--scale N] [--no-gain-map] SOURCE.heic OUTPUT.jpg
//
// Prints the headroom, the gain map's size and the CPU milliseconds its making
// and the writing took. --no-gain-map decodes the same and writes the plain JPEG.

#include "imageio/ImageSource.h"
#include "imageio/gainmap/HdrGainMap.h"
#include "imageio/pixels/HdrLight.h"
#include "imageio/heif/HeifColour.h"
#include "imageio/pixels/PixelRows.h"
#include "imageio/pixels/SampleOperations.h"
#include "imageio/writing/JpegWriter.h"
#include "imageio/writing/UltraHdrJpeg.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string_view>

using namespace pictavo::imageio;

namespace {

struct Heif {
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    ~Heif()
    {
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(context);
    }
};

// The photo's signal, upright, as 16-bit RGB spanning 0..65535.
bool decodeSignal(const char* path, Heif& heif, DecodedImage& signal)
{
    heif_context_set_max_decoding_threads(heif.context, 0);  // libheif 1.19 pastes threaded grid tiles wrongly at times
    if (heif_context_read_from_file(heif.context, path, nullptr).code != heif_error_Ok ||
        heif_context_get_primary_image_handle(heif.context, &heif.handle).code != heif_error_Ok ||
        heif_decode_image(heif.handle, &heif.image, heif_colorspace_RGB, heif_chroma_interleaved_RRGGBB_LE, nullptr)
                .code != heif_error_Ok)
        return false;
    int stride = 0;
    std::uint8_t* pixels = heif_image_get_plane(heif.image, heif_channel_interleaved, &stride);
    signal.width = std::uint32_t(heif_image_get_primary_width(heif.image));
    signal.height = std::uint32_t(heif_image_get_primary_height(heif.image));
    signal.bitsPerSample = 16;
    signal.data = pixels;
    signal.stride = std::size_t(stride);
    expandTo16Bits(pixels, stride, signal.width, signal.height, 3,
                   heif_image_get_bits_per_pixel_range(heif.image, heif_channel_interleaved));
    return pixels != nullptr;
}

// Milliseconds of CPU time the process has used: what the work costs, however loaded the machine.
double cpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

}  // namespace

int main(int argc, char** argv)
{
    std::uint32_t scale = kGainMapScale;
    bool withGainMap = true;
    int at = 1;
    for (; at < argc && argv[at][0] == '-'; ++at) {
        if (std::string_view(argv[at]) == "--scale" && at + 1 < argc)
            scale = std::uint32_t(std::atoi(argv[++at]));
        else if (std::string_view(argv[at]) == "--no-gain-map")
            withGainMap = false;
        else
            break;
    }
    if (argc - at != 2 || scale < 1) {
        std::fprintf(stderr, "usage: hdr-gain-map [--scale N] [--no-gain-map] SOURCE.heic OUTPUT.jpg\n");
        return 2;
    }
    const char* source = argv[at];
    Result<std::unique_ptr<ImageSource>> opened = ImageSource::open(source);
    Result<std::unique_ptr<DecodedImage>> decoded = opened ? (*opened)->decode() : Failure::unreadable;
    const std::unique_ptr<DecodedImage> sdr = decoded ? std::move(*decoded) : nullptr;
    Heif heif;
    DecodedImage signal;
    if (!sdr || !sdr->data || !decodeSignal(source, heif, signal)) {
        std::fprintf(stderr, "%s: cannot be decoded\n", source);
        return 1;
    }
    HeifNclxPtr nclx = handleNclx(heif.handle);
    if (!nclx)
        nclx = imageNclx(heif.image);
    const TransferCurve curve = nclx ? transferCurveFromNclx(nclx->transfer_characteristics) : TransferCurve::srgb;
    if (curve != TransferCurve::pq && curve != TransferCurve::hlg) {
        std::fprintf(stderr, "%s: neither PQ nor HLG\n", source);
        return 1;
    }

    const double start = cpuMilliseconds();
    const HdrTransfer transfer = curve == TransferCurve::pq ? HdrTransfer::pq : HdrTransfer::hlg;
    const std::optional<HdrHeadroom> headroom = hdrHeadroom(
        transfer, declaredPeakNits(heif.handle), transfer == HdrTransfer::pq ? brightestPqNits(signal) : 0.0);
    std::unique_ptr<GainMap> gainMap;
    if (headroom && withGainMap) {
        double luma[3];
        lumaCoefficients(chromaticitiesOf(*nclx), luma);
        const HdrLight toLight(transfer, luma);
        HdrGainMapBuilder builder(signal.width, signal.height, *headroom, scale);
        std::vector<float> light(std::size_t(signal.width) * 3);
        std::vector<std::uint8_t> sdrRow(light.size());
        for (std::uint32_t y = 0; y < signal.height; ++y) {
            toLight.row(signal.row(y), signal.width, 3, light.data());
            rowAs8BitOpaque(*sdr, y, sdrRow.data());
            builder.addRow(light.data(), sdrRow.data());
        }
        gainMap = builder.finish();
    }
    const double built = cpuMilliseconds() - start;

    const int out = ::open(argv[at + 1], O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        std::perror(argv[at + 1]);
        return 1;
    }
    const ByteSink sink = [out](const std::uint8_t* data, std::size_t size) {
        return ::write(out, data, size) == ssize_t(size);
    };
    const BytePatcher patch = [out](std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
        return ::pwrite(out, data, size, off_t(offset)) == ssize_t(size);
    };
    const std::uint32_t mapWidth = gainMap ? gainMap->image.width : 0, mapHeight = gainMap ? gainMap->image.height : 0;
    const double writing = cpuMilliseconds();
    const bool written = !(gainMap ? writeUltraHdrJpeg(*sdr, std::move(gainMap), 0.9, sink, patch)
                           : writeJpeg(*sdr, 0.9, sink));
    std::printf("headroom %.4f stops, largest gain %.4f stops, gain map %ux%u, made in %.1f ms, written in %.1f ms of CPU\n",
                headroom ? headroom->stops : 0.0, headroom ? headroom->maxGainStops : 0.0, mapWidth, mapHeight, built,
                cpuMilliseconds() - writing);
    return ::close(out) == 0 && written ? 0 : 1;
}
