// Faults of the input, of the disk and of the output folder, and the times an
// output gets, each in this process and through the worker; and another
// program taking an output's name before the output is published.

#include "LargeAllocationsFail.h"
#include "Noise.h"
#include "TimeScale.h"

#include "core/Converter.h"
#include "core/IsolatedConverter.h"
#include "imageio/ImageSource.h"

#include "fixtures/OutputReaders.h"
#include "fixtures/ScratchDisk.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

namespace pictavo::test {
namespace {

using namespace pictavo::fixtures;
using namespace std::chrono_literals;

ConversionResult convertInTestWorker(const fs::path& source, const ConversionOptions& options,
                                     const std::optional<fs::path>& outputDir)
{
    return IsolatedConverter::convertInWorker(PICTAVO_TEST_WORKER, 60s, source, options, outputDir);
}

class Converters : public testing::TestWithParam<decltype(&Converter::convert)> {
protected:
    ConversionResult convert(const fs::path& source, OutputFormat to,
                             const std::optional<fs::path>& outputDir = std::nullopt) const
    {
        return GetParam()(source, {.to = to}, outputDir);
    }

    // Each conversion fails quickly for the reason `kind`, names no output, leaves
    // `folder` as it was and the source's bytes unchanged.
    void expectFailure(const fs::path& source, FailureKind kind, const fs::path& folder,
                       const std::optional<fs::path>& outputDir = std::nullopt,
                       const std::vector<OutputFormat>& formats = {OutputFormat::jpg, OutputFormat::png}) const
    {
        // None when it cannot be read.
        auto bytes = [&] { return fs::is_directory(source) ? std::vector<std::uint8_t>{} : readBytes(source); };
        const std::vector<std::string> entries = entriesOf(folder);
        const std::vector<std::uint8_t> before = bytes();
        for (OutputFormat format : formats) {
            const auto start = std::chrono::steady_clock::now();
            const ConversionResult result = convert(source, format, outputDir);
            EXPECT_LT(std::chrono::steady_clock::now() - start, 1s * kTimeScale) << source;
            EXPECT_EQ(result.failureKind(), kind) << source;
            EXPECT_EQ(result.output(), std::nullopt) << source;
        }
        EXPECT_EQ(entriesOf(folder), entries) << "something was left in " << folder;
        EXPECT_EQ(bytes(), before) << "the input changed";
    }
};

// Sets the size every image spatial extent ('ispe') box of the file declares.
std::vector<std::uint8_t> withDeclaredSize(std::vector<std::uint8_t> bytes, std::uint32_t width, std::uint32_t height)
{
    for (std::size_t box : findBoxes(bytes, "ispe"))
        for (int i = 0; i < 8; ++i)
            bytes[box + 12 + i] = static_cast<std::uint8_t>((i < 4 ? width : height) >> (24 - 8 * (i % 4)));
    return bytes;
}

std::vector<std::uint8_t> spoiledFrom(std::vector<std::uint8_t> bytes, std::size_t at)
{
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end(), 0xFF);
    return bytes;
}

// Every file that cannot be read fails as such, quickly, with nothing written
// and the file untouched: in this process too, where the decoder runs unguarded.
TEST_P(Converters, FilesThatCannotBeReadFailWithNothingWritten)
{
    TempDir dir;
    HeicImage image(gradient(128, 128));
    image.lossless = false;
    writeHeic(dir / "lossy.heic", image);
    image.chroma = "420";
    image.nclx = Nclx{};
    image.gridColumns = image.gridRows = 2;
    writeHeic(dir / "tiled.heic", image);
    // Rows 120..135 of four rows of tiles: half a JPEG block from each of the
    // middle two, so a failed last band lacks fewer rows than the block's
    // padding. Only its last tile is spoiled: the first band is read before it fails.
    image.pixels = gradient(256, 256);
    image.gridColumns = image.gridRows = 4;
    image.cropWidth = 256;
    image.cropHeight = 16;
    writeHeic(dir / "thin.heic", image);
    image.pixels = gradient(256, 256, 3, 10);  // a camera's 10 bits: JPEG rows converted band by band
    writeHeic(dir / "deep.heic", image);
    const auto lossy = readBytes(dir / "lossy.heic"), tiled = readBytes(dir / "tiled.heic");
    const auto tileSpoiled = withTileSpoiled(readBytes(dir / "thin.heic"), 3, 2);
    writeBytes(dir / "hostile.heic", tileSpoiled);
    auto opened = imageio::ImageSource::open(dir / "hostile.heic");
    ASSERT_TRUE(opened);
    const auto decoded = (*opened)->decode(imageio::ImageSource::Purpose::jpegOutput);
    ASSERT_TRUE(decoded);
    ASSERT_TRUE((*decoded)->tiles) << "not decoded tile by tile";

    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> rows{
        {"not an image", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}},
        {"empty", {}},
        // Boxes that reach past the end, as in a truncated download; the
        // fuzzer's file made libheif 1.19 abort when it read the file itself.
        {"a third of a file", {lossy.begin(), lossy.begin() + lossy.size() / 3}},
        {"all of a file but its last byte", {lossy.begin(), lossy.end() - 1}},
        {"found by the fuzzer: parser assertion", readBytes(PICTAVO_ROBUSTNESS_INPUTS "/parser-assertion.heic")},
        // A container that opens around picture data that does not decode.
        {"picture data spoiled", spoiledFrom(lossy, findBoxes(lossy, "mdat").at(0) + 12)},
        {"the last tile spoiled, fewer rows shown than a block's padding", tileSpoiled},
        {"a 10-bit grid's last tile spoiled", withTileSpoiled(readBytes(dir / "deep.heic"), 3, 2)},
        {"every tile spoiled", spoiledFrom(tiled, findBoxes(tiled, "mdat").at(0) + 8)},
        // libheif 1.19 reports it when decoding the whole grid, but
        // dereferences null when asked for that tile alone.
        {"found by the fuzzer: a grid tile that is not an image",
         readBytes(PICTAVO_ROBUSTNESS_INPUTS "/grid-tile-not-an-image.heic")},
        // libheif 1.23 finds its gain map, read while the photo is; a table of
        // the photo's columns was as long as it claimed (16 GB).
        {"found by the fuzzer: a gain map beside a photo claiming two billion columns",
         readBytes(PICTAVO_ROBUSTNESS_INPUTS "/gain-map-of-a-photo-claiming-billions.heic")},
    };
    // A few hundred bytes that claim billions of pixels must not make the
    // converter allocate or decode them.
    for (const char* original : {"lossy.heic", "tiled.heic"}) {
        for (auto [width, height] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                 {100000, 100000}, {0xffffffff, 0xffffffff}, {1, 300000000}, {300000000, 1}, {0, 0}})
            rows.emplace_back(original + (" claiming " + std::to_string(width) + "x" + std::to_string(height)),
                              withDeclaredSize(readBytes(dir / original), width, height));
    }
    for (const auto& [what, bytes] : rows) {
        SCOPED_TRACE(what);
        writeBytes(dir / "hostile.heic", bytes);
        expectFailure(dir / "hostile.heic", FailureKind::unreadable, dir.path());
    }
    // Wider than a JPEG can be: the photo's failure, not the disk's.
    writeRepeatedTileHeic(dir / "wide.heic", 66000, 64, flat(8192, 64, 90, 120, 150));
    expectFailure(dir / "wide.heic", FailureKind::unreadable, dir.path(), std::nullopt, {OutputFormat::jpg});
    // Memory running out while the photo decodes (an allocation of a whole
    // grey and alpha image fails), where it can be made to.
    if (GetParam() == &Converter::convert) {
        writeHeic(dir / "grey-alpha.heic", HeicImage(gradient(1024, 1024, 2)));
        const LargeAllocationsFail noMemory(1536 * 1024);
        expectFailure(dir / "grey-alpha.heic", FailureKind::unreadable, dir.path());
    }
    fs::create_directory(dir / "folder.heic");
    expectFailure(dir / "folder.heic", FailureKind::unreadable, dir.path());
    expectFailure(dir / "missing.heic", FailureKind::unreadable, dir.path());
    if (!permissionsAreIgnored()) {
        fs::permissions(dir / "lossy.heic", fs::perms::none);
        expectFailure(dir / "lossy.heic", FailureKind::unreadable, dir.path());
    }
}

