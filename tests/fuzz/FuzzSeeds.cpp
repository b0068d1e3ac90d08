// Writes a small corpus of valid HEIC files into the folder named on the
// command line: the starting points the fuzzer mutates. Each one exercises a
// different path of the decoder (lossless and lossy, grey, alpha, 10 bits,
// grids, transformations, metadata, several images, thumbnails). They are kept
// tiny so that the fuzzer runs many executions per second.
//
//   pictavo-fuzz-seeds FOLDER

#include "fixtures/HeifFixtures.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

using namespace pictavo::fixtures;

namespace {

HeicImage lossy(Pixels pixels, const char* chroma)
{
    HeicImage image(std::move(pixels));
    image.lossless = false;
    image.quality = 50;
    image.chroma = chroma;
    return image;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: pictavo-fuzz-seeds FOLDER\n");
        return 2;
    }
    const fs::path folder = argv[1];
    std::error_code error;
    fs::create_directories(folder, error);

    struct Seed {
        std::string name;
        std::vector<HeicImage> images;
        std::size_t primary = 0;
    };
    std::vector<Seed> seeds;

    seeds.push_back({"lossless-rgb", {HeicImage(quadrants(16, 16))}});
    seeds.push_back({"lossy-420", {lossy(gradient(24, 16), "420")}});
    seeds.push_back({"grey", {HeicImage(quadrants(8, 8, 1))}});
    seeds.push_back({"alpha", {HeicImage(quadrants(8, 8, 4))}});
    seeds.push_back({"ten-bit", {HeicImage(gradient(8, 8, 3, 10))}});
    {
        HeicImage rotated(quadrants(12, 8));
        rotated.orientation = 6;
        seeds.push_back({"rotated", {rotated}});
        HeicImage mirrored(quadrants(8, 12));
        mirrored.orientation = 2;
        seeds.push_back({"mirrored", {mirrored}});
    }
    {
        HeicImage tagged = lossy(quadrants(16, 16), "420");
        tagged.exif = buildTiff({.orientation = 8, .pixelX = 16, .pixelY = 16});
        tagged.icc = displayP3Icc();
        tagged.xmp = xmpPacket("seed");
        tagged.nclx = Nclx{};
        seeds.push_back({"metadata", {tagged}});
    }
    {
        HeicImage grid = lossy(quadrants(32, 32), "420");
        grid.gridColumns = 2;
        grid.gridRows = 2;
        seeds.push_back({"grid", {grid}});
    }
    {
        HeicImage withThumbnail = lossy(gradient(32, 24), "420");
        withThumbnail.thumbnailSize = 8;
        seeds.push_back({"thumbnail", {withThumbnail}});
    }
    seeds.push_back({"two-images", {HeicImage(flat(8, 8, 10, 20, 30)), HeicImage(quadrants(8, 8))}, 1});

    int failures = 0;
    for (const Seed& seed : seeds) {
        try {
            writeHeic(folder / (seed.name + ".heic"), seed.images, seed.primary);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", seed.name.c_str(), e.what());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
