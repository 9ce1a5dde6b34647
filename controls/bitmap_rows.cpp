#include "controls/bitmap_rows.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

// Offsets inside the info header.
constexpr std::size_t kWidth = 4;
constexpr std::size_t kHeight = 8;
constexpr std::size_t kBitCount = 14;
constexpr std::size_t kCompression = 16;
constexpr std::size_t kSizeImage = 20;
constexpr std::size_t kClrUsed = 32;
constexpr std::size_t kRedMask = 40;
constexpr std::size_t kGreenMask = 44;
constexpr std::size_t kBlueMask = 48;
constexpr std::size_t kCsType = 56;
constexpr std::size_t kProfileData = 112;
constexpr std::size_t kProfileSize = 116;

constexpr std::uint32_t kCsSrgb = 0x73524742;      // 'sRGB'
constexpr std::uint32_t kCsLinked = 0x4C494E4B;    // 'LINK'
constexpr std::uint32_t kCsEmbedded = 0x4D424544;  // 'MBED'

std::uint32_t Read32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::uint16_t Read16(const unsigned char* p) { return std::uint16_t(p[0] | p[1] << 8); }

void Write32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Bytes per row, rows being padded to whole 32-bit words.
std::uint64_t Stride(std::uint64_t width, unsigned bits) { return (width * bits + 31) / 32 * 4; }

bool KnownHeaderSize(std::uint32_t size) {
    // BITMAPINFOHEADER, its two Adobe extensions with masks, BITMAPV4HEADER and BITMAPV5HEADER.
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// The header fields that decide the layout, each checked against the data.
struct Layout {
    std::size_t headerOffset;
    std::size_t bitsOffset;
    std::size_t infoSize;
    std::uint32_t width;
    std::uint32_t height;  // always positive: the number of rows
    bool topDown;
    unsigned bits;
    std::uint32_t compression;
};

bool ReadLayout(const unsigned char* data, std::size_t length, Layout* layout) {
    const bool file = length >= 2 && data[0] == 'B' && data[1] == 'M';
    const std::size_t h = file ? kFileHeaderSize : 0;
    if (length < h + 40) {
        return false;
    }
    const unsigned char* header = data + h;
    const std::uint32_t headerSize = Read32(header);
    if (!KnownHeaderSize(headerSize) || length - h < headerSize) {
        return false;
    }
    const auto width = static_cast<std::int32_t>(Read32(header + kWidth));
    const auto height = static_cast<std::int32_t>(Read32(header + kHeight));
    const unsigned bits = Read16(header + kBitCount);
    const std::uint32_t compression = Read32(header + kCompression);
    const std::uint32_t clrUsed = Read32(header + kClrUsed);

    if (width <= 0 || height == 0 || height == INT32_MIN) {
        return false;
    }
    const std::uint32_t rows = height < 0 ? std::uint32_t(-height) : std::uint32_t(height);
    if (std::uint64_t(width) * rows > kMaxBitmapPixels) {
        return false;
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
        return false;
    }
    // Run-length and embedded JPEG/PNG data have no row layout to check; they are refused.
    if (compression != kBiRgb && !(compression == kBiBitfields && bits >= 16)) {
        return false;
    }
    if (clrUsed > 256 || (bits <= 8 && clrUsed > (1u << bits))) {
        return false;
    }
    // What GDI reads behind the header: three masks after a 40-byte header with bit fields,
    // and the colour table (a full one when the count is 0 and the depth needs a palette).
    const std::size_t masks = (compression == kBiBitfields && headerSize == 40) ? 12 : 0;
    const std::size_t entries = (bits <= 8 && clrUsed == 0) ? (std::size_t(1) << bits) : clrUsed;
    const std::size_t infoNeeded = headerSize + masks + 4 * entries;

    std::size_t bitsOffset;
    if (file) {
        bitsOffset = Read32(data + 10);
        if (bitsOffset < h + infoNeeded || bitsOffset > length) {
            return false;
        }
    } else {
        bitsOffset = infoNeeded;
        if (bitsOffset > length) {
            return false;
        }
    }
    if (Stride(std::uint32_t(width), bits) * rows > length - bitsOffset) {
        return false;
    }
    *layout = Layout{h, bitsOffset, bitsOffset - h, std::uint32_t(width), rows, height < 0, bits, compression};
    return true;
}

// One channel of a bit-field pixel scaled to 0..255. A mask below 255 gives 0.
unsigned char Channel(std::uint32_t pixel, std::uint32_t mask) {
    if (mask < 255) {
        return 0;
    }
    const std::uint32_t value = (pixel & mask) / (mask / 255);
    return static_cast<unsigned char>(value > 255 ? 255 : value);
}

void ConvertRows(const unsigned char* data, const Layout& l, unsigned char* out) {
    const unsigned sourceBytes = l.bits / 8;
    const std::size_t sourceStride = Stride(l.width, l.bits);
    const std::size_t outStride = Stride(l.width, 24);
    const unsigned char* header = data + l.headerOffset;
    const bool bitfields = l.bits == 32 && l.compression == kBiBitfields;
    const std::uint32_t red = Read32(header + kRedMask);
    const std::uint32_t green = Read32(header + kGreenMask);
    const std::uint32_t blue = Read32(header + kBlueMask);

    for (std::size_t r = 0; r < l.height; ++r) {
        const std::size_t sourceRow = l.topDown ? l.height - 1 - r : r;
        const unsigned char* s = data + l.bitsOffset + sourceRow * sourceStride;
        unsigned char* d = out + r * outStride;
        for (std::size_t x = 0; x < l.width; ++x, s += sourceBytes, d += 3) {
            if (bitfields) {
                const std::uint32_t pixel = Read32(s);
                d[0] = Channel(pixel, blue);
                d[1] = Channel(pixel, green);
                d[2] = Channel(pixel, red);
            } else {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
            }
        }
    }
}

void CopyRows(const unsigned char* data, const Layout& l, unsigned char* out) {
    const std::size_t stride = Stride(l.width, l.bits);
    for (std::size_t r = 0; r < l.height; ++r) {
        const std::size_t sourceRow = l.topDown ? l.height - 1 - r : r;
        std::memcpy(out + r * stride, data + l.bitsOffset + sourceRow * stride, stride);
    }
}

// A colour profile linked or embedded behind the header would make GDI look outside the
// blocks handed to it; the picture is drawn as plain sRGB instead.
void DropColorProfile(unsigned char* header) {
    if (Read32(header) < 124) {
        return;
    }
    const std::uint32_t type = Read32(header + kCsType);
    if (type == kCsLinked || type == kCsEmbedded) {
        Write32(header + kCsType, kCsSrgb);
        Write32(header + kProfileData, 0);
        Write32(header + kProfileSize, 0);
    }
}

}  // namespace

