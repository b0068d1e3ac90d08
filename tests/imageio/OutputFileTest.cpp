#include "imageio/files/OutputFile.h"

#include "fixtures/HeifFixtures.h"

#include <gtest/gtest.h>

#include <fstream>

#include <unistd.h>

namespace pictavo::imageio {
namespace {

namespace fs = std::filesystem;
using Method = OutputFile::Method;

bool write(OutputFile& file, const std::string& text)
{
    return ::write(file.descriptor(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

class OutputFileTest : public ::testing::TestWithParam<Method> {};

// A file written in two parts, then published or dropped: what is at its name
// and in its folder afterwards. (A full disk and the times kept: the robustness tests.)
TEST_P(OutputFileTest, AppearsCompleteUnderItsNameOnlyWhenPublishedAndNeverReplacesAnything)
{
    const FileTimes refused{{0, 2'000'000'000}, {0, 2'000'000'000}};  // futimens refuses: EINVAL
    struct Row {
        const char* scenario;
        void (*meanwhile)(const fs::path&);  // done at the name before publishing, if any
        std::optional<FileTimes> times;
        bool publish;                    // false: dropped unpublished
        std::optional<Failure> failure;  // of publish()
        fs::file_type atName;
        std::string content;
    };
    const Row rows[] = {
        {"published", nullptr, std::nullopt, true, std::nullopt, fs::file_type::regular, "first part, second part"},
        {"times that cannot be set do not stop it", nullptr, refused, true, std::nullopt, fs::file_type::regular,
         "first part, second part"},
        {"a name taken meanwhile is never replaced",
         [](const fs::path& at) { std::ofstream(at) << "another program's file"; }, std::nullopt, true,
         Failure::outputNotCreated, fs::file_type::regular, "another program's file"},
        {"a dangling link at the name is not written through",
         [](const fs::path& at) { fs::create_symlink(at.parent_path() / "target.jpg", at); }, std::nullopt, true,
         Failure::outputNotCreated, fs::file_type::symlink, ""},
        {"dropped unpublished, it leaves nothing", nullptr, std::nullopt, false, std::nullopt,
         fs::file_type::not_found, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.scenario);
        fixtures::TempDir dir;
        const fs::path location = dir / "photo.jpg";
        auto file = OutputFile::create(location, GetParam());
        ASSERT_TRUE(file);
        ASSERT_TRUE(write(*file, "first part, "));
        ASSERT_TRUE(write(*file, "second part"));
        for (const std::string& name : dir.entries())
            EXPECT_EQ(name[0], '.') << "only a hidden temporary may exist before publishing: " << name;
        if (row.meanwhile)
            row.meanwhile(location);
        if (row.times)
            file->keepTimes(*row.times);
        EXPECT_EQ(row.publish ? file->publish() : std::nullopt, row.failure);
        file.reset();
        EXPECT_EQ(fs::symlink_status(location).type(), row.atName);
        const std::vector<std::uint8_t> content = fixtures::readBytes(location);
        EXPECT_EQ(std::string(content.begin(), content.end()), row.content);
        const bool named = row.atName != fs::file_type::not_found;
        EXPECT_EQ(dir.entries(), named ? std::vector<std::string>{"photo.jpg"} : std::vector<std::string>{});
    }
}

INSTANTIATE_TEST_SUITE_P(BothMethods, OutputFileTest, ::testing::Values(Method::automatic, Method::hiddenTemporary),
                         [](const auto& info) {
                             return info.param == Method::automatic ? "Automatic" : "HiddenTemporary";
                         });

}  // namespace
}  // namespace pictavo::imageio