// The pixels are what the stream holds, whatever depth the header declares
// (found by the fuzzer: a header declaring 12-bit grey over an 8-bit stream).
TEST_P(Converters, GreyShallowerThanItsHeaderDeclaresConvertsAsDecoded)
{
    TempDir dir;
    fs::copy_file(PICTAVO_ROBUSTNESS_INPUTS "/grey-shallower-than-declared.heic", dir / "grey.heic");
    Raster expected;
    try {
        expected = heifReference(dir / "grey.heic");
    } catch (const std::runtime_error&) {  // where libheif refuses it: unreadable, nothing written
        return expectFailure(dir / "grey.heic", FailureKind::unreadable, dir.path());
    }

    const Raster png = readPng(convert(dir / "grey.heic", OutputFormat::png).output().value());
    ASSERT_EQ(std::tuple(png.channels, png.width, png.height), std::tuple(1, expected.width, expected.height));
    for (std::size_t i = 0; i < expected.samples.size(); ++i) {
        const int as8Bits = png.bitDepth == 16 ? (png.samples[i] + 128) / 257 : png.samples[i];
        ASSERT_EQ(as8Bits, expected.samples[i]) << "sample " << i;
    }
}

constexpr std::uint64_t kPage = 4096;
using Disk = ScratchDisk::Kind;

