#pragma once
// Unpacking of a "BMPGZDATA" resource: one gzip member (RFC 1952) or plain bytes.
// Byte-level only, so it builds without <windows.h> as well.

#include <cstddef>

// The largest unpacked block accepted, gzip or plain. A larger ISIZE or resource is refused
// before anything is allocated, so no size computed from it can overflow.
constexpr std::size_t kMaxUnpackedSize = 64u * 1024u * 1024u;

// Unpacks `size` bytes at `bytes`. A gzip member is inflated into a zero-filled block of
// ISIZE + 32 bytes and accepted when the CRC-32 of its first ISIZE bytes matches the trailer;
// anything else is copied unchanged into a zero-filled block of size + 16 bytes.
// On success *data receives the block (release it with FreeUnpackedData) and *length the
// number of meaningful bytes; on failure both are set to none.
bool UnpackResourceData(const void* bytes, std::size_t size, unsigned char** data, std::size_t* length);

// Releases a block made by UnpackResourceData; does nothing for none.
void FreeUnpackedData(unsigned char* data);
