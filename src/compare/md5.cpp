// MD5 (RFC 1321). Hashing dominates a scan, so the 64 steps are unrolled and
// each round function is written so that the part not depending on the
// previous step's result can be computed ahead of it.
#include "compare/md5.h"

#include <bit>
#include <cstring>

namespace tw {
namespace {

inline std::uint32_t LoadLE32(const std::uint8_t* p) noexcept
{
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big)
        v = (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
    return v;
}

// F = (b & c) | (~b & d), written as d ^ (b & (c ^ d)).
#define TW_MD5_F(a, b, c, d, x, t, s) \
    a += (((c) ^ (d)) & (b)) ^ (d);   \
    a += (x) + (t);                   \
    a = std::rotl(a, s) + (b);
// G = (b & d) | (c & ~d); the two halves never share a bit, so they add, and
// (c & ~d) does not wait for b.
#define TW_MD5_G(a, b, c, d, x, t, s) \
    a += (x) + (t);                   \
    a += (c) & ~(d);                  \
    a += (b) & (d);                   \
    a = std::rotl(a, s) + (b);
#define TW_MD5_H(a, b, c, d, x, t, s) \
    a += (x) + (t);                   \
    a += ((c) ^ (d)) ^ (b);           \
    a = std::rotl(a, s) + (b);
#define TW_MD5_I(a, b, c, d, x, t, s) \
    a += (x) + (t);                   \
    a += ((b) | ~(d)) ^ (c);          \
    a = std::rotl(a, s) + (b);

// Processes count whole 64-byte blocks.
void Blocks(std::uint32_t state[4], const std::uint8_t* p, std::size_t count) noexcept
{
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (; count != 0; --count, p += 64) {
        const std::uint32_t x0 = LoadLE32(p), x1 = LoadLE32(p + 4), x2 = LoadLE32(p + 8),
                            x3 = LoadLE32(p + 12), x4 = LoadLE32(p + 16), x5 = LoadLE32(p + 20),
                            x6 = LoadLE32(p + 24), x7 = LoadLE32(p + 28), x8 = LoadLE32(p + 32),
                            x9 = LoadLE32(p + 36), x10 = LoadLE32(p + 40), x11 = LoadLE32(p + 44),
                            x12 = LoadLE32(p + 48), x13 = LoadLE32(p + 52), x14 = LoadLE32(p + 56),
                            x15 = LoadLE32(p + 60);
        const std::uint32_t aa = a, bb = b, cc = c, dd = d;

        TW_MD5_F(a, b, c, d, x0, 0xd76aa478u, 7)
        TW_MD5_F(d, a, b, c, x1, 0xe8c7b756u, 12)
        TW_MD5_F(c, d, a, b, x2, 0x242070dbu, 17)
        TW_MD5_F(b, c, d, a, x3, 0xc1bdceeeu, 22)
        TW_MD5_F(a, b, c, d, x4, 0xf57c0fafu, 7)
        TW_MD5_F(d, a, b, c, x5, 0x4787c62au, 12)
        TW_MD5_F(c, d, a, b, x6, 0xa8304613u, 17)
        TW_MD5_F(b, c, d, a, x7, 0xfd469501u, 22)
        TW_MD5_F(a, b, c, d, x8, 0x698098d8u, 7)
        TW_MD5_F(d, a, b, c, x9, 0x8b44f7afu, 12)
        TW_MD5_F(c, d, a, b, x10, 0xffff5bb1u, 17)
        TW_MD5_F(b, c, d, a, x11, 0x895cd7beu, 22)
        TW_MD5_F(a, b, c, d, x12, 0x6b901122u, 7)
        TW_MD5_F(d, a, b, c, x13, 0xfd987193u, 12)
        TW_MD5_F(c, d, a, b, x14, 0xa679438eu, 17)
        TW_MD5_F(b, c, d, a, x15, 0x49b40821u, 22)

        TW_MD5_G(a, b, c, d, x1, 0xf61e2562u, 5)
        TW_MD5_G(d, a, b, c, x6, 0xc040b340u, 9)
        TW_MD5_G(c, d, a, b, x11, 0x265e5a51u, 14)
        TW_MD5_G(b, c, d, a, x0, 0xe9b6c7aau, 20)
        TW_MD5_G(a, b, c, d, x5, 0xd62f105du, 5)
        TW_MD5_G(d, a, b, c, x10, 0x02441453u, 9)
        TW_MD5_G(c, d, a, b, x15, 0xd8a1e681u, 14)
        TW_MD5_G(b, c, d, a, x4, 0xe7d3fbc8u, 20)
        TW_MD5_G(a, b, c, d, x9, 0x21e1cde6u, 5)
        TW_MD5_G(d, a, b, c, x14, 0xc33707d6u, 9)
        TW_MD5_G(c, d, a, b, x3, 0xf4d50d87u, 14)
        TW_MD5_G(b, c, d, a, x8, 0x455a14edu, 20)
        TW_MD5_G(a, b, c, d, x13, 0xa9e3e905u, 5)
        TW_MD5_G(d, a, b, c, x2, 0xfcefa3f8u, 9)
        TW_MD5_G(c, d, a, b, x7, 0x676f02d9u, 14)
        TW_MD5_G(b, c, d, a, x12, 0x8d2a4c8au, 20)

        TW_MD5_H(a, b, c, d, x5, 0xfffa3942u, 4)
        TW_MD5_H(d, a, b, c, x8, 0x8771f681u, 11)
        TW_MD5_H(c, d, a, b, x11, 0x6d9d6122u, 16)
        TW_MD5_H(b, c, d, a, x14, 0xfde5380cu, 23)
        TW_MD5_H(a, b, c, d, x1, 0xa4beea44u, 4)
        TW_MD5_H(d, a, b, c, x4, 0x4bdecfa9u, 11)
        TW_MD5_H(c, d, a, b, x7, 0xf6bb4b60u, 16)
        TW_MD5_H(b, c, d, a, x10, 0xbebfbc70u, 23)
        TW_MD5_H(a, b, c, d, x13, 0x289b7ec6u, 4)
        TW_MD5_H(d, a, b, c, x0, 0xeaa127fau, 11)
        TW_MD5_H(c, d, a, b, x3, 0xd4ef3085u, 16)
        TW_MD5_H(b, c, d, a, x6, 0x04881d05u, 23)
        TW_MD5_H(a, b, c, d, x9, 0xd9d4d039u, 4)
        TW_MD5_H(d, a, b, c, x12, 0xe6db99e5u, 11)
        TW_MD5_H(c, d, a, b, x15, 0x1fa27cf8u, 16)
        TW_MD5_H(b, c, d, a, x2, 0xc4ac5665u, 23)

        TW_MD5_I(a, b, c, d, x0, 0xf4292244u, 6)
        TW_MD5_I(d, a, b, c, x7, 0x432aff97u, 10)
        TW_MD5_I(c, d, a, b, x14, 0xab9423a7u, 15)
        TW_MD5_I(b, c, d, a, x5, 0xfc93a039u, 21)
        TW_MD5_I(a, b, c, d, x12, 0x655b59c3u, 6)
        TW_MD5_I(d, a, b, c, x3, 0x8f0ccc92u, 10)
        TW_MD5_I(c, d, a, b, x10, 0xffeff47du, 15)
        TW_MD5_I(b, c, d, a, x1, 0x85845dd1u, 21)
        TW_MD5_I(a, b, c, d, x8, 0x6fa87e4fu, 6)
        TW_MD5_I(d, a, b, c, x15, 0xfe2ce6e0u, 10)
        TW_MD5_I(c, d, a, b, x6, 0xa3014314u, 15)
        TW_MD5_I(b, c, d, a, x13, 0x4e0811a1u, 21)
        TW_MD5_I(a, b, c, d, x4, 0xf7537e82u, 6)
        TW_MD5_I(d, a, b, c, x11, 0xbd3af235u, 10)
        TW_MD5_I(c, d, a, b, x2, 0x2ad7d2bbu, 15)
        TW_MD5_I(b, c, d, a, x9, 0xeb86d391u, 21)

        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    state[0] = a;
    state[1] = b;
    state[2] = c;
    state[3] = d;
}

#undef TW_MD5_F
#undef TW_MD5_G
#undef TW_MD5_H
#undef TW_MD5_I

}  // namespace

void TMD5::Reset() noexcept
{
    state_[0] = 0x67452301u;
    state_[1] = 0xefcdab89u;
    state_[2] = 0x98badcfeu;
    state_[3] = 0x10325476u;
    length_ = 0;
    pendingSize_ = 0;
}

void TMD5::Update(const void* data, std::size_t size) noexcept
{
    auto p = static_cast<const std::uint8_t*>(data);
    length_ += size;
    if (pendingSize_ != 0) {
        const std::size_t take = size < 64 - pendingSize_ ? size : 64 - pendingSize_;
        std::memcpy(pending_ + pendingSize_, p, take);
        pendingSize_ += take;
        p += take;
        size -= take;
        if (pendingSize_ < 64)
            return;
        Blocks(state_, pending_, 1);
        pendingSize_ = 0;
    }
    // Whole blocks straight from the caller's buffer: no copy.
    Blocks(state_, p, size / 64);
    p += size & ~std::size_t{63};
    size &= 63;
    if (size != 0) {
        std::memcpy(pending_, p, size);
        pendingSize_ = size;
    }
}

TMD5Digest TMD5::Final() noexcept
{
    const std::uint64_t bits = length_ * 8;
    std::uint8_t tail[128] = {};
    std::memcpy(tail, pending_, pendingSize_);
    tail[pendingSize_] = 0x80;
    const std::size_t total = pendingSize_ < 56 ? 64 : 128;
    for (int i = 0; i < 8; ++i)
        tail[total - 8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    Blocks(state_, tail, total / 64);

    TMD5Digest digest;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<std::uint8_t>(state_[i] >> (8 * j));
    Reset();
    return digest;
}

TMD5Digest MD5Of(const void* data, std::size_t size) noexcept
{
    TMD5 md5;
    md5.Update(data, size);
    return md5.Final();
}

String MD5ToHex(const TMD5Digest& digest)
{
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    String text(32, u'0');
    for (std::size_t i = 0; i < digest.size(); ++i) {
        text[2 * i] = kHex[digest[i] >> 4];
        text[2 * i + 1] = kHex[digest[i] & 0x0f];
    }
    return text;
}

}  // namespace tw
