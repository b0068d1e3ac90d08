// What the converters leave on disk when the disk or the folder lets them
// down, when another program races them for a name, and the times they give
// an output: in this process and through the worker.

#include "ConvertersUnderTest.h"
#include "Noise.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace pictavo::test {
namespace {

using namespace pictavo::fixtures;

constexpr std::uint64_t kPage = 4096;

// A small tmpfs mounted over a fresh folder for the life of the object, so a
// test can fill a disk or make it read-only. Needs root.
struct Tmpfs {
    fs::path path;
    std::string options;
    bool mounted = false;

    Tmpfs(const fs::path& folder, std::uint64_t bytes)
        : path(folder), options("size=" + std::to_string(bytes) + ",mode=0755")
    {
        fs::create_directories(path);
        mounted = ::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~Tmpfs()
    {
        if (mounted)
            ::umount2(path.c_str(), MNT_DETACH);
    }
    std::uint64_t freeBytes() const { return fs::space(path).available; }

    // Takes all but `bytes` of the free space, with a file `name`.
    bool fillLeaving(const std::string& name, std::uint64_t bytes) const
    {
        const int fd = ::open((path / name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        const bool filled = ::posix_fallocate(fd, 0, off_t(freeBytes() - bytes)) == 0;
        ::close(fd);
        return filled && freeBytes() <= bytes;
    }
    bool setReadOnly(bool readOnly) const
    {
        const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
        return ::mount("tmpfs", path.c_str(), "tmpfs", flags, options.c_str()) == 0;
    }
};

class DiskFaults : public BothConverters {};

// 0 bytes free, a few KiB, and all but the last few KiB of the output: the
// write fails at its first block, early, and at its very end.
TEST_P(DiskFaults, AFullDiskAtAnyMomentOfTheWriteFailsAndLeavesNothing)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    TempDir dir;
    writeHeic(dir / "photo.heic", HeicImage(noise(256, 256)));
    fs::create_directory(dir / "roomy");
    const std::vector<std::uint8_t> existing(5000, 0x42);

    for (OutputFormat format : allOutputFormats) {
        const ConversionResult sized = convert(dir / "photo.heic", format, dir / "roomy");
        ASSERT_TRUE(sized.ok());
        const std::uint64_t size = fs::file_size(*sized.output());
        ASSERT_GT(size, 8 * kPage) << "the output must span many blocks";

        for (std::uint64_t free : {std::uint64_t(0), 2 * kPage, (size / kPage - 2) * kPage}) {
            SCOPED_TRACE(ext(format) + " with " + std::to_string(free) + " bytes free of " + std::to_string(size));
            Tmpfs disk(dir / "disk", 4 * size + 64 * kPage);
            if (!disk.mounted)
                GTEST_SKIP() << "could not mount a tmpfs";
            writeBytes(disk.path / ("photo." + ext(format)), existing);
            ASSERT_TRUE(disk.fillLeaving("filler", free));
            const std::uint64_t freeBefore = disk.freeBytes();

            expectFailure(dir / "photo.heic", kWriteFailed, disk.path, disk.path, {format});
            EXPECT_EQ(readBytes(disk.path / ("photo." + ext(format))), existing);
            // Not even an unnamed half file keeps its blocks.
            EXPECT_EQ(disk.freeBytes(), freeBefore);
        }
    }
}

// After the first file the output folder is removed, replaced by a file, or
// made read-only (root ignores permission bits, so as root its file system
// goes read-only instead): the rest fail, the folder is not made again, and
// what was written stays.
TEST_P(DiskFaults, AnOutputFolderLostBetweenFilesFailsTheRestAndKeepsWhatWasWritten)
{
    for (const std::string lost : {"removed", "a file", "read-only"}) {
        SCOPED_TRACE(lost);
        TempDir dir;
        for (const char* name : {"a.heic", "b.heic", "c.heic"})
            writeHeic(dir / name, HeicImage(quadrants(16, 16)));
        const fs::path out = dir / "out";
        std::optional<Tmpfs> disk;
        if (lost == "read-only" && permissionsAreIgnored()) {
            disk.emplace(out, 1 << 20);
            if (!disk->mounted)
                GTEST_SKIP() << "root, and no tmpfs to make read-only";
        } else {
            fs::create_directory(out);
        }

        ASSERT_TRUE(convert(dir / "a.heic", OutputFormat::png, out).ok());
        const auto written = readBytes(out / "a.png");
        if (lost == "read-only") {
            ASSERT_TRUE(disk ? disk->setReadOnly(true) : ::chmod(out.c_str(), 0555) == 0);
        } else {
            fs::remove_all(out);
            if (lost == "a file")
                writeBytes(out, {1});
        }
        for (const char* name : {"b.heic", "c.heic"})
            expectFailure(dir / name, kCouldNotCreateOutput, lost == "read-only" ? out : dir.path(), out);
        if (lost == "a file") {
            EXPECT_EQ(readBytes(out), std::vector<std::uint8_t>{1});
        } else if (lost == "read-only") {
            EXPECT_EQ(readBytes(out / "a.png"), written);
            disk ? void(disk->setReadOnly(false)) : void(::chmod(out.c_str(), 0755));
        }
    }
}

class NameRace : public BothConverters {};

// Another program takes the chosen name after the converter has checked it is
// free and while it writes: that file must stay exactly as its owner wrote it.
TEST_P(NameRace, ANameTakenWhileTheOutputIsWrittenIsNeverReplaced)
{
    TempDir dir;
    const fs::path out = dir / "out";
    fs::create_directory(out);
    writeFlatGridHeic(dir / "photo.heic", 4096, 4096, 512, 90, 120, 150);
    const std::string theirs = "another program's file\n";

    std::atomic<bool> stop = false;
    std::atomic<bool> tookTheName = false;
    std::thread otherProgram([&] {
        while (!stop && !writerOfUnnamedFileIn(out))
            std::this_thread::yield();
        const int fd = stop ? -1 : ::open((out / "photo.png").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        tookTheName = fd >= 0 && ::write(fd, theirs.data(), theirs.size()) == ssize_t(theirs.size());
        ::close(fd);
    });
    const ConversionResult result = convert(dir / "photo.heic", OutputFormat::png, out);
    stop = true;
    otherProgram.join();

    ASSERT_TRUE(tookTheName) << "the other program did not get in while the output was written";
    EXPECT_EQ(result.error(), std::string(kCouldNotCreateOutput));
    EXPECT_FALSE(result.output());
    EXPECT_EQ(entriesOf(out), std::vector<std::string>{"photo.png"});
    const auto bytes = readBytes(out / "photo.png");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), theirs);
}

class FileTimes : public BothConverters {};

// The photo's date stays on the file: every output gets the source's access
// and modification time.
TEST_P(FileTimes, EveryOutputCarriesTheSourcesTimesToTheNanosecond)
{
    TempDir photos;
    TempDir chosen;
    const fs::path source = photos / "photo.heic";
    writeHeic(source, HeicImage(quadrants(16, 16)));
    const timespec times[2] = {{1546300800, 123456789}, {1557000000, 987654321}};  // access, modification (2019)
    // A folder given as "DIR/" is the same folder: the worker's report of a file written there is believed.
    for (const std::optional<fs::path>& outputDir :
         {std::optional<fs::path>(), std::optional(chosen.path()), std::optional(chosen.path() / "")}) {
        for (OutputFormat format : allOutputFormats) {
            // Reading the source may move its access time on: set both again each time.
            ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
            const ConversionResult result = convert(source, format, outputDir);
            ASSERT_TRUE(result.ok()) << *result.error();
            struct stat info{};
            ASSERT_EQ(::stat(result.output()->c_str(), &info), 0);
            EXPECT_EQ(std::pair(info.st_mtim.tv_sec, info.st_mtim.tv_nsec), std::pair(times[1].tv_sec, times[1].tv_nsec))
                << *result.output();
            EXPECT_EQ(std::pair(info.st_atim.tv_sec, info.st_atim.tv_nsec), std::pair(times[0].tv_sec, times[0].tv_nsec))
                << *result.output();
        }
    }
    EXPECT_EQ(photos.entries(), (std::vector<std::string>{"photo.heic", "photo.jpg", "photo.png"}));
    EXPECT_EQ(chosen.entries(), (std::vector<std::string>{"photo-1.jpg", "photo-1.png", "photo.jpg", "photo.png"}));
}

INSTANTIATE_TEST_SUITE_P(Both, DiskFaults, testing::Values(kInProcess, kInWorker), converterName);
INSTANTIATE_TEST_SUITE_P(Both, NameRace, testing::Values(kInProcess, kInWorker), converterName);
INSTANTIATE_TEST_SUITE_P(Both, FileTimes, testing::Values(kInProcess, kInWorker), converterName);

}  // namespace
}  // namespace pictavo::test
