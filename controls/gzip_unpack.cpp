#include "controls/gzip_unpack.h"

#include <zlib.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned char kFlagHeaderCrc = 2;
constexpr unsigned char kFlagExtra = 4;
constexpr unsigned char kFlagName = 8;
constexpr unsigned char kFlagComment = 16;

constexpr std::size_t kFixedHeaderSize = 10;  // ID1 ID2 CM FLG MTIME(4) XFL OS
constexpr std::size_t kTrailerSize = 8;       // CRC32 ISIZE

std::uint32_t ReadLe32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

bool IsGzip(const unsigned char* p, std::size_t size) {
    return size >= 3 && p[0] == 0x1F && p[1] == 0x8B && p[2] == 0x08;
}

// Steps over a zero-terminated field starting at `pos`; false when no terminator comes before `end`.
bool SkipZeroTerminated(const unsigned char* p, std::size_t end, std::size_t* pos) {
    const void* zero = std::memchr(p + *pos, 0, end - *pos);
    if (zero == nullptr) {
        return false;
    }
    *pos = std::size_t(static_cast<const unsigned char*>(zero) - p) + 1;
    return true;
}

// Walks the optional header fields. `end` is where the trailer starts: every field, and the
// deflate data after them, must lie before it. Gives the offset of the first deflate byte.
bool FindDeflateStart(const unsigned char* p, std::size_t end, std::size_t* start) {
    if (end < kFixedHeaderSize) {
        return false;
    }
    const unsigned char flags = p[3];
    std::size_t pos = kFixedHeaderSize;
    if (flags & kFlagExtra) {
        if (end - pos < 2) {
            return false;
        }
        const std::size_t extraLength = std::size_t(p[pos]) | std::size_t(p[pos + 1]) << 8;
        pos += 2;
        if (end - pos < extraLength) {
            return false;
        }
        pos += extraLength;
    }
    if ((flags & kFlagName) && !SkipZeroTerminated(p, end, &pos)) {
        return false;
    }
    if ((flags & kFlagComment) && !SkipZeroTerminated(p, end, &pos)) {
        return false;
    }
    if (flags & kFlagHeaderCrc) {
        if (end - pos < 2) {
            return false;
        }
        pos += 2;
    }
    *start = pos;
    return true;
}

bool UnpackPlain(const unsigned char* p, std::size_t size, unsigned char** data, std::size_t* length) {
    if (size > kMaxUnpackedSize) {
        return false;
    }
    auto* block = static_cast<unsigned char*>(std::calloc(size + 16, 1));
    if (block == nullptr) {
        return false;
    }
    if (size != 0) {
        std::memcpy(block, p, size);
    }
    *data = block;
    *length = size;
    return true;
}

bool UnpackGzip(const unsigned char* p, std::size_t size, unsigned char** data, std::size_t* length) {
    if (size < kFixedHeaderSize + kTrailerSize) {
        return false;
    }
    const std::size_t trailer = size - kTrailerSize;
    const std::uint32_t expectedCrc = ReadLe32(p + trailer);
    const std::uint32_t unpackedSize = ReadLe32(p + trailer + 4);
    std::size_t start = 0;
    if (!FindDeflateStart(p, trailer, &start) || unpackedSize > kMaxUnpackedSize) {
        return false;
    }
    // The deflate input runs up to ISIZE, so the trailer's CRC is fed to zlib too; a complete
    // stream stops before it. The output gets 16 bytes of slack beyond ISIZE.
    const std::size_t inputSize = size - 4 - start;
    if (inputSize > UINT_MAX) {
        return false;
    }
    auto* block = static_cast<unsigned char*>(std::calloc(std::size_t(unpackedSize) + 32, 1));
    if (block == nullptr) {
        return false;
    }

    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
        std::free(block);
        return false;
    }
    stream.next_in = const_cast<Bytef*>(p + start);
    stream.avail_in = static_cast<uInt>(inputSize);
    stream.next_out = block;
    stream.avail_out = static_cast<uInt>(unpackedSize + 16);
    // A damaged or truncated stream shows up as a CRC mismatch below.
    inflate(&stream, Z_FINISH);
    inflateEnd(&stream);

    if (crc32(0L, block, static_cast<uInt>(unpackedSize)) != expectedCrc) {
        std::free(block);
        return false;
    }
    *data = block;
    *length = unpackedSize;
    return true;
}

}  // namespace

bool UnpackResourceData(const void* bytes, std::size_t size, unsigned char** data, std::size_t* length) {
    if (data == nullptr || length == nullptr) {
        return false;
    }
    *data = nullptr;
    *length = 0;
    if (bytes == nullptr && size != 0) {
        return false;
    }
    const auto* p = static_cast<const unsigned char*>(bytes);
    return IsGzip(p, size) ? UnpackGzip(p, size, data, length) : UnpackPlain(p, size, data, length);
}

void FreeUnpackedData(unsigned char* data) { std::free(data); }