// False, with a message, where the test cannot have the disk.
bool mounted(const ScratchDisk& disk)
{
    if (!disk.notMounted().empty())
        std::cout << "[ SKIPPED  ] " << disk.notMounted() << "\n";
    return disk.notMounted().empty();
}

// Where there is room, every output gets the source's access and modification
// time (the photo's date stays on the file). On a full disk, with 0 bytes free,
// a few KiB, and all but the last few KiB of the output, the write fails at its
// first block, early, and at its very end. A FUSE disk with neither links nor an exclusive rename gets the
// finished file copied to its name, which fails with room for the file once but not twice.
TEST_P(Converters, OutputsKeepTheSourcesTimesAndAFullDiskAtAnyMomentOfTheWriteLeavesNothing)
{
    TempDir dir;
    writeHeic(dir / "photo.heic", HeicImage(noise(256, 256)));
    const std::vector<std::uint8_t> existing(5000, 0x42);
    const timespec times[2] = {{1546300800, 123456789}, {1557000000, 987654321}};  // access, modification (2019)

    for (OutputFormat format : allOutputFormats) {
        // Reading the source may move its access time on: set both again each time.
        ASSERT_EQ(::utimensat(AT_FDCWD, (dir / "photo.heic").c_str(), times, 0), 0);
        const fs::path written = convert(dir / "photo.heic", format).output().value();
        struct stat info{};
        ASSERT_EQ(::stat(written.c_str(), &info), 0);
        EXPECT_EQ(std::tuple(info.st_atim.tv_sec, info.st_atim.tv_nsec, info.st_mtim.tv_sec, info.st_mtim.tv_nsec),
                  std::tuple(1546300800, 123456789, 1557000000, 987654321)) << written;
        const std::uint64_t size = info.st_size;
        ASSERT_GT(size, 8 * kPage) << "the output must span many blocks";

        for (Disk kind : {Disk::tmpfs, Disk::fat, Disk::exfat}) {
            std::vector<std::uint64_t> frees{0, 2 * kPage, (size / kPage - 2) * kPage};
            if (kind != Disk::tmpfs)
                frees.push_back((size / kPage + 2) * kPage);
            for (std::uint64_t free : frees) {
                SCOPED_TRACE(ext(format) + " on " + nameOf(kind) + " with " + std::to_string(free) + " bytes free of " +
                             std::to_string(size));
                ScratchDisk disk(kind, dir / "disk", std::max<std::uint64_t>(4 * size + 64 * kPage, 8 << 20));
                if (!mounted(disk))
                    break;
                writeBytes(disk.path() / ("photo." + ext(format)), existing);
                writeBytes(disk.path() / "filler", std::vector<std::uint8_t>(disk.freeBytes() - free));
                ASSERT_EQ(disk.freeBytes(), free);

                // Room for the file once is enough where a FUSE disk renames it into place (exFAT on Debian 13),
                // not where the file is copied to its name: either it is written whole, or it fails.
                const std::optional<fs::path> renamed =
                    free > size ? convert(dir / "photo.heic", format, disk.path()).output() : std::nullopt;
                if (renamed) {
                    EXPECT_EQ(readBytes(*renamed), readBytes(written));
                } else {
                    expectFailure(dir / "photo.heic", FailureKind::writeFailed, disk.path(), disk.path(), {format});
                    // Not even an unnamed half file keeps its blocks.
                    EXPECT_EQ(disk.freeBytes(), free);
                }
                EXPECT_EQ(readBytes(disk.path() / ("photo." + ext(format))), existing);
            }
        }
    }
}

