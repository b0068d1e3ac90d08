#include "core/ConversionResult.h"
#include "core/OutputFormat.h"

#include <gtest/gtest.h>

#include <set>

namespace pictavo {
namespace {

TEST(OutputFormat, HasTwoCasesJpgBeforePng)
{
    ASSERT_EQ(allOutputFormats.size(), 2u);
    EXPECT_EQ(allOutputFormats[0], OutputFormat::jpg);
    EXPECT_EQ(allOutputFormats[1], OutputFormat::png);
}

TEST(OutputFormat, MembersOfEachCase)
{
    EXPECT_EQ(rawValue(OutputFormat::jpg), "JPG");
    EXPECT_EQ(rawValue(OutputFormat::png), "PNG");
    EXPECT_EQ(id(OutputFormat::jpg), "JPG");
    EXPECT_EQ(id(OutputFormat::png), "PNG");
    EXPECT_EQ(ext(OutputFormat::jpg), "jpg");
    EXPECT_EQ(ext(OutputFormat::png), "png");
    EXPECT_EQ(utType(OutputFormat::jpg), "image/jpeg");
    EXPECT_EQ(utType(OutputFormat::png), "image/png");
}

TEST(OutputFormat, RawValueInverseIsExact)
{
    EXPECT_EQ(outputFormatFromRawValue("JPG"), OutputFormat::jpg);
    EXPECT_EQ(outputFormatFromRawValue("PNG"), OutputFormat::png);
    for (const char* text : {"jpg", "png", "Jpg", "JPEG", "", " JPG", "JPG ", "PNG\n", "GIF"})
        EXPECT_EQ(outputFormatFromRawValue(text), std::nullopt) << '"' << text << '"';
    for (OutputFormat format : allOutputFormats)
        EXPECT_EQ(outputFormatFromRawValue(rawValue(format)), format);
}

TEST(ConversionResult, OkIsDecidedByErrorAlone)
{
    EXPECT_TRUE(ConversionResult("/a.heic", std::nullopt, std::nullopt).ok());
    EXPECT_TRUE(ConversionResult("/a.heic", "/a.jpg", std::nullopt).ok());
    EXPECT_FALSE(ConversionResult("/a.heic", std::nullopt, "").ok());
    EXPECT_FALSE(ConversionResult("/a.heic", "/a.jpg", "Write failed").ok());
}

TEST(ConversionResult, KeepsFieldsAsPassed)
{
    ConversionResult result("/p/a.heic", "/q/a.jpg", std::nullopt);
    EXPECT_EQ(result.source(), "/p/a.heic");
    EXPECT_EQ(result.output(), std::filesystem::path("/q/a.jpg"));
    EXPECT_EQ(result.error(), std::nullopt);
    ConversionResult failure("/p/a.heic", std::nullopt, "Could not read image");
    EXPECT_EQ(failure.output(), std::nullopt);
    EXPECT_EQ(failure.error(), "Could not read image");
}

TEST(ConversionResult, EveryResultHasAFreshIdAndCopiesKeepIt)
{
    std::set<std::string> ids;
    for (int i = 0; i < 1000; ++i)
        ids.insert(ConversionResult("/a.heic", std::nullopt, std::nullopt).id().toString());
    EXPECT_EQ(ids.size(), 1000u);

    ConversionResult a("/a.heic", std::nullopt, std::nullopt);
    ConversionResult b("/a.heic", std::nullopt, std::nullopt);
    EXPECT_NE(a.id(), b.id());
    ConversionResult copy = a;
    EXPECT_EQ(copy.id(), a.id());

    const std::string text = a.id().toString();
    ASSERT_EQ(text.size(), 36u);
    EXPECT_EQ(text[14], '4');  // version 4
    EXPECT_NE(std::string("89ab").find(text[19]), std::string::npos);  // RFC 4122 variant
}

}  // namespace
}  // namespace pictavo
