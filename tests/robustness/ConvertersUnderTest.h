#pragma once

// The two ways the application converts a file, so that every fault test runs
// against both: in this process, and in the worker process.

#include "core/Converter.h"
#include "core/IsolatedConverter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pictavo::test {

using ConvertFunction = ConversionResult (*)(const std::filesystem::path&, OutputFormat, double,
                                             const std::optional<std::filesystem::path>&);

inline ConversionResult convertInTestWorker(const std::filesystem::path& source, OutputFormat to, double quality,
                                            const std::optional<std::filesystem::path>& outputDir)
{
    using namespace std::chrono_literals;
    return IsolatedConverter::convertInWorker(PICTAVO_TEST_WORKER, 60s, source, to, quality, outputDir);
}

struct ConverterUnderTest {
    std::string name;
    ConvertFunction convert;
};

inline const ConverterUnderTest kInProcess{"InProcess", &Converter::convert};
inline const ConverterUnderTest kInWorker{"InWorker", &convertInTestWorker};

inline std::string converterName(const testing::TestParamInfo<ConverterUnderTest>& info)
{
    return info.param.name;
}

}  // namespace pictavo::test
