// Converter: output naming, and bad inputs failing with nothing left behind and the input untouched.

#include "core/Converter.h"
#include "fixtures/HeifFixtures.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <regex>

namespace pictavo {
namespace {

using namespace fixtures;

void writeSmallHeic(const fs::path& location)
{
    writeHeic(location, HeicImage(quadrants(32, 16)));
}

fs::path converted(const fs::path& source, OutputFormat format = OutputFormat::jpg,
                   const std::optional<fs::path>& outputDir = std::nullopt)
{
    return Converter::convert(source, format, 0.9, outputDir).output().value_or("failed");
}

TEST(ConverterNaming, OnlyTheExactCandidateFromTheStartOfTheSequenceCounts)
{
    TempDir dir;
    for (const char* other : {"IMG.png", "IMG.JPG", "IMG.jpg.tmp", "IMG", "IMG-3.jpg"})
        writeBytes(dir / other, {1});
    EXPECT_EQ(Converter::freeOutputLocation(dir.path(), "IMG", "jpg"), dir / "IMG.jpg");
    writeBytes(dir / "IMG.jpg", {1});
    EXPECT_EQ(Converter::freeOutputLocation(dir.path(), "IMG", "jpg"), dir / "IMG-1.jpg");
    fs::create_directory(dir / "IMG-1.jpg");  // a folder takes the name
    fs::create_symlink(dir / "nowhere" / "target.jpg", dir / "IMG-2.jpg");  // so does a dangling link
    EXPECT_EQ(Converter::freeOutputLocation(dir.path(), "IMG", "jpg"), dir / "IMG-4.jpg");
}

TEST(ConverterNaming, ConvertsNextToTheSourceWithFreshNames)
{
    TempDir dir;
    writeSmallHeic(dir / "IMG_0001.HEIC");
    ConversionResult first = Converter::convert(dir / "IMG_0001.HEIC", OutputFormat::jpg, 0.9, std::nullopt);
    ASSERT_TRUE(first.ok()) << *first.error();
    EXPECT_EQ(first.output(), dir / "IMG_0001.jpg");
    const std::vector<std::uint8_t> firstBytes = readBytes(dir / "IMG_0001.jpg");
    ConversionResult second = Converter::convert(dir / "IMG_0001.HEIC", OutputFormat::jpg, 0.9, std::nullopt);
    EXPECT_EQ(second.output(), dir / "IMG_0001-1.jpg");
    EXPECT_NE(first.id(), second.id());
    EXPECT_TRUE(std::regex_match(first.id().toString(),
                                 std::regex("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}")));
    EXPECT_EQ(converted(dir / "IMG_0001.HEIC"), dir / "IMG_0001-2.jpg");
    EXPECT_EQ(readBytes(dir / "IMG_0001.jpg"), firstBytes);  // untouched
    EXPECT_EQ(converted(dir / "IMG_0001.HEIC", OutputFormat::png), dir / "IMG_0001.png");
}

TEST(ConverterNaming, MultiDotUpperCaseOutputFolderAndOneBaseNameTwice)
{
    TempDir dir, a, b, out;
    writeSmallHeic(dir / "trip.2024.heic");
    writeSmallHeic(dir / "HOLIDAY.HEIF");
    EXPECT_EQ(converted(dir / "trip.2024.heic"), dir / "trip.2024.jpg");
    EXPECT_EQ(converted(dir / "HOLIDAY.HEIF", OutputFormat::png), dir / "HOLIDAY.png");
    writeSmallHeic(dir / "IMG_0001.heic");
    writeSmallHeic(dir / "IMG_0001.heif");
    EXPECT_EQ(converted(dir / "IMG_0001.heic"), dir / "IMG_0001.jpg");
    EXPECT_EQ(converted(dir / "IMG_0001.heif"), dir / "IMG_0001-1.jpg");
    // An output folder is used as given; what is next to the sources does not matter.
    writeSmallHeic(a / "IMG_0001.HEIC");
    writeSmallHeic(b / "IMG_0001.HEIC");
    writeBytes(a / "IMG_0001.jpg", {1});
    EXPECT_EQ(converted(a / "IMG_0001.HEIC", OutputFormat::jpg, out.path()), out / "IMG_0001.jpg");
    EXPECT_EQ(converted(b / "IMG_0001.HEIC", OutputFormat::jpg, out.path()), out / "IMG_0001-1.jpg");
}

void expectFailure(const TempDir& dir, const fs::path& source, std::string_view text,
                   const std::optional<fs::path>& outputDir = std::nullopt)
{
    auto bytes = [&] {
        return fs::is_regular_file(source) && ::access(source.c_str(), R_OK) == 0 ? readBytes(source)
                                                                                  : std::vector<std::uint8_t>{};
    };
    const std::vector<std::string> entries = dir.entries();
    const std::vector<std::uint8_t> before = bytes();
    for (OutputFormat format : {OutputFormat::jpg, OutputFormat::png}) {
        ConversionResult result = Converter::convert(source, format, 0.9, outputDir);
        EXPECT_EQ(result.error(), std::string(text)) << source;
        EXPECT_EQ(result.output(), std::nullopt);
    }
    EXPECT_EQ(dir.entries(), entries) << "something was left in the folder";
    EXPECT_EQ(bytes(), before) << "the input changed";
}

TEST(ConverterBadInput, FilesThatCannotBeRead)
{
    TempDir dir;
    writeBytes(dir / "x.heic", std::vector<std::uint8_t>{'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    writeBytes(dir / "empty.heic", {});
    fs::create_directory(dir / "folder.heic");
    HeicImage image(gradient(64, 64));
    image.lossless = false;
    writeHeic(dir / "whole.heic", image);
    std::vector<std::uint8_t> bytes = readBytes(dir / "whole.heic");
    writeBytes(dir / "truncated.heic", std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 3));
    // Broken picture data inside a container that opens: no output is created.
    const auto mdat = findBoxes(bytes, "mdat");
    ASSERT_FALSE(mdat.empty());
    std::fill(bytes.begin() + mdat[0] + 12, bytes.end(), 0xFF);
    writeBytes(dir / "broken.heic", bytes);
    fs::remove(dir / "whole.heic");
    for (const char* name : {"x.heic", "empty.heic", "folder.heic", "missing.heic", "truncated.heic", "broken.heic"})
        expectFailure(dir, dir / name, kCouldNotReadImage);
    if (!permissionsAreIgnored()) {
        writeSmallHeic(dir / "locked.heic");
        fs::permissions(dir / "locked.heic", fs::perms::none);
        expectFailure(dir, dir / "locked.heic", kCouldNotReadImage);
    }
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

}  // namespace
}  // namespace pictavo
