#include "controls/gzip_unpack.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void Append32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

Bytes Deflate(const Bytes& data) {
    Bytes out(compressBound(static_cast<uLong>(data.size())) + 64);
    z_stream s{};
    deflateInit2(&s, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    s.next_in = const_cast<Bytef*>(data.data());
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = out.data();
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

struct Member {
    Bytes header;
    Bytes body;
    std::uint32_t crc;
    std::uint32_t isize;
    Bytes bytes() const {
        Bytes out = header;
        out.insert(out.end(), body.begin(), body.end());
        Append32(out, crc);
        Append32(out, isize);
        return out;
    }
};

Member Gzip(const Bytes& data, unsigned char flags) {
    Member m{{0x1F, 0x8B, 8, flags, 0, 0, 0, 0, 2, 3}, Deflate(data), 0, static_cast<std::uint32_t>(data.size())};
    m.crc = crc32(0, data.data(), static_cast<uInt>(data.size()));
    if (flags & 4) m.header.insert(m.header.end(), {3, 0, 'x', 0, 'y'});
    if (flags & 8) m.header.insert(m.header.end(), {'n', 'a', 'm', 'e', 0});
    if (flags & 16) m.header.insert(m.header.end(), {'c', 0});
    if (flags & 2) m.header.insert(m.header.end(), {0xAB, 0xCD});
    return m;
}

Bytes Sample() {
    Bytes data(3000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>((i * 7) ^ (i >> 5));
    return data;
}

struct Result {
    bool ok;
    Bytes data;
    unsigned char* block;
    std::size_t length;
};

Result Unpack(const Bytes& in) {
    unsigned char* block = reinterpret_cast<unsigned char*>(1);
    std::size_t length = 12345;
    const bool ok = UnpackResourceData(in.data(), in.size(), &block, &length);
    Result r{ok, {}, block, length};
    if (ok) {
        r.data.assign(block, block + length);
        FreeUnpackedData(block);
    }
    return r;
}

void ExpectFailure(const Bytes& in) {
    Result r = Unpack(in);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.block, nullptr);
    EXPECT_EQ(r.length, 0u);
}

TEST(UnpackResourceData, EveryHeaderFlagCombinationGivesTheSameData) {
    const Bytes data = Sample();
    for (unsigned flags = 0; flags < 32; flags += 2) {  // FTEXT (1) is never looked at
        SCOPED_TRACE(flags);
        Result r = Unpack(Gzip(data, static_cast<unsigned char>(flags | 1)).bytes());
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.data, data);
    }
}

TEST(UnpackResourceData, BlockIsZeroFilledBeyondTheData) {
    const Bytes data = Sample();
    Bytes in = Gzip(data, 8).bytes();
    unsigned char* block = nullptr;
    std::size_t length = 0;
    ASSERT_TRUE(UnpackResourceData(in.data(), in.size(), &block, &length));
    EXPECT_EQ(length, data.size());
    EXPECT_EQ(Bytes(block + length, block + length + 32), Bytes(32, 0));
    FreeUnpackedData(block);

    Bytes plain{'B', 'M', 1, 2, 3};
    ASSERT_TRUE(UnpackResourceData(plain.data(), plain.size(), &block, &length));
    EXPECT_EQ(length, plain.size());
    EXPECT_EQ(Bytes(block, block + 5 + 16), (Bytes{'B', 'M', 1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    FreeUnpackedData(block);
}

TEST(UnpackResourceData, DataWithoutTheGzipMagicIsUsedUnchanged) {
    for (const Bytes& in : {Bytes{}, Bytes{0x1F}, Bytes{0x1F, 0x8B}, Bytes{0x1F, 0x8B, 0x09, 0, 0}, Sample()}) {
        Result r = Unpack(in);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.data, in);
    }
}

TEST(UnpackResourceData, TheTrailerCrcDecides) {
    const Bytes data = Sample();
    Member m = Gzip(data, 8);
    m.crc ^= 0x00010000;
    ExpectFailure(m.bytes());

    // A wrong ISIZE: the CRC of the shorter or zero-padded data no longer matches.
    m = Gzip(data, 8);
    m.isize -= 1;
    ExpectFailure(m.bytes());
    m.isize += 2;
    ExpectFailure(m.bytes());

    // A damaged stream.
    m = Gzip(data, 8);
    m.body[m.body.size() / 2] ^= 0x55;
    ExpectFailure(m.bytes());
}

TEST(UnpackResourceData, EveryTruncationFails) {
    const Bytes sample = Sample();
    const Bytes whole = Gzip(Bytes(sample.begin(), sample.begin() + 400), 2 | 4 | 8 | 16).bytes();
    for (std::size_t n = 3; n < whole.size(); ++n) {
        SCOPED_TRACE(n);
        ExpectFailure(Bytes(whole.begin(), whole.begin() + n));
    }
}

TEST(UnpackResourceData, HeaderFieldsReachingIntoTheTrailerFail) {
    const Bytes data{1, 2, 3};
    // XLEN larger than what is left.
    Member m = Gzip(data, 4);
    m.header[10] = 0xFF;
    m.header[11] = 0xFF;
    ExpectFailure(m.bytes());
    // A name and a comment without terminator: the walk must not run into the trailer.
    for (unsigned char flag : {8, 16}) {
        Bytes in{0x1F, 0x8B, 8, flag, 0, 0, 0, 0, 0, 0, 'a', 'b', 'c', 'd'};
        in.insert(in.end(), {1, 2, 3, 4, 5, 6, 7, 8});  // a trailer of non-zero bytes
        ExpectFailure(in);
    }
    // FHCRC with only the trailer behind the fixed header.
    ExpectFailure(Bytes{0x1F, 0x8B, 8, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    ExpectFailure(Bytes{0x1F, 0x8B, 8, 2, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0});
}

TEST(UnpackResourceData, ImplausibleSizesAreRefusedBeforeAllocating) {
    Member m = Gzip(Bytes{1, 2, 3}, 0);
    m.isize = 0xFFFFFFFF;  // would wrap ISIZE + 32 in 32-bit arithmetic
    ExpectFailure(m.bytes());
    m.isize = static_cast<std::uint32_t>(kMaxUnpackedSize + 1);
    ExpectFailure(m.bytes());

    // The largest accepted size still works when the data really is that long.
    Bytes zeros(kMaxUnpackedSize, 0);
    Result r = Unpack(Gzip(zeros, 0).bytes());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.length, kMaxUnpackedSize);
}

TEST(UnpackResourceData, EmptyMemberGivesEmptyData) {
    Result r = Unpack(Gzip(Bytes{}, 8).bytes());
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.length, 0u);
}

}  // namespace
