// Writes a PQ or HLG test photo made from known light (the test fixtures'
// scene), for timing and checking the gain maps of large photos.
//
//   hdr-fixture pq|hlg 420|422 WIDTH HEIGHT [--grid TILES] [--clli NITS] [--mdcv NITS] OUTPUT.heic

#include "fixtures/HdrFixtures.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

int main(int argc, char** argv)
{
    using namespace pictavo::fixtures;
    if (argc < 6 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: hdr-fixture pq|hlg 420|422 WIDTH HEIGHT [--grid TILES] [--clli NITS] "
                             "[--mdcv NITS] OUTPUT.heic\n");
        return 2;
    }
    const HdrCurve curve = std::string_view(argv[1]) == "hlg" ? HdrCurve::hlg : HdrCurve::pq;
    HdrPhoto photo = hdrPhoto(std::atoi(argv[3]), std::atoi(argv[4]), curve, argv[2]);
    for (int i = 5; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        const unsigned value = unsigned(std::atoi(argv[i + 1]));
        if (option == "--grid")
            photo.image.gridColumns = photo.image.gridRows = value;
        else if (option == "--clli")
            photo.image.maxContentLightLevel = std::uint16_t(value);
        else if (option == "--mdcv")
            photo.image.masteringPeakNits = value;
    }
    writeHeic(argv[argc - 1], photo.image);
    return 0;
}
