#include "controls/bitmap_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}
std::uint32_t Get32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }

// An info header of `size` bytes (40, 52, 56, 108 or 124); masks are filled in for sizes above 40.
Bytes Header(std::uint32_t size, std::int32_t w, std::int32_t h, unsigned bits, std::uint32_t compression,
             std::uint32_t clrUsed = 0) {
    Bytes b(size, 0);
    Put32(b, 0, size);
    Put32(b, 4, static_cast<std::uint32_t>(w));
    Put32(b, 8, static_cast<std::uint32_t>(h));
    b[12] = 1;
    b[14] = static_cast<unsigned char>(bits);
    Put32(b, 16, compression);
    Put32(b, 32, clrUsed);
    if (size >= 52) {
        Put32(b, 40, 0x00FF0000);
        Put32(b, 44, 0x0000FF00);
        Put32(b, 48, 0x000000FF);
    }
    return b;
}

Bytes File(const Bytes& info, const Bytes& pixels) {
    Bytes b(14 + info.size() + pixels.size());
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(14 + info.size() + pixels.size()));
    Put32(b, 10, static_cast<std::uint32_t>(14 + info.size()));
    std::copy(info.begin(), info.end(), b.begin() + 14);
    std::copy(pixels.begin(), pixels.end(), b.begin() + 14 + info.size());
    return b;
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Rows of 32-bit pixels given top row first; stored bottom-up unless topDown.
Bytes Rows32(const std::vector<std::vector<std::uint32_t>>& rows, bool topDown) {
    Bytes out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (std::uint32_t px : rows[topDown ? i : rows.size() - 1 - i]) {
            for (int k = 0; k < 4; ++k) out.push_back(static_cast<unsigned char>(px >> (8 * k)));
        }
    }
    return out;
}

Bytes Rows24(const std::vector<std::vector<std::uint32_t>>& rows, bool topDown) {
    Bytes out;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::size_t n = 0;
        for (std::uint32_t px : rows[topDown ? i : rows.size() - 1 - i]) {
            for (int k = 0; k < 3; ++k, ++n) out.push_back(static_cast<unsigned char>(px >> (8 * k)));
        }
        for (; n % 4; ++n) out.push_back(0xEE);
    }
    return out;
}

const std::vector<std::vector<std::uint32_t>> kPicture = {
    {0xFF102030, 0x00405060, 0x80708090},
    {0x01A0B0C0, 0x7FD0E0F0, 0xFF000000},
};
// kPicture as bottom-up 24-bit rows, 12 bytes each (3 padding bytes of zero).
const Bytes kExpected24 = {0xC0, 0xB0, 0xA0, 0xF0, 0xE0, 0xD0, 0x00, 0x00, 0x00, 0, 0, 0,
                           0x30, 0x20, 0x10, 0x60, 0x50, 0x40, 0x90, 0x80, 0x70, 0, 0, 0};

struct Converted {
    DibParts parts;
    const unsigned char* header() const { return parts.copy.get() + parts.headerOffset; }
    Bytes rows(std::size_t n) const {
        return Bytes(parts.copy.get() + parts.bitsOffset, parts.copy.get() + parts.bitsOffset + n);
    }
    Bytes info() const { return Bytes(parts.info.get(), parts.info.get() + parts.infoSize); }
};

Converted Convert(const Bytes& data) {
    Converted c;
    EXPECT_TRUE(ConvertBitmapRows(data.data(), data.size(), &c.parts));
    return c;
}

TEST(ConvertBitmapRows, BitFields32BecomeBottomUp24BitRows) {
    const Bytes file = File(Header(124, 3, 2, 32, 3), Rows32(kPicture, false));
    Converted c = Convert(file);
    ASSERT_TRUE(c.parts.copy);
    EXPECT_EQ(c.parts.headerOffset, 14u);
    EXPECT_EQ(c.parts.bitsOffset, 138u);
    EXPECT_EQ(c.parts.copySize, 138u + 2 * 3 * 4);
    EXPECT_EQ(c.rows(24), kExpected24);
    // The copy's header describes the new rows; the info block is that header.
    EXPECT_EQ(Get32(c.header() + 8), 2u);
    EXPECT_EQ(c.header()[14], 24);
    EXPECT_EQ(Get32(c.header() + 16), 0u);  // BI_RGB
    EXPECT_EQ(Get32(c.header() + 20), 0u);
    EXPECT_EQ(c.info(), Bytes(c.header(), c.header() + 124));
    EXPECT_EQ(Bytes(c.parts.copy.get(), c.parts.copy.get() + 14), Bytes(file.begin(), file.begin() + 14));
}

