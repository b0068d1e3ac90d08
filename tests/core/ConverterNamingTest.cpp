// Converter: output naming, the options handed to the destination, and every
// kind of bad input ending as the right failure with nothing left behind.

#include "core/Converter.h"
#include "fixtures/HeifFixtures.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace pictavo {
namespace {

using namespace fixtures;

void writeSmallHeic(const fs::path& location)
{
    writeHeic(location, HeicImage(quadrants(32, 16)));
}

// --- Naming ----------------------------------------------------------------------

TEST(ConverterNaming, CandidatesAreBaseThenBaseDashCounter)
{
    TempDir dir;
    EXPECT_EQ(Converter::freeOutputLocation(dir.path(), "IMG", "jpg"), dir / "IMG.jpg");
    writeBytes(dir / "IMG.jpg", {1});
    EXPECT_EQ(Converter::freeOutputLocation(dir.path(), "IMG", "jpg"), dir / "IMG-1.jpg");
    writeBytes(dir / "IMG-1.jpg", {1});
    EXPECT_EQ(Converter::freeOutputLocation(dir.path(), "IMG", "jpg"), dir / "IMG-2.jpg");
    // A gap later on does not matter; only the sequence from the start counts.
    writeBytes(dir / "IMG-3.jpg", {1});
    EXPECT_EQ(Converter::freeOutputLocation(dir.path(), "IMG", "jpg"), dir / "IMG-2.jpg");
}

TEST(ConverterNaming, OnlyTheExactCandidateCounts)
{
    TempDir dir;
    writeBytes(dir / "IMG.png", {1});
    writeBytes(dir / "IMG.JPG", {1});
    writeBytes(dir / "IMG.jpg.tmp", {1});
    writeBytes(dir / "IMG", {1});
    EXPECT_EQ(Converter::freeOutputLocation(dir.path(), "IMG", "jpg"), dir / "IMG.jpg");
}

TEST(ConverterNaming, AFolderOrADanglingLinkTakesTheName)
{
    TempDir dir;
    fs::create_directory(dir / "IMG.jpg");
    fs::create_symlink(dir / "nowhere" / "target.jpg", dir / "IMG-1.jpg");
    EXPECT_EQ(Converter::freeOutputLocation(dir.path(), "IMG", "jpg"), dir / "IMG-2.jpg");
}

TEST(ConverterNaming, ConvertsNextToTheSourceWithFreshNames)
{
    TempDir dir;
    writeSmallHeic(dir / "IMG_0001.HEIC");
    ConversionResult first = Converter::convert(dir / "IMG_0001.HEIC", OutputFormat::jpg, 0.9, std::nullopt);
    ASSERT_TRUE(first.ok()) << *first.error();
    EXPECT_EQ(first.output(), dir / "IMG_0001.jpg");
    EXPECT_EQ(first.source(), dir / "IMG_0001.HEIC");
    const std::vector<std::uint8_t> firstBytes = readBytes(dir / "IMG_0001.jpg");

    ConversionResult second = Converter::convert(dir / "IMG_0001.HEIC", OutputFormat::jpg, 0.9, std::nullopt);
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(second.output(), dir / "IMG_0001-1.jpg");
    ConversionResult third = Converter::convert(dir / "IMG_0001.HEIC", OutputFormat::jpg, 0.9, std::nullopt);
    EXPECT_EQ(third.output(), dir / "IMG_0001-2.jpg");
    EXPECT_EQ(readBytes(dir / "IMG_0001.jpg"), firstBytes);  // untouched

    // The other format has its own sequence: IMG_0001.jpg does not take IMG_0001.png.
    ConversionResult png = Converter::convert(dir / "IMG_0001.HEIC", OutputFormat::png, 0.9, std::nullopt);
    EXPECT_EQ(png.output(), dir / "IMG_0001.png");
    EXPECT_NE(first.id(), second.id());
}

TEST(ConverterNaming, MultiDotAndUpperCaseNames)
{
    TempDir dir;
    writeSmallHeic(dir / "trip.2024.heic");
    writeSmallHeic(dir / "HOLIDAY.HEIF");
    EXPECT_EQ(Converter::convert(dir / "trip.2024.heic", OutputFormat::jpg, 0.9, std::nullopt).output(),
              dir / "trip.2024.jpg");
    EXPECT_EQ(Converter::convert(dir / "HOLIDAY.HEIF", OutputFormat::png, 0.9, std::nullopt).output(),
              dir / "HOLIDAY.png");
}

TEST(ConverterNaming, OutputFolderIsUsedAsGiven)
{
    TempDir sources, outputs;
    writeSmallHeic(sources / "IMG_0001.heic");
    writeBytes(sources / "IMG_0001.jpg", {1});  // a conflict in the source folder does not matter
    ConversionResult result = Converter::convert(sources / "IMG_0001.heic", OutputFormat::jpg, 0.9, outputs.path());
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.output(), outputs / "IMG_0001.jpg");
    EXPECT_EQ(readBytes(sources / "IMG_0001.jpg"), std::vector<std::uint8_t>{1});
}

