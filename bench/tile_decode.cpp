// Decodes every tile of a HEIF grid's primary image, one after another on one
// thread, with libheif (its libde265 decoder) and with libavcodec (one decoder
// kept from tile to tile, as Pictavo's decoding threads do), and prints each
// decoder's median time per tile over the rounds. (That both give the same
// samples is a test: AvcodecHevcDecoder.GivesLibde265sSamplesTileByTile.)
//
//   tile-decode [--rounds N] FILE

#include "imageio/heif/AvcodecHevcDecoder.h"
#include "imageio/heif/HevcTileData.h"

#include <libheif/heif.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

using namespace pictavo::imageio;

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = 5;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--rounds" && i + 1 < argc)
            rounds = std::max(1, std::atoi(argv[++i]));
        else
            path = argv[i];
    }
    if (!path) {
        std::fprintf(stderr, "usage: tile-decode [--rounds N] FILE\n");
        return 2;
    }
    heif_init(nullptr);
    if (!AvcodecHevcDecoder::prepare()) {
        std::fprintf(stderr, "libavcodec has no HEVC decoder\n");
        return 1;
    }
    heif_context* context = heif_context_alloc();
    heif_context_set_max_decoding_threads(context, 0);
    heif_image_handle* grid = nullptr;
    heif_image_tiling tiling{};
    const int file = ::open(path, O_RDONLY | O_CLOEXEC);
    if (file < 0 || heif_context_read_from_file(context, path, nullptr).code != heif_error_Ok ||
        heif_context_get_primary_image_handle(context, &grid).code != heif_error_Ok ||
        heif_image_handle_get_image_tiling(grid, 0, &tiling).code != heif_error_Ok) {
        std::fprintf(stderr, "%s: not a HEIF image\n", path);
        return 1;
    }
    std::vector<heif_item_id> ids;
    for (std::uint32_t row = 0; row < tiling.num_rows; ++row)
        for (std::uint32_t column = 0; column < tiling.num_columns; ++column)
            if (heif_image_handle_get_grid_image_tile_id(grid, 0, column, row, &ids.emplace_back()).code != heif_error_Ok)
                ids.pop_back();
    const std::optional<HevcConfigurations> configurations = HevcConfigurations::read(file, ids);
    heif_decoding_options* options = heif_decoding_options_alloc();
    options->ignore_transformations = 1;

    std::vector<double> libheifTimes, avcodecTimes;
    std::size_t decoded = 0;
    for (int round = 0; round < rounds; ++round) {
        std::unique_ptr<AvcodecHevcDecoder> decoder;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            const std::uint32_t column = std::uint32_t(i % tiling.num_columns), row = std::uint32_t(i / tiling.num_columns);
            auto start = std::chrono::steady_clock::now();
            heif_image* image = nullptr;
            heif_image_handle_decode_image_tile(grid, &image, heif_colorspace_YCbCr, heif_chroma_undefined, options,
                                                column, row);
            const DecodedTile reference = tileOf(std::shared_ptr<heif_image>(image, heif_image_release));
            libheifTimes.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

            start = std::chrono::steady_clock::now();
            const std::vector<std::uint8_t>* record = configurations ? configurations->of(ids[i]) : nullptr;
            if (!decoder || !decoder->decodes(record, tiling.tile_width, tiling.tile_height))
                decoder = AvcodecHevcDecoder::open(record, tiling.tile_width, tiling.tile_height);
            DecodedTile tile;
            if (decoder) {
                const ItemData data(context, ids[i]);
                tile = decoder->decode(data.data(), data.size());
            }
            avcodecTimes.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            if (round == 0 && reference && tile)
                ++decoded;
        }
    }
    std::printf("%s\t%zu tiles of %ux%u\tlibheif %.2f ms/tile\tlibavcodec %.2f ms/tile (%.2fx)\t%zu of %zu decoded by both\n",
                path, ids.size(), tiling.tile_width, tiling.tile_height, median(libheifTimes) * 1e3,
                median(avcodecTimes) * 1e3, median(avcodecTimes) / median(libheifTimes), decoded, ids.size());
    heif_decoding_options_free(options);
    heif_image_handle_release(grid);
    heif_context_free(context);
    ::close(file);
    return decoded == ids.size() ? 0 : 1;
}
