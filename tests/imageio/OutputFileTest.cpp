#include "imageio/files/OutputFile.h"

#include "fixtures/HeifFixtures.h"
#include "fixtures/ScratchDisk.h"

#include <gtest/gtest.h>

#include <fstream>

#include <unistd.h>

namespace pictavo::imageio {
namespace {

namespace fs = std::filesystem;
using fixtures::ScratchDisk;
using Method = OutputFile::Method;

constexpr std::string_view kWritten = "what was written";

// Where the file is made: the local disk, by either method, or a FUSE disk
// that has neither O_TMPFILE, hard links nor an exclusive rename.
struct Place {
    const char* name;
    Method method;
    std::optional<ScratchDisk::Kind> disk;
};

class OutputFileTest : public ::testing::TestWithParam<Place> {};

// A file written, then published or dropped: what is in its
// folder afterwards, and what is where. (A full disk and the times kept: the
// robustness tests.)
TEST_P(OutputFileTest, AppearsCompleteUnderItsNameOnlyWhenPublishedAndNeverReplacesAnything)
{
    const FileTimes refused{{0, 2'000'000'000}, {0, 2'000'000'000}};  // futimens refuses: EINVAL
    // What is done at the name before publishing; false where the file system cannot have it.
    using Meanwhile = bool (*)(const fs::path&);
    const Meanwhile takeName = [](const fs::path& at) { return bool(std::ofstream(at) << "another program's file"); };
    const Meanwhile linkNowhere = [](const fs::path& at) {
        std::error_code error;
        fs::create_symlink(at.parent_path() / "target.jpg", at, error);
        return !error;
    };
    struct Row {
        const char* scenario;
        Meanwhile meanwhile;
        std::optional<FileTimes> times;
        bool publish;      // false: dropped unpublished
        const char* next;  // the name offered when the name is taken, if any
        std::optional<Failure> failure;  // of publish()
        std::vector<std::string> entries;
        const char* written;  // the entry that holds what was written, if any
    };
    const Row rows[] = {
        {"published", nullptr, std::nullopt, true, nullptr, std::nullopt, {"photo.jpg"}, "photo.jpg"},
        {"times that cannot be set do not stop it", nullptr, refused, true, nullptr, std::nullopt, {"photo.jpg"},
         "photo.jpg"},
        {"a name taken meanwhile is never replaced", takeName, std::nullopt, true, nullptr, Failure::outputNotCreated,
         {"photo.jpg"}, nullptr},
        {"a name taken meanwhile: the file takes the next", takeName, std::nullopt, true, "photo-1.jpg", std::nullopt,
         {"photo-1.jpg", "photo.jpg"}, "photo-1.jpg"},
        {"no free name to be had ends the tries", takeName, std::nullopt, true, "photo.jpg", Failure::outputNotCreated,
         {"photo.jpg"}, nullptr},
        {"a dangling link at the name is not written through", linkNowhere, std::nullopt, true, nullptr,
         Failure::outputNotCreated, {"photo.jpg"}, nullptr},
        {"dropped unpublished, it leaves nothing", nullptr, std::nullopt, false, nullptr, std::nullopt, {}, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.scenario);
        fixtures::TempDir dir;
        std::optional<ScratchDisk> disk;
        if (GetParam().disk) {
            disk.emplace(*GetParam().disk, dir / "disk", 8 << 20);
            if (!disk->notMounted().empty())
                GTEST_SKIP() << disk->notMounted();
        }
        const fs::path folder = disk ? disk->path() : dir.path();
        const fs::path location = folder / "photo.jpg";
        auto file = OutputFile::create(location, GetParam().method);
        ASSERT_TRUE(file);
        ASSERT_EQ(::write(file->descriptor(), kWritten.data(), kWritten.size()), ssize_t(kWritten.size()));
        for (const std::string& name : fixtures::entriesOf(folder))
            EXPECT_EQ(name[0], '.') << "only a hidden temporary may exist before publishing: " << name;
        if (row.meanwhile && !row.meanwhile(location)) {
            std::cout << "[ SKIPPED  ] " << row.scenario << ": not on " << GetParam().name << "\n";
            continue;
        }
        const auto before = std::pair(fs::symlink_status(location).type(), fixtures::readBytes(location));
        if (row.times)
            file->keepTimes(*row.times);
        if (row.publish) {
            EXPECT_EQ(file->publish(row.next ? [&] { return folder / row.next; } : OutputFile::NextName()),
                      row.failure);
        }
        file.reset();
        EXPECT_EQ(fixtures::entriesOf(folder), row.entries);
        if (row.meanwhile) {
            EXPECT_EQ(std::pair(fs::symlink_status(location).type(), fixtures::readBytes(location)), before);
        }
        if (row.written) {
            const std::vector<std::uint8_t> content = fixtures::readBytes(folder / row.written);
            EXPECT_EQ(std::string(content.begin(), content.end()), kWritten);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Places, OutputFileTest,
                         ::testing::Values(Place{"Automatic", Method::automatic, std::nullopt},
                                           Place{"HiddenTemporary", Method::hiddenTemporary, std::nullopt},
                                           Place{"Fat", Method::automatic, ScratchDisk::Kind::fat},
                                           Place{"Exfat", Method::automatic, ScratchDisk::Kind::exfat}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pictavo::imageio
