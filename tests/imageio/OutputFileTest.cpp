#include "imageio/ImageDestination.h"
#include "imageio/OutputFile.h"

#include "fixtures/HeifFixtures.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace pictavo::imageio {
namespace {

namespace fs = std::filesystem;
using Method = OutputFile::Method;
using fixtures::entriesOf;

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

bool write(OutputFile& file, const std::string& text)
{
    return file.write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

class OutputFileTest : public ::testing::TestWithParam<Method> {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "pictavo-output-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }
    void TearDown() override
    {
        if (mounted_)
            ::umount2(mount_.c_str(), MNT_DETACH);
        std::error_code ignored;
        fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(folder_, ignored);
    }
    std::unique_ptr<OutputFile> create(const fs::path& location) { return OutputFile::create(location, GetParam()); }

    fs::path folder_;
    fs::path mount_;
    bool mounted_ = false;
};

TEST_P(OutputFileTest, AppearsUnderItsNameOnlyWhenPublishedAndComplete)
{
    const fs::path location = folder_ / "photo.jpg";
    auto file = create(location);
    ASSERT_TRUE(file);
    ASSERT_TRUE(write(*file, "first part, "));
    ASSERT_TRUE(write(*file, "second part"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(location)));
    for (const std::string& name : entriesOf(folder_))
        EXPECT_EQ(name[0], '.') << "only a hidden temporary may exist before publishing: " << name;

    ASSERT_TRUE(file->publish());
    EXPECT_EQ(readAll(location), "first part, second part");
    EXPECT_EQ(entriesOf(folder_), std::vector<std::string>{"photo.jpg"});
    EXPECT_FALSE(write(*file, "more")) << "a published file takes no more data";
}

TEST_P(OutputFileTest, NameTakenMeanwhileIsNeverReplaced)
{
    const fs::path location = folder_ / "photo.png";
    auto file = create(location);
    ASSERT_TRUE(file);
    ASSERT_TRUE(write(*file, "new data"));
    writeText(location, "another program's file");

    EXPECT_FALSE(file->publish());
    EXPECT_EQ(file->error(), EEXIST);
    file.reset();
    EXPECT_EQ(readAll(location), "another program's file");
    EXPECT_EQ(entriesOf(folder_), std::vector<std::string>{"photo.png"});
}

TEST_P(OutputFileTest, DanglingSymbolicLinkAtTheNameIsNotWrittenThrough)
{
    const fs::path target = folder_ / "elsewhere" / "target.jpg";
    fs::create_directory(folder_ / "elsewhere");
    const fs::path location = folder_ / "photo.jpg";
    fs::create_symlink(target, location);
    auto file = create(location);
    ASSERT_TRUE(file);
    ASSERT_TRUE(write(*file, "data"));
    EXPECT_FALSE(file->publish());
    file.reset();
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_symlink(location));
    EXPECT_EQ(entriesOf(folder_), (std::vector<std::string>{"elsewhere", "photo.jpg"}));
}

TEST_P(OutputFileTest, DiscardedWithoutPublishingLeavesNothing)
{
    {
        auto file = create(folder_ / "photo.jpg");
        ASSERT_TRUE(file);
        ASSERT_TRUE(write(*file, std::string(100000, 'x')));
    }
    EXPECT_TRUE(entriesOf(folder_).empty());
}

TEST_P(OutputFileTest, KeptTimesComeWithTheNameAndTimesThatCannotBeSetDoNotStopIt)
{
    const FileTimes times{{1546300800, 123456789}, {1557000000, 987654321}};
    const FileTimes invalid{{0, 2'000'000'000}, {0, 2'000'000'000}};  // futimens refuses: EINVAL
    struct stat info{};
    for (const auto& [name, kept] : {std::pair("kept.jpg", times), std::pair("refused.jpg", invalid)}) {
        auto file = create(folder_ / name);
        ASSERT_TRUE(file);
        ASSERT_TRUE(write(*file, "data"));
        file->keepTimes(kept);
        ASSERT_TRUE(file->publish()) << name;
        if (name == std::string("kept.jpg")) {  // before reading it moves the access time on
            ASSERT_EQ(::stat((folder_ / name).c_str(), &info), 0);
        }
        EXPECT_EQ(readAll(folder_ / name), "data");
    }
    EXPECT_EQ(std::pair(info.st_mtim.tv_sec, info.st_mtim.tv_nsec),
              std::pair(times.modification.tv_sec, times.modification.tv_nsec));
    EXPECT_EQ(std::pair(info.st_atim.tv_sec, info.st_atim.tv_nsec), std::pair(times.access.tv_sec, times.access.tv_nsec));
    EXPECT_EQ(entriesOf(folder_), (std::vector<std::string>{"kept.jpg", "refused.jpg"}));
}

TEST_P(OutputFileTest, FullDiskFailsAndLeavesNothing)
{
    mount_ = folder_ / "small";
    fs::create_directory(mount_);
    if (::mount("pictavo-test", mount_.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a 1 MiB tmpfs (needs root): " << std::strerror(errno);
    mounted_ = true;

    auto file = create(mount_ / "photo.png");
    ASSERT_TRUE(file);
    bool written = true;
    for (int i = 0; i < 48 && written; ++i)  // 3 MiB into 1 MiB
        written = write(*file, std::string(65536, char('a' + i % 26)));
    EXPECT_FALSE(written);
    EXPECT_FALSE(file->publish()) << "a file whose writing failed is never named";
    EXPECT_EQ(file->error(), ENOSPC);
    file.reset();
    EXPECT_TRUE(entriesOf(mount_).empty());
}

INSTANTIATE_TEST_SUITE_P(BothMethods, OutputFileTest, ::testing::Values(Method::automatic, Method::hiddenTemporary),
                         [](const auto& info) {
                             return info.param == Method::automatic ? "Automatic" : "HiddenTemporary";
                         });

TEST(ImageDestination, FinalizingWithoutAnImageFailsLeavingNothingAndNoNameTaken)
{
    fixtures::TempDir dir;
    auto destination = ImageDestination::create(dir / "photo.png", "image/png", 1);
    ASSERT_TRUE(destination);
    EXPECT_FALSE(destination->finalize());
    EXPECT_FALSE(destination->locationTaken()) << "nothing else took the name: a write failure";
    EXPECT_TRUE(dir.entries().empty());
}

}  // namespace
}  // namespace pictavo::imageio
