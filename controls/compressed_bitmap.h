#pragma once
// Loads a bitmap stored in the program's resources, gzip-compressed or not.

#include <windows.h>

// Finds the resource `name` of `type` ("BMPGZDATA", or RT_BITMAP for a packed bitmap) in
// `module`, unpacks it and makes a bitmap compatible with the screen. 24- and 32-bit pixels
// become 24-bit rows (alpha is dropped). The caller owns the result and deletes it with
// DeleteObject. None when the resource is missing, damaged or not a bitmap it can read.
HBITMAP LoadCompressedBitmap(HMODULE module, const wchar_t* name, const wchar_t* type);