bool ConvertBitmapRows(const unsigned char* data, std::size_t length, DibParts* parts) {
    Layout l{};
    if (data == nullptr || parts == nullptr || !ReadLayout(data, length, &l)) {
        return false;
    }
    const std::size_t copySize = l.bitsOffset + std::size_t(l.height) * l.width * 4;
    ByteBlock copy(static_cast<unsigned char*>(std::calloc(copySize, 1)));
    ByteBlock info(static_cast<unsigned char*>(std::calloc(l.infoSize, 1)));
    if (!copy || !info) {
        return false;
    }

    std::memcpy(copy.get(), data, l.bitsOffset);
    unsigned char* header = copy.get() + l.headerOffset;
    Write32(header + kHeight, l.height);
    Write32(header + kSizeImage, 0);
    DropColorProfile(header);
    if (l.bits == 24 || l.bits == 32) {
        header[kBitCount] = 24;
        header[kBitCount + 1] = 0;
        Write32(header + kCompression, kBiRgb);
        ConvertRows(data, l, copy.get() + l.bitsOffset);
    } else {
        // 16-bit bit fields keep their masks: the pixels are handed over as they are.
        CopyRows(data, l, copy.get() + l.bitsOffset);
    }
    std::memcpy(info.get(), header, l.infoSize);

    parts->copy = std::move(copy);
    parts->copySize = copySize;
    parts->headerOffset = l.headerOffset;
    parts->bitsOffset = l.bitsOffset;
    parts->info = std::move(info);
    parts->infoSize = l.infoSize;
    return true;
}