// After the first file the output folder is removed, replaced by a file, or
// made read-only (root ignores permission bits, so as root its file system
// goes read-only instead): the rest fail, the folder is not made again, and
// what was written stays.
TEST_P(Converters, AnOutputFolderLostBetweenFilesFailsTheRestAndKeepsWhatWasWritten)
{
    for (const std::string lost : {"removed", "a file", "read-only"}) {
        SCOPED_TRACE(lost);
        TempDir dir;
        writeHeic(dir / "photo.heic", HeicImage(quadrants(16, 16)));
        const fs::path out = dir / "out";
        std::optional<ScratchDisk> disk;
        if (lost == "read-only" && permissionsAreIgnored() && !mounted(disk.emplace(Disk::tmpfs, out, 1 << 20)))
            GTEST_SKIP() << "root, without a tmpfs to make read-only";
        if (!disk)
            fs::create_directory(out);

        ASSERT_TRUE(convert(dir / "photo.heic", OutputFormat::png, out).ok());
        const auto written = readBytes(out / "photo.png");
        if (lost == "read-only") {
            ASSERT_TRUE(disk ? disk->makeReadOnly() : ::chmod(out.c_str(), 0555) == 0);
        } else {
            fs::remove_all(out);
            if (lost == "a file")
                writeBytes(out, {1});
        }
        expectFailure(dir / "photo.heic", FailureKind::outputNotCreated, lost == "read-only" ? out : dir.path(), out);
        if (lost == "a file") {
            EXPECT_EQ(readBytes(out), std::vector<std::uint8_t>{1});
        } else if (lost == "read-only") {
            EXPECT_EQ(readBytes(out / "photo.png"), written);
            ::chmod(out.c_str(), 0755);  // so that the folder can be removed (on a read-only tmpfs, nothing to undo)
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Both, Converters, testing::Values(&Converter::convert, &convertInTestWorker),
                         [](const auto& info) { return std::string(info.index == 0 ? "InProcess" : "InWorker"); });

// Another program (a second window, say) takes the name picked for an output
// after the photo was converted and before the output is published: that file
// stays as its owner wrote it, and the output, whole, takes the next free name.
// On the local disk and on FUSE disks, where the output is named by copying.
// (A worker only converts: the naming and publishing are this process's, as here.)
TEST(NameTaken, AfterTheOutputsNameWasPickedItsFileStaysAndTheOutputTakesTheNextFreeName)
{
    TempDir dir;
    const TempDir alone;
    writeHeic(dir / "photo.heic", HeicImage(noise(96, 64)));
    const ConversionResult lone = Converter::convert(dir / "photo.heic", {.to = OutputFormat::jpg}, alone.path());
    const auto expected = readBytes(lone.output().value_or(""));
    const std::vector<std::uint8_t> theirs{'t', 'h', 'e', 'i', 'r', 's'};

    for (std::optional<Disk> kind : {std::optional<Disk>(), std::optional(Disk::fat), std::optional(Disk::exfat)}) {
        SCOPED_TRACE(kind ? nameOf(*kind) : "the local disk");
        std::optional<ScratchDisk> disk;
        if (kind && !mounted(disk.emplace(*kind, dir / "disk", 8 << 20)))
            continue;
        const fs::path out = disk ? disk->path() : dir / "out";
        fs::create_directories(out);
        const auto takingTheName = [&](imageio::UniqueFd photo, int output) {
            const auto failed = Converter::transcode(std::move(photo), output, {.to = OutputFormat::jpg});
            writeBytes(out / "photo.jpg", theirs);
            return failed;
        };
        EXPECT_EQ(Converter::convertWith(takingTheName, dir / "photo.heic", OutputFormat::jpg, out).output(),
                  out / "photo-1.jpg");
        EXPECT_EQ(entriesOf(out), (std::vector<std::string>{"photo-1.jpg", "photo.jpg"}));
        EXPECT_EQ(readBytes(out / "photo.jpg"), theirs);
        EXPECT_EQ(readBytes(out / "photo-1.jpg"), expected);
    }
}

}  // namespace
}  // namespace pictavo::test
