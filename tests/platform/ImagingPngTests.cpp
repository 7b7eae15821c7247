#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "TestSupport.h"
#include "platform/ImagingPng.h"

using namespace ImagingPng;

namespace {

std::vector<uint8_t> Noise(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = uint8_t(seed >> 24);
    }
    return bytes;
}

} // namespace

TEST(ImagingPng, EveryFilterUndoesItselfForEveryPixelSize)
{
    for (int bpp = 1; bpp <= 8; ++bpp)
        for (size_t length : {size_t(bpp), size_t(bpp) * 7, size_t(bpp) * 7 + 1, size_t(301)})
            for (uint8_t filter = 0; filter <= 4; ++filter) {
                SCOPED_TRACE(testing::Message() << "bpp " << bpp << " length " << length << " filter " << int(filter));
                const std::vector<uint8_t> prior = Noise(length, 1u + bpp), row = Noise(length, 100u + uint32_t(length));
                std::vector<uint8_t> filtered(length);
                FilterRow(TPngFilter(filter), row.data(), prior.data(), length, bpp, filtered.data());
                ASSERT_TRUE(UnfilterRow(filter, filtered.data(), prior.data(), length, bpp));
                ASSERT_EQ(filtered, row);
            }
    // An unknown filter type is refused and leaves the row alone.
    for (uint8_t filter : {uint8_t(5), uint8_t(255)}) {
        std::vector<uint8_t> row = Noise(9, 3);
        const std::vector<uint8_t> before = row;
        EXPECT_FALSE(UnfilterRow(filter, row.data(), Noise(9, 4).data(), 9, 3));
        EXPECT_EQ(row, before);
    }
}

TEST(ImagingPng, FilterChoiceBySumWithTiesToTheLowerType)
{
    // A row that steps down by one: "sub" (and "Paeth", which predicts the same here) gives bytes
    // of 255, smallest as signed values (-1) and largest as plain ones, where "average" wins.
    std::vector<uint8_t> row;
    for (int i = 0; i < 12; ++i)
        row.push_back(uint8_t(40 - i));
    const std::vector<uint8_t> prior(12, 0);
    std::vector<uint8_t> out(13);
    EXPECT_EQ(FilterRowBest(row.data(), prior.data(), 12, 1, TFilterChoice::SignedSum, out.data()), pfSub);
    EXPECT_EQ(out[0], pfSub);
    EXPECT_EQ(FilterRowBest(row.data(), prior.data(), 12, 1, TFilterChoice::PlainSum, out.data()), pfAverage);
    // A zero row against a zero prior: every filter sums to 0, so "none" wins.
    const std::vector<uint8_t> zeros(12, 0);
    EXPECT_EQ(FilterRowBest(zeros.data(), prior.data(), 12, 3, TFilterChoice::PlainSum, out.data()), pfNone);
}

TEST(ImagingPng, ChunksCarryTheirChecksum)
{
    std::vector<uint8_t> out;
    AppendChunk(out, "IEND", nullptr, 0);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}));
    const std::vector<uint8_t> header = HeaderData(300, 2, 8, ctRGBA);
    EXPECT_EQ(header, (std::vector<uint8_t>{0, 0, 1, 44, 0, 0, 0, 2, 8, 6, 0, 0, 0}));
}

TEST(ImagingPng, BandsJoinIntoOneStreamInOrder)
{
    // Rows with a mix of runs and noise; 1 MiB-sized bands make several of them.
    for (const auto& [rowCount, rowBytes] : {std::pair<int64_t, size_t>{1, 10}, {3, 50000}, {700, 4001}, {0, 16}}) {
        SCOPED_TRACE(testing::Message() << rowCount << " rows of " << rowBytes);
        std::vector<uint8_t> rows;
        for (int64_t r = 0; r < rowCount; ++r) {
            std::vector<uint8_t> row = r % 3 ? Noise(rowBytes, uint32_t(r)) : std::vector<uint8_t>(rowBytes, uint8_t(r));
            rows.insert(rows.end(), row.begin(), row.end());
        }
        std::vector<int64_t> asked;
        std::vector<uint8_t> stream;
        const TDeflateResult result = DeflateBands(
            rowCount, rowBytes, 6,
            [&](int64_t first, int32_t count, uint8_t* out) {
                std::copy_n(rows.begin() + first * int64_t(rowBytes), size_t(count) * rowBytes, out);
            },
            [&](int64_t needed) {
                asked.push_back(needed);
                return true;
            },
            [&](const uint8_t* data, size_t size) {
                stream.insert(stream.end(), data, data + size);
                return true;
            });
        ASSERT_EQ(result, TDeflateResult::Done);
        EXPECT_EQ(InflateZlib(stream), rows);
        EXPECT_TRUE(std::is_sorted(asked.begin(), asked.end()));
        EXPECT_EQ(asked.back(), rowCount);
        EXPECT_EQ((0x78 * 256 + stream[1]) % 31, 0) << "a valid zlib header";
    }
}

TEST(ImagingPng, BandsStopWhenTheRowsOrTheSinkGiveUp)
{
    const std::vector<uint8_t> rows = Noise(400 * 8000, 5);
    const auto fill = [&](int64_t first, int32_t count, uint8_t* out) {
        std::copy_n(rows.begin() + first * 8000, size_t(count) * 8000, out);
    };
    EXPECT_EQ(DeflateBands(400, 8000, 6, fill, [](int64_t needed) { return needed < 300; },
                           [](const uint8_t*, size_t) { return true; }),
              TDeflateResult::Stopped);
    size_t written = 0;
    EXPECT_EQ(DeflateBands(400, 8000, 6, fill, [](int64_t) { return true; },
                           [&](const uint8_t*, size_t size) {
                               written += size;
                               return written < 100000;
                           }),
              TDeflateResult::Stopped);
}
