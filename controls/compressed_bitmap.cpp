#include "controls/compressed_bitmap.h"

#include "controls/bitmap_rows.h"
#include "controls/gzip_unpack.h"
#include "platform/gdi.h"
#include "platform/unique_any.h"

namespace {

using UnpackedData = unique_any<NullInvalidPolicy<unsigned char*, FreeUnpackedData>>;

// The resource's bytes are only valid between LockResource and FreeResource, so they are
// unpacked into a block of our own before the resource is let go.
bool UnpackResource(HMODULE module, const wchar_t* name, const wchar_t* type, UnpackedData* data, std::size_t* length) {
    HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr) {
        return false;
    }
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) {
        return false;
    }
    bool unpacked = false;
    if (const void* bytes = LockResource(loaded)) {
        unsigned char* block = nullptr;
        unpacked = UnpackResourceData(bytes, SizeofResource(module, found), &block, length);
        data->reset(block);
    }
    FreeResource(loaded);
    return unpacked;
}

}  // namespace

HBITMAP LoadCompressedBitmap(HMODULE module, const wchar_t* name, const wchar_t* type) {
    UnpackedData data;
    std::size_t length = 0;
    if (!UnpackResource(module, name, type, &data, &length)) {
        return nullptr;
    }
    DibParts parts;
    if (!ConvertBitmapRows(data.get(), length, &parts)) {
        return nullptr;
    }
    data.reset();

    WindowDC screen(nullptr);
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(parts.copy.get() + parts.headerOffset);
    const auto* info = reinterpret_cast<const BITMAPINFO*>(parts.info.get());
    return CreateDIBitmap(screen.get(), header, CBM_INIT, parts.copy.get() + parts.bitsOffset, info, DIB_RGB_COLORS);
}
