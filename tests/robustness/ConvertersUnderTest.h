#pragma once

// The two ways the application converts a file, so that every fault test runs
// against both: in this process, and in the worker process.

#include "core/Converter.h"
#include "core/IsolatedConverter.h"

#include "fixtures/HeifFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pictavo::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline ConversionResult convertInTestWorker(const fs::path& source, OutputFormat to, double quality,
                                            const std::optional<fs::path>& outputDir)
{
    return IsolatedConverter::convertInWorker(PICTAVO_TEST_WORKER, 60s, source, to, quality, outputDir);
}

struct ConverterUnderTest {
    std::string name;
    decltype(&Converter::convert) convert;
};

inline const ConverterUnderTest kInProcess{"InProcess", &Converter::convert};
inline const ConverterUnderTest kInWorker{"InWorker", &convertInTestWorker};

inline std::string converterName(const testing::TestParamInfo<ConverterUnderTest>& info)
{
    return info.param.name;
}

class BothConverters : public testing::TestWithParam<ConverterUnderTest> {
protected:
    ConversionResult convert(const fs::path& source, OutputFormat to,
                             const std::optional<fs::path>& outputDir = std::nullopt) const
    {
        return GetParam().convert(source, to, 0.9, outputDir);
    }

    // Each conversion fails quickly with `message`, names no output, leaves
    // `folder` as it was and the source's bytes unchanged.
    void expectFailure(const fs::path& source, std::string_view message, const fs::path& folder,
                       const std::optional<fs::path>& outputDir = std::nullopt,
                       const std::vector<OutputFormat>& formats = {OutputFormat::jpg, OutputFormat::png}) const
    {
        // None when it cannot be read.
        auto bytes = [&] { return fs::is_directory(source) ? std::vector<std::uint8_t>{} : fixtures::readBytes(source); };
        const std::vector<std::string> entries = fixtures::entriesOf(folder);
        const std::vector<std::uint8_t> before = bytes();
        for (OutputFormat format : formats) {
            const auto start = std::chrono::steady_clock::now();
            const ConversionResult result = convert(source, format, outputDir);
            EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << source;
            EXPECT_EQ(result.error(), std::string(message)) << source;
            EXPECT_EQ(result.output(), std::nullopt) << source;
        }
        EXPECT_EQ(fixtures::entriesOf(folder), entries) << "something was left in " << folder;
        EXPECT_EQ(bytes(), before) << "the input changed";
    }
};

}  // namespace pictavo::test