TEST(ConverterNaming, TwoSourcesWithOneBaseNameInOneBatch)
{
    TempDir dir, a, b, out;
    writeSmallHeic(dir / "IMG_0001.heic");
    writeSmallHeic(dir / "IMG_0001.heif");
    EXPECT_EQ(Converter::convert(dir / "IMG_0001.heic", OutputFormat::jpg, 0.9, std::nullopt).output(),
              dir / "IMG_0001.jpg");
    EXPECT_EQ(Converter::convert(dir / "IMG_0001.heif", OutputFormat::jpg, 0.9, std::nullopt).output(),
              dir / "IMG_0001-1.jpg");

    writeSmallHeic(a / "IMG_0001.HEIC");
    writeSmallHeic(b / "IMG_0001.HEIC");
    EXPECT_EQ(Converter::convert(a / "IMG_0001.HEIC", OutputFormat::jpg, 0.9, out.path()).output(),
              out / "IMG_0001.jpg");
    EXPECT_EQ(Converter::convert(b / "IMG_0001.HEIC", OutputFormat::jpg, 0.9, out.path()).output(),
              out / "IMG_0001-1.jpg");
}

TEST(ConverterNaming, ADanglingLinkIsNeverWrittenThrough)
{
    TempDir dir;
    writeSmallHeic(dir / "IMG.heic");
    fs::create_directory(dir / "elsewhere");
    fs::create_symlink(dir / "elsewhere" / "victim.jpg", dir / "IMG.jpg");
    ConversionResult result = Converter::convert(dir / "IMG.heic", OutputFormat::jpg, 0.9, std::nullopt);
    ASSERT_TRUE(result.ok());
    EXPECT_EQ(result.output(), dir / "IMG-1.jpg");
    EXPECT_FALSE(fs::exists(dir / "elsewhere" / "victim.jpg"));
    EXPECT_TRUE(fs::is_symlink(dir / "IMG.jpg"));
}

// --- Options --------------------------------------------------------------------

TEST(ConverterOptions, QualityForJpgOnly)
{
    using imageio::kLossyCompressionQuality;
    for (double quality : {0.1, 0.9, 1.0}) {
        const imageio::Properties jpg = Converter::destinationOptions(OutputFormat::jpg, quality, std::nullopt);
        ASSERT_EQ(jpg.count(kLossyCompressionQuality), 1u);
        EXPECT_EQ(std::get<double>(jpg.find(kLossyCompressionQuality)->second), quality);
        EXPECT_EQ(jpg.size(), 1u);
        EXPECT_TRUE(Converter::destinationOptions(OutputFormat::png, quality, std::nullopt).empty());
    }
}

TEST(ConverterOptions, OrientationIsCarriedWhenPresent)
{
    using imageio::kOrientation;
    imageio::Properties source{{std::string(kOrientation), std::int64_t(6)},
                               {std::string(imageio::kPixelWidth), std::int64_t(10)}};
    const imageio::Properties png = Converter::destinationOptions(OutputFormat::png, 0.9, source);
    ASSERT_EQ(png.size(), 1u);
    EXPECT_EQ(std::get<std::int64_t>(png.find(kOrientation)->second), 6);
    EXPECT_EQ(Converter::destinationOptions(OutputFormat::jpg, 0.9, source).size(), 2u);
    // No orientation in the properties, or no properties: nothing added.
    imageio::Properties sizeOnly{{std::string(imageio::kPixelWidth), std::int64_t(10)}};
    EXPECT_TRUE(Converter::destinationOptions(OutputFormat::png, 0.9, sizeOnly).empty());
    EXPECT_EQ(Converter::destinationOptions(OutputFormat::jpg, 0.9, sizeOnly).size(), 1u);
    // The value passes unchanged, whatever its type.
    imageio::Properties text{{std::string(kOrientation), std::string("8")}};
    EXPECT_EQ(std::get<std::string>(Converter::destinationOptions(OutputFormat::png, 0.9, text).at(
                  std::string(kOrientation))),
              "8");
}

// --- Bad inputs -----------------------------------------------------------------

struct Snapshot {
    std::vector<std::string> entries;
    std::vector<std::uint8_t> bytes;
    struct timespec mtime{};
};

Snapshot snapshot(const TempDir& dir, const fs::path& source)
{
    Snapshot s{dir.entries(), {}, {}};
    struct stat info{};
    if (::lstat(source.c_str(), &info) == 0) {
        s.mtime = info.st_mtim;
        if (S_ISREG(info.st_mode) && ::access(source.c_str(), R_OK) == 0)
            s.bytes = readBytes(source);
    }
    return s;
}

