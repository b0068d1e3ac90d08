// The gain map that brings a PQ or HLG photo's HDR back over its tone-mapped SDR photo.

#include "imageio/gainmap/HdrGainMap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace pictavo::imageio {
namespace {

constexpr double k = kGainMapOffset;

TEST(HdrHeadroom, ComesFromTheDeclaredPeakElseTheContentsAndHlgsIsNominal)
{
    auto stops = [](double nits) { return std::log2(nits / kSdrWhiteNits); };
    auto gain = [](double nits) { return std::log2((nits / kSdrWhiteNits + k) / (1 + k)); };
    struct Row {
        const char* name;
        HdrTransfer transfer;
        std::optional<double> declared;
        double brightest;
        std::optional<double> stops, maxGain;
    } rows[] = {
        {"PQ declared", HdrTransfer::pq, 1000, 800, stops(1000), gain(1000)},
        {"PQ content, tone-mapped from the default peak", HdrTransfer::pq, {}, 600, stops(600), gain(1000)},
        {"PQ content over the declared", HdrTransfer::pq, 1000, 4000, stops(4000), gain(4000)},
        {"HLG nominal, its declared peak tone-mapped", HdrTransfer::hlg, 600, 0, stops(1000), gain(1000)},
        {"HLG declared over its nominal", HdrTransfer::hlg, 2000, 0, stops(1000), gain(2000)},
        {"PQ no brighter than SDR white", HdrTransfer::pq, {}, 210, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<HdrHeadroom> headroom = hdrHeadroom(row.transfer, row.declared, row.brightest);
        ASSERT_EQ(headroom.has_value(), row.stops.has_value());
        EXPECT_NEAR(headroom.value_or(HdrHeadroom{}).stops, row.stops.value_or(0), 1e-9);
        EXPECT_NEAR(headroom.value_or(HdrHeadroom{}).maxGainStops, row.maxGain.value_or(0), 1e-9);
    }
}

// A 7 × 4 photo in gain-map samples of about 4 × 4: two samples, over 4 and
// 3 columns. Each row: the light of the photo's upper and lower halves (HDR
// RGB, SDR 8-bit RGB) and the gains expected of both samples.
TEST(HdrGainMapBuilder, GainsAreTheLog2RatioOfTheLightEachSampleCovers)
{
    const HdrHeadroom headroom{2.0, 3.0};
    const double white = 1, mid = std::pow((128 / 255.0 + 0.055) / 1.055, 2.4);  // SDR's light, through sRGB's curve
    auto gain = [](double hdr, double sdr) { return std::log2((hdr + k) / (sdr + k)); };
    struct Row {
        const char* name;
        float hdr[2][3];
        std::uint8_t sdr[2][3];
        double gains[3];
    } rows[] = {
        {"SDR as HDR, and black", {{float(mid), 0, 1}, {float(mid), 0, 1}}, {{128, 0, 255}, {128, 0, 255}}, {0, 0, 0}},
        {"each channel its own", {{4, 2, 0.5}, {4, 2, 0.5}}, {{255, 255, 128}, {255, 255, 128}},
         {gain(4, white), gain(2, white), gain(0.5, mid)}},
        {"beyond the largest gain, and SDR over HDR", {{20, 0.1f, 0}, {20, 0.1f, 0}}, {{255, 128, 0}, {255, 128, 0}},
         {3, 0, 0}},
        {"half bright: the ratio of the means", {{8, 8, 8}, {0, 0, 0}}, {{255, 255, 255}, {0, 0, 0}},
         {gain(4, white / 2), gain(4, white / 2), gain(4, white / 2)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HdrGainMapBuilder builder(7, 4, headroom);
        for (int y = 0; y < 4; ++y) {
            EXPECT_EQ(builder.finish(), nullptr) << "before its last row";
            std::vector<float> hdr;
            std::vector<std::uint8_t> sdr;
            for (int x = 0; x < 7; ++x) {
                hdr.insert(hdr.end(), row.hdr[y / 2], row.hdr[y / 2] + 3);
                sdr.insert(sdr.end(), row.sdr[y / 2], row.sdr[y / 2] + 3);
            }
            builder.addRow(hdr.data(), sdr.data());
        }
        const std::unique_ptr<GainMap> map = builder.finish();
        ASSERT_NE(map, nullptr);
        ASSERT_EQ(std::tuple(map->image.width, map->image.height, map->image.channels), std::tuple(2u, 1u, 3));
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(map->image.data[c], std::clamp(row.gains[c] / 3.0, 0.0, 1.0) * 255, 0.5) << "channel " << c;
            EXPECT_EQ(map->image.data[3 + c], map->image.data[c]) << "the edge sample, channel " << c;
        }
        EXPECT_EQ(std::tuple(map->metadata.alternateHeadroom, map->metadata.max[2], map->metadata.baseOffset[1]),
                  std::tuple(2.0, 3.0, k));
    }
}

}  // namespace
}  // namespace pictavo::imageio
