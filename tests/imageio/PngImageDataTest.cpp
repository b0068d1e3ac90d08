#include "imageio/PngImageData.h"

#include "SyntheticImage.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <optional>
#include <random>
#include <string>

namespace pictavo::imageio {
namespace {

std::uint32_t bigEndian(const std::uint8_t* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// The IDAT contents joined, after checking that the bytes are IDAT chunks then
// one IEND, each with a correct CRC; nullopt otherwise.
std::optional<std::vector<std::uint8_t>> joinedImageData(const std::vector<std::uint8_t>& bytes)
{
    std::vector<std::uint8_t> joined;
    std::size_t at = 0;
    while (at + 12 <= bytes.size()) {
        const std::uint32_t size = bigEndian(&bytes[at]);
        if (at + 12 + size > bytes.size())
            return std::nullopt;
        const std::string type(bytes.begin() + at + 4, bytes.begin() + at + 8);
        const uLong crc = crc32(0, &bytes[at + 4], size + 4);
        if (crc != bigEndian(&bytes[at + 8 + size]))
            return std::nullopt;
        if (type == "IEND")
            return size == 0 && at + 12 == bytes.size() ? std::optional(joined) : std::nullopt;
        if (type != "IDAT")
            return std::nullopt;
        joined.insert(joined.end(), &bytes[at + 8], &bytes[at + 8] + size);
        at += 12 + size;
    }
    return std::nullopt;
}

// Inflates one whole zlib stream (zlib checks the header and the Adler-32 checksum).
std::optional<std::vector<std::uint8_t>> inflateStream(const std::vector<std::uint8_t>& compressed)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return std::nullopt;
    std::vector<std::uint8_t> out;
    std::vector<std::uint8_t> buffer(1 << 16);
    stream.next_in = const_cast<std::uint8_t*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = buffer.data();
        stream.avail_out = static_cast<uInt>(buffer.size());
        result = inflate(&stream, Z_NO_FLUSH);
        out.insert(out.end(), buffer.data(), stream.next_out);
    }
    const bool whole = result == Z_STREAM_END && stream.avail_in == 0;
    inflateEnd(&stream);
    return whole ? std::optional(out) : std::nullopt;
}

// Undoes the Up filter and checks every row against the image as PNG stores
// it (16-bit samples big-endian).
void expectRowsOf(const DecodedImage& image, const std::vector<std::uint8_t>& filtered)
{
    const std::size_t bytes = image.bitsPerSample / 8;
    const std::size_t rowBytes = image.width * image.channels * bytes;
    ASSERT_EQ(filtered.size(), (rowBytes + 1) * image.height);
    std::vector<std::uint8_t> previous(rowBytes, 0);
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* stored = filtered.data() + y * (rowBytes + 1);
        ASSERT_EQ(stored[0], 2) << "row " << y;
        for (std::size_t i = 0; i < rowBytes; ++i) {
            previous[i] = static_cast<std::uint8_t>(previous[i] + stored[1 + i]);
            const std::size_t sourceIndex = bytes == 2 ? (i ^ 1) : i;
            ASSERT_EQ(previous[i], image.row(y)[sourceIndex]) << "row " << y << " byte " << i;
        }
    }
}

void expectRoundTrip(const DecodedImage& image, int level, unsigned threads)
{
    test::MemorySink out;
    ASSERT_TRUE(writePngImageData(image, level, threads, out.sink()));
    const auto joined = joinedImageData(out.bytes);
    ASSERT_TRUE(joined.has_value()) << "not IDAT chunks then IEND with good CRCs";
    const auto filtered = inflateStream(*joined);
    ASSERT_TRUE(filtered.has_value()) << "not one valid zlib stream";
    expectRowsOf(image, *filtered);
}

TEST(PngImageData, RowsComeBackExactlyWhateverTheBandsAndThreads)
{
    std::mt19937 random(7);
    // Several megabytes, so the rows are cut into bands of unequal length;
    // noise that does not compress, so each band's output outgrows its first buffer.
    const DecodedImage large8 = test::syntheticImage(1500, 1000, 3, 8, test::gradient);
    const DecodedImage noise16 = test::syntheticImage(1000, 700, 4, 16, [&](std::uint32_t, std::uint32_t, int) {
        return random() % 65536;
    });
    const DecodedImage oneRow = test::syntheticImage(5, 1, 1, 8, test::gradient);
    const DecodedImage greyAlpha16 = test::syntheticImage(9, 5, 2, 16, [](std::uint32_t x, std::uint32_t y, int c) {
        return (x * 7919 + y * 104729 + c * 31) % 65536;
    });
    for (unsigned threads : {1u, 2u, 5u}) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        expectRoundTrip(large8, 3, threads);
        expectRoundTrip(noise16, 1, threads);
        expectRoundTrip(oneRow, 9, threads);
        expectRoundTrip(greyAlpha16, 3, threads);
    }
}

TEST(PngImageData, FailsCleanlyOnAFailingSinkAndOnUnusableImages)
{
    const DecodedImage image = test::syntheticImage(1500, 1000, 3, 8, test::gradient);
    // Failing at each of the first writes, including while bands are still being deflated.
    for (int allowed = 0; allowed < 6; ++allowed) {
        int calls = 0;
        ByteSink failing = [&](const std::uint8_t*, std::size_t) { return calls++ < allowed; };
        EXPECT_FALSE(writePngImageData(image, 3, 2, failing)) << allowed;
    }
    ByteSink throwing = [](const std::uint8_t*, std::size_t) -> bool { throw std::runtime_error("disk"); };
    EXPECT_FALSE(writePngImageData(image, 3, 2, throwing));

    DecodedImage broken = test::syntheticImage(4, 4, 3, 8, test::gradient);
    broken.stride = 5;  // shorter than a row
    test::MemorySink out;
    EXPECT_FALSE(writePngImageData(broken, 3, 2, out.sink()));
    broken.data = nullptr;
    EXPECT_FALSE(writePngImageData(broken, 3, 2, out.sink()));
    EXPECT_TRUE(out.bytes.empty());
}

}  // namespace
}  // namespace pictavo::imageio
