// Converter: where outputs go and what they are called.

#include "core/Converter.h"
#include "fixtures/HeifFixtures.h"

#include <gtest/gtest.h>

namespace pictavo {
namespace {

using namespace fixtures;

// Conversions in order, each naming its output after the ones before it.
// Only the exact candidates from the start of the sequence count: other
// extensions, cases and suffixes do not, a folder or a dangling link does.
TEST(ConverterNaming, OutputsTakeTheSourcesBaseNameAndTheFirstFreeNumber)
{
    TempDir dir;
    fs::create_directory(dir / "b");
    fs::create_directory(dir / "out");
    for (const char* name : {"IMG_0001.HEIC", "IMG_0001.heif", "trip.2024.heic", "HOLIDAY.HEIF", "b/IMG_0001.HEIC"})
        writeHeic(dir / name, HeicImage(quadrants(32, 16)));
    for (const char* other : {"IMG_0001.JPG", "IMG_0001.jpg.tmp", "IMG_0001", "IMG_0001-3.jpg"})
        writeBytes(dir / other, {1});
    fs::create_directory(dir / "IMG_0001-1.jpg");
    fs::create_symlink(dir / "nowhere" / "target.jpg", dir / "IMG_0001-2.jpg");
    struct Row {
        const char* source;
        OutputFormat format;
        const char* outputDir;  // none: next to the source
        const char* expected;
    };
    std::vector<ConversionResult> results;
    std::vector<std::uint8_t> firstBytes;
    for (const Row& row : {Row{"IMG_0001.HEIC", OutputFormat::jpg, nullptr, "IMG_0001.jpg"},
                           Row{"IMG_0001.HEIC", OutputFormat::jpg, nullptr, "IMG_0001-4.jpg"},
                           Row{"IMG_0001.HEIC", OutputFormat::jpg, nullptr, "IMG_0001-5.jpg"},
                           Row{"IMG_0001.HEIC", OutputFormat::png, nullptr, "IMG_0001.png"},
                           Row{"IMG_0001.heif", OutputFormat::jpg, nullptr, "IMG_0001-6.jpg"},
                           Row{"trip.2024.heic", OutputFormat::jpg, nullptr, "trip.2024.jpg"},
                           Row{"HOLIDAY.HEIF", OutputFormat::png, nullptr, "HOLIDAY.png"},
                           // An output folder is used as given; what is next to the sources does not matter.
                           Row{"IMG_0001.HEIC", OutputFormat::jpg, "out", "out/IMG_0001.jpg"},
                           Row{"b/IMG_0001.HEIC", OutputFormat::jpg, "out", "out/IMG_0001-1.jpg"}}) {
        const auto outputDir = row.outputDir ? std::optional(dir / row.outputDir) : std::nullopt;
        results.push_back(Converter::convert(dir / row.source, row.format, 0.9, outputDir));
        EXPECT_EQ(results.back().output(), dir / row.expected) << results.back().error().value_or("");
        if (results.size() == 1)
            firstBytes = readBytes(dir / row.expected);
    }
    EXPECT_EQ(readBytes(dir / "IMG_0001.jpg"), firstBytes) << "a later conversion wrote over an earlier output";
    EXPECT_NE(results[0].id(), results[1].id());
}

}  // namespace
}  // namespace pictavo
