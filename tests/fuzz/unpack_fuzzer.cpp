// libFuzzer target: a "BMPGZDATA" resource as the bitmap loader reads it, minus the GDI call.
#include <cstddef>
#include <cstdint>

#include "controls/bitmap_rows.h"
#include "controls/gzip_unpack.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    unsigned char* data = nullptr;
    std::size_t length = 0;
    if (!UnpackResourceData(bytes, size, &data, &length)) {
        return 0;
    }
    DibParts parts;
    if (ConvertBitmapRows(data, length, &parts)) {
        // Everything GDI would be handed must lie inside the blocks.
        volatile unsigned char sink = parts.copy[parts.copySize - 1] ^ parts.info[parts.infoSize - 1];
        (void)sink;
    }
    FreeUnpackedData(data);
    return 0;
}
