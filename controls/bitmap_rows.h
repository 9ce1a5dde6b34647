#pragma once
// Turns an unpacked bitmap (a bitmap file or a packed bitmap) into the pieces that
// CreateDIBitmap takes: 24- and 32-bit pixels become bottom-up 24-bit rows, other depths are
// copied. Byte-level only, so it builds without <windows.h> as well.

#include <cstddef>
#include <cstdlib>
#include <memory>

struct FreeBytes {
    void operator()(unsigned char* p) const { std::free(p); }
};
using ByteBlock = std::unique_ptr<unsigned char[], FreeBytes>;

// The largest picture accepted, in pixels: its 4-byte working rows stay within 64 MiB.
constexpr std::size_t kMaxBitmapPixels = 16u * 1024u * 1024u;

struct DibParts {
    // The working copy: the header bytes of the source (its file header included, if any),
    // then the pixel rows that GDI reads.
    ByteBlock copy;
    std::size_t copySize = 0;
    std::size_t headerOffset = 0;  // the info header inside the copy: 14 for a file, 0 for a packed bitmap
    std::size_t bitsOffset = 0;    // the first pixel row inside the copy
    // The info block: info header, masks and colour table, zero-filled beyond what the source had.
    ByteBlock info;
    std::size_t infoSize = 0;
};

// Validates every header field against `length` and builds the parts. False, with nothing
// allocated, for any header that is malformed, unsupported or points beyond the data.
bool ConvertBitmapRows(const unsigned char* data, std::size_t length, DibParts* parts);
