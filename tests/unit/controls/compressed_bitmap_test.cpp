#include "controls/compressed_bitmap.h"

#include <gtest/gtest.h>

#include <cstring>

#include "controls/gzip_unpack.h"
#include "controls_test_support.h"
#include "platform/gdi.h"

namespace {

HMODULE Self() { return GetModuleHandleW(nullptr); }

std::uint32_t Get32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }

// The shipped resource as stored: its unpacked bitmap file.
std::vector<unsigned char> ShippedFile() {
    HRSRC found = FindResourceW(Self(), L"TALLOWBRISKBMP", L"BMPGZDATA");
    const void* bytes = LockResource(LoadResource(Self(), found));
    unsigned char* data = nullptr;
    std::size_t length = 0;
    if (found == nullptr || !UnpackResourceData(bytes, SizeofResource(Self(), found), &data, &length)) {
        return {};
    }
    std::vector<unsigned char> file(data, data + length);
    FreeUnpackedData(data);
    return file;
}

TEST(ShippedPicture, HasTheAgreedFormat) {
    const auto file = ShippedFile();
    ASSERT_EQ(file.size(), 142538u);
    const unsigned char* h = file.data() + 14;
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(Get32(file.data() + 10), 138u);
    EXPECT_EQ(Get32(h), 124u);
    EXPECT_EQ(Get32(h + 4), 178u);
    EXPECT_EQ(Get32(h + 8), 200u);  // positive: bottom-up
    EXPECT_EQ(h[14], 32);
    EXPECT_EQ(Get32(h + 16), 3u);  // BI_BITFIELDS
    EXPECT_EQ(Get32(h + 40), 0x00FF0000u);
    EXPECT_EQ(Get32(h + 44), 0x0000FF00u);
    EXPECT_EQ(Get32(h + 48), 0x000000FFu);
    EXPECT_EQ(Get32(h + 52), 0xFF000000u);
    int green = 0;
    for (std::size_t i = 138; i + 4 <= file.size(); i += 4) {
        green += file[i] == 0 && file[i + 1] == 255 && file[i + 2] == 0;
    }
    EXPECT_EQ(green, 0) << "pure green would be drawn transparent";

    // One gzip member with a stored file name.
    HRSRC found = FindResourceW(Self(), L"TALLOWBRISKBMP", L"BMPGZDATA");
    const auto* gz = static_cast<const unsigned char*>(LockResource(LoadResource(Self(), found)));
    EXPECT_EQ(std::memcmp(gz, "\x1F\x8B\x08", 3), 0);
    EXPECT_TRUE(gz[3] & 8);
}

TEST(ShippedPicture, LoadsWithItsStoredColours) {
    const auto file = ShippedFile();
    ASSERT_FALSE(file.empty());
    unique_bitmap bitmap(LoadCompressedBitmap(Self(), L"TALLOWBRISKBMP", L"BMPGZDATA"));
    ASSERT_TRUE(bitmap);
    Pixels p = ReadPixels(bitmap.get());
    ASSERT_EQ(p.width, 178);
    ASSERT_EQ(p.height, 200);
    int wrong = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 178; ++x) {
            const unsigned char* s = file.data() + 138 + (std::size_t(199 - y) * 178 + x) * 4;
            const std::uint32_t stored = std::uint32_t(s[2]) << 16 | s[1] << 8 | s[0];
            wrong += p.at(x, y) != stored;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST(ShippedIcon, HoldsThirteenImagesThatLoadAtEverySize) {
    HRSRC group = FindResourceW(Self(), MAKEINTRESOURCEW(130), RT_GROUP_ICON);
    ASSERT_NE(group, nullptr);
    const auto* dir = static_cast<const unsigned char*>(LockResource(LoadResource(Self(), group)));
    ASSERT_EQ(dir[4], 13);
    const int expected[13][2] = {{32, 4},  {16, 4},  {48, 8},  {32, 8},  {16, 8},  {256, 32}, {64, 32},
                                 {48, 32}, {40, 32}, {32, 32}, {24, 32}, {20, 32}, {16, 32}};
    for (int i = 0; i < 13; ++i) {
        const unsigned char* entry = dir + 6 + 14 * i;  // GRPICONDIRENTRY
        EXPECT_EQ(entry[0] == 0 ? 256 : entry[0], expected[i][0]) << i;
        EXPECT_EQ(entry[6], expected[i][1]) << i;
    }
    for (int size : {16, 20, 24, 32, 40, 48, 64, 256}) {
        HICON icon = static_cast<HICON>(LoadImageW(Self(), MAKEINTRESOURCEW(130), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour{};
        GetObjectW(info.hbmColor, sizeof(colour), &colour);
        EXPECT_EQ(colour.bmWidth, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

void ExpectPattern(const wchar_t* name, const wchar_t* type = L"BMPGZDATA") {
    SCOPED_TRACE(testing::Message() << "resource " << static_cast<const void*>(name));
    unique_bitmap bitmap(LoadCompressedBitmap(Self(), name, type));
    ASSERT_TRUE(bitmap);
    Pixels p = ReadPixels(bitmap.get());
    ASSERT_EQ(p.width, kPatternWidth);
    ASSERT_EQ(p.height, kPatternHeight);
    for (int y = 0; y < kPatternHeight; ++y) {
        for (int x = 0; x < kPatternWidth; ++x) {
            EXPECT_EQ(p.at(x, y), Pattern(x, y)) << x << "," << y;
        }
    }
}

TEST(LoadCompressedBitmap, GzipHeaderFlagsDoNotMatter) {
    for (const wchar_t* name : {L"FLAGS_NONE", L"FLAGS_ALL", L"FLAGS_EXTRA_NAME", L"FLAGS_COMMENT_HCRC"}) {
        ExpectPattern(name);
    }
}

TEST(LoadCompressedBitmap, PlainResourceLoadsLikeItsCompressedForm) { ExpectPattern(L"PLAIN"); }

TEST(LoadCompressedBitmap, RowOrderDepthAndAlphaDoNotChangeThePicture) {
    for (const wchar_t* name : {L"TOP_DOWN32", L"BOTTOM_UP24", L"TOP_DOWN24", L"RGB32_ZERO_ALPHA", L"PACKED_FIELDS"}) {
        ExpectPattern(name);
    }
}

TEST(LoadCompressedBitmap, NoBitmapForABadCrcOrAMissingResource) {
    EXPECT_EQ(LoadCompressedBitmap(Self(), L"BAD_CRC", L"BMPGZDATA"), nullptr);
    EXPECT_EQ(LoadCompressedBitmap(Self(), L"NO_SUCH_PICTURE", L"BMPGZDATA"), nullptr);
    EXPECT_EQ(LoadCompressedBitmap(Self(), L"FLAGS_NONE", RT_BITMAP), nullptr);
    EXPECT_EQ(LoadCompressedBitmap(Self(), L"KEYED", L"BMPGZDATA"), nullptr);
}

TEST(LoadCompressedBitmap, StandardBitmapResource) {
    unique_bitmap bitmap(LoadCompressedBitmap(Self(), L"KEYED", RT_BITMAP));
    ASSERT_TRUE(bitmap);
    Pixels p = ReadPixels(bitmap.get());
    ASSERT_EQ(p.width, 6);
    ASSERT_EQ(p.height, 2);
    EXPECT_EQ(p.at(0, 0), 0x00FF00u);
    EXPECT_EQ(p.at(1, 0), 0x01FF00u);
    EXPECT_EQ(p.at(4, 0), 0xC81E28u);
    EXPECT_EQ(p.at(1, 1), 0xC81E28u);
}

}  // namespace