void expectFailure(const TempDir& dir, const fs::path& source, std::string_view text,
                   const std::optional<fs::path>& outputDir = std::nullopt, OutputFormat format = OutputFormat::jpg)
{
    const Snapshot before = snapshot(dir, source);
    ConversionResult result = Converter::convert(source, format, 0.9, outputDir);
    EXPECT_FALSE(result.ok()) << source;
    EXPECT_EQ(result.error(), std::string(text)) << source;
    EXPECT_EQ(result.output(), std::nullopt);
    EXPECT_EQ(result.source(), source);
    const Snapshot after = snapshot(dir, source);
    EXPECT_EQ(after.entries, before.entries) << "something was left in the folder";
    EXPECT_EQ(after.bytes, before.bytes) << "the input changed";
    EXPECT_EQ(after.mtime.tv_sec, before.mtime.tv_sec);
    EXPECT_EQ(after.mtime.tv_nsec, before.mtime.tv_nsec);
}

TEST(ConverterBadInput, FilesThatAreNotImages)
{
    TempDir dir;
    writeBytes(dir / "x.heic", std::vector<std::uint8_t>{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    expectFailure(dir, dir / "x.heic", kCouldNotReadImage);
    writeBytes(dir / "empty.heic", {});
    expectFailure(dir, dir / "empty.heic", kCouldNotReadImage);
    fs::create_directory(dir / "folder.heic");
    expectFailure(dir, dir / "folder.heic", kCouldNotReadImage);
    expectFailure(dir, dir / "missing.heic", kCouldNotReadImage);
    writeHeic(dir / "whole.heic", HeicImage(gradient(64, 64)));
    std::vector<std::uint8_t> bytes = readBytes(dir / "whole.heic");
    bytes.resize(bytes.size() / 3);
    writeBytes(dir / "truncated.heic", bytes);
    fs::remove(dir / "whole.heic");
    expectFailure(dir, dir / "truncated.heic", kCouldNotReadImage);
}

TEST(ConverterBadInput, UnreadableFile)
{
    if (permissionsAreIgnored())
        GTEST_SKIP() << "running as root, which reads files whatever their permissions";
    TempDir dir;
    writeSmallHeic(dir / "locked.heic");
    fs::permissions(dir / "locked.heic", fs::perms::none);
    expectFailure(dir, dir / "locked.heic", kCouldNotReadImage);
}

TEST(ConverterBadInput, BrokenPictureDataCreatesNoOutput)
{
    TempDir dir;
    HeicImage image(gradient(64, 64));
    image.lossless = false;
    writeHeic(dir / "broken.heic", image);
    std::vector<std::uint8_t> bytes = readBytes(dir / "broken.heic");
    const auto mdat = findBoxes(bytes, "mdat");
    ASSERT_FALSE(mdat.empty());
    for (std::size_t i = mdat[0] + 12; i < bytes.size(); ++i)
        bytes[i] = 0xFF;
    writeBytes(dir / "broken.heic", bytes);
    expectFailure(dir, dir / "broken.heic", kCouldNotReadImage);
    expectFailure(dir, dir / "broken.heic", kCouldNotReadImage, std::nullopt, OutputFormat::png);

    const fs::path samples = samplesDir();
    if (samples.empty())
        GTEST_SKIP() << "no ../shared/samples folder for bad_hevc_decode_error_64x64.heic";
    TempDir out;
    const Snapshot before = snapshot(out, samples / "bad_hevc_decode_error_64x64.heic");
    ConversionResult result =
        Converter::convert(samples / "bad_hevc_decode_error_64x64.heic", OutputFormat::jpg, 0.9, out.path());
    EXPECT_EQ(result.error(), std::string(kCouldNotReadImage));
    EXPECT_TRUE(out.entries().empty());
}

TEST(ConverterBadInput, OutputFolderMissingOrAFile)
{
    TempDir dir;
    writeSmallHeic(dir / "IMG.heic");
    expectFailure(dir, dir / "IMG.heic", kCouldNotCreateOutput, dir / "missing");
    writeBytes(dir / "plain", {1});
    expectFailure(dir, dir / "IMG.heic", kCouldNotCreateOutput, dir / "plain");
    EXPECT_EQ(readBytes(dir / "plain"), std::vector<std::uint8_t>{1});
}

TEST(ConverterBadInput, ReadOnlyOutputFolder)
{
    if (permissionsAreIgnored())
        GTEST_SKIP() << "running as root, which writes into read-only folders";
    TempDir dir;
    writeSmallHeic(dir / "IMG.heic");
    fs::create_directory(dir / "locked");
    fs::permissions(dir / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    expectFailure(dir, dir / "IMG.heic", kCouldNotCreateOutput, dir / "locked");
    EXPECT_TRUE(fs::is_empty(dir / "locked"));
}

}  // namespace
}  // namespace pictavo