TEST(ConvertBitmapRows, TopDownSourcesGiveTheSameRows) {
    for (bool topDown : {false, true}) {
        SCOPED_TRACE(topDown);
        const std::int32_t h = topDown ? -2 : 2;
        EXPECT_EQ(Convert(File(Header(124, 3, h, 32, 3), Rows32(kPicture, topDown))).rows(24), kExpected24);
        EXPECT_EQ(Convert(File(Header(40, 3, h, 24, 0), Rows24(kPicture, topDown))).rows(24), kExpected24);
        EXPECT_EQ(Convert(File(Header(40, 3, h, 32, 0), Rows32(kPicture, topDown))).rows(24), kExpected24);
        EXPECT_EQ(Get32(Convert(File(Header(40, 3, h, 24, 0), Rows24(kPicture, topDown))).header() + 8), 2u);
    }
}

TEST(ConvertBitmapRows, AlphaIsIgnored) {
    auto noAlpha = kPicture;
    for (auto& row : noAlpha)
        for (auto& px : row) px &= 0x00FFFFFF;
    EXPECT_EQ(Convert(File(Header(40, 3, 2, 32, 0), Rows32(noAlpha, false))).rows(24), kExpected24);
    EXPECT_EQ(Convert(File(Header(124, 3, 2, 32, 3), Rows32(noAlpha, false))).rows(24), kExpected24);
}

TEST(ConvertBitmapRows, BitFieldChannelsAreScaledByTheirMasks) {
    // 10 bits per channel (blue low), a 4-bit mask (below 255: gives 0) and a 9-bit mask whose
    // quotient would pass 255.
    Bytes info = Header(124, 2, 1, 32, 3);
    Put32(info, 40, 0x3FF00000);
    Put32(info, 44, 0x000FFC00);
    Put32(info, 48, 0x000003FF);
    const Bytes pixels = Rows32({{0x3FFFFFFF, (0x200u << 20) | (0x100u << 10) | 0x3FF}}, false);
    EXPECT_EQ(Convert(File(info, pixels)).rows(8), (Bytes{255, 255, 255, 255, 63, 127, 0, 0}));

    Put32(info, 40, 0x0000000F);
    Put32(info, 44, 0x000001F4);  // 500: (pixel & 500) / 1 can reach 500
    EXPECT_EQ(Convert(File(info, pixels)).rows(8), (Bytes{255, 255, 0, 255, 255, 0, 0, 0}));
}

TEST(ConvertBitmapRows, PackedBitmapWithMasksBehindA40ByteHeader) {
    Bytes info = Header(40, 3, 2, 32, 3);
    Bytes masks(12);
    Put32(masks, 0, 0x00FF0000);
    Put32(masks, 4, 0x0000FF00);
    Put32(masks, 8, 0x000000FF);
    Converted c = Convert(Cat(Cat(info, masks), Rows32(kPicture, false)));
    EXPECT_EQ(c.parts.headerOffset, 0u);
    EXPECT_EQ(c.parts.bitsOffset, 52u);
    EXPECT_EQ(c.parts.infoSize, 52u);
    EXPECT_EQ(c.rows(24), kExpected24);
}

TEST(ConvertBitmapRows, OtherDepthsAreCopiedBottomUpWithTheirTable) {
    // 8 bits, packed, no colour count: a full 256-entry table comes before the pixels.
    Bytes table(1024);
    for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<unsigned char>(i);
    const Bytes topDownRows = {1, 2, 3, 0, 4, 5, 6, 0};  // 3 pixels + padding, top row first
    Converted c = Convert(Cat(Cat(Header(40, 3, -2, 8, 0), table), topDownRows));
    EXPECT_EQ(c.parts.bitsOffset, 40u + 1024u);
    EXPECT_EQ(c.rows(8), (Bytes{4, 5, 6, 0, 1, 2, 3, 0}));
    EXPECT_EQ(c.header()[14], 8);
    EXPECT_EQ(Get32(c.header() + 8), 2u);
    EXPECT_EQ(c.info(), Cat(Bytes(c.header(), c.header() + 40), table));

    // 16-bit bit fields keep their masks and compression.
    Bytes info = Header(40, 2, 1, 16, 3);
    Bytes masks = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};  // 5-6-5
    Converted c16 = Convert(File(Cat(info, masks), Bytes{0x1F, 0x00, 0x00, 0xF8}));
    EXPECT_EQ(Get32(c16.header() + 16), 3u);
    EXPECT_EQ(c16.rows(4), (Bytes{0x1F, 0x00, 0x00, 0xF8}));
    EXPECT_EQ(c16.parts.infoSize, 52u);
}

