#pragma once
// Windows Installer's two spellings of a product, component or upgrade code. The registry
// keys of the installer are named by the packed code: the GUID without braces and dashes, its
// first three groups reversed character by character and each later byte's two hex digits
// swapped: {1B2C3D4E-5F60-4718-8293-A4B5C6D7E8F9} is E4D3C2B106F5817428394A5B6C7D8E9F.
// Programs and Features names its entries by the braced code.
//
// Plain text functions, free of <windows.h>. Hex digits are taken in either case and given
// back in upper case, as the installer writes them.

#include <string>
#include <string_view>

// The packed code of a braced GUID ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"); empty when
// `braced` is anything else.
std::wstring PackedCode(std::wstring_view braced);

// The braced GUID of a packed code (exactly 32 hex digits); empty when `packed` is anything else.
std::wstring BracedCode(std::wstring_view packed);

// `packed` in upper case when it is exactly 32 hex digits; empty otherwise.
std::wstring NormalPackedCode(std::wstring_view packed);