TEST(ConvertBitmapRows, LinkedOrEmbeddedColourProfileIsDropped) {
    Bytes info = Header(124, 3, 2, 32, 3);
    Put32(info, 56, 0x4D424544);  // 'MBED'
    Put32(info, 112, 0x10000000);
    Put32(info, 116, 0x10000000);
    Converted c = Convert(File(info, Rows32(kPicture, false)));
    EXPECT_EQ(Get32(c.header() + 56), 0x73524742u);
    EXPECT_EQ(Get32(c.header() + 112), 0u);
    EXPECT_EQ(Get32(c.header() + 116), 0u);
}

// Each case damages one field of a valid 3 x 2 file (32 bits, version-5 header, 138 + 24 bytes).
TEST(ConvertBitmapRows, MalformedHeadersGiveNoBitmap) {
    const Bytes valid = File(Header(124, 3, 2, 32, 3), Rows32(kPicture, false));
    const std::vector<std::pair<const char*, std::function<void(Bytes&)>>> cases = {
        {"bfOffBits beyond the data", [](Bytes& b) { Put32(b, 10, static_cast<std::uint32_t>(b.size() + 1)); }},
        {"bfOffBits far beyond", [](Bytes& b) { Put32(b, 10, 0xFFFFFFF0); }},
        {"bfOffBits inside the header", [](Bytes& b) { Put32(b, 10, 100); }},
        {"bfOffBits before the header", [](Bytes& b) { Put32(b, 10, 4); }},
        {"pixels cut short", [](Bytes& b) { b.resize(b.size() - 1); }},
        {"biSize of a core header", [](Bytes& b) { Put32(b, 14, 12); }},
        {"biSize unknown", [](Bytes& b) { Put32(b, 14, 64); }},
        {"biSize huge", [](Bytes& b) { Put32(b, 14, 0xFFFFFFFF); }},
        {"width 0", [](Bytes& b) { Put32(b, 18, 0); }},
        {"width negative", [](Bytes& b) { Put32(b, 18, static_cast<std::uint32_t>(-3)); }},
        {"width too large for the data", [](Bytes& b) { Put32(b, 18, 4); }},
        {"height 0", [](Bytes& b) { Put32(b, 22, 0); }},
        {"height INT_MIN", [](Bytes& b) { Put32(b, 22, 0x80000000u); }},
        {"height too large for the data", [](Bytes& b) { Put32(b, 22, 3); }},
        {"pixel count over the limit",
         [](Bytes& b) {
             Put32(b, 18, 0x10000);
             Put32(b, 22, 0x101);
         }},
        {"pixel count wrapping",
         [](Bytes& b) {
             Put32(b, 18, 0x7FFFFFFF);
             Put32(b, 22, 0x7FFFFFFF);
         }},
        {"bit count 0", [](Bytes& b) { b[28] = 0; }},
        {"bit count 2", [](Bytes& b) { b[28] = 2; }},
        {"bit count 64", [](Bytes& b) { b[28] = 64; }},
        {"run-length compression", [](Bytes& b) { Put32(b, 30, 1); }},
        {"PNG compression", [](Bytes& b) { Put32(b, 30, 5); }},
        {"colour count huge", [](Bytes& b) { Put32(b, 46, 0x40000000); }},
    };
    for (const auto& [name, damage] : cases) {
        SCOPED_TRACE(name);
        Bytes b = valid;
        damage(b);
        DibParts parts;
        EXPECT_FALSE(ConvertBitmapRows(b.data(), b.size(), &parts));
        EXPECT_FALSE(parts.copy);
        EXPECT_FALSE(parts.info);
    }
    for (std::size_t n = 0; n < valid.size(); ++n) {
        DibParts parts;
        EXPECT_FALSE(ConvertBitmapRows(valid.data(), n, &parts)) << n;
    }
}

TEST(ConvertBitmapRows, PaletteDepthsNeedTheirTable) {
    // 4 bits with 20 colours claimed, and 8 bits whose table does not fit before the pixels.
    DibParts parts;
    Bytes overcounted = File(Cat(Header(40, 3, 1, 4, 0, 20), Bytes(80)), Bytes(4));
    EXPECT_FALSE(ConvertBitmapRows(overcounted.data(), overcounted.size(), &parts));
    Bytes small = File(Cat(Header(40, 3, 1, 8, 0), Bytes(16)), Bytes(4));
    EXPECT_FALSE(ConvertBitmapRows(small.data(), small.size(), &parts));
    // With the count set to the table that is there, it loads.
    Bytes counted = File(Cat(Header(40, 3, 1, 8, 0, 4), Bytes(16)), Bytes(4));
    EXPECT_TRUE(ConvertBitmapRows(counted.data(), counted.size(), &parts));
    EXPECT_EQ(parts.infoSize, 56u);
}

}  // namespace
