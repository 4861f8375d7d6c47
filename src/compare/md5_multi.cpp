// Multi-buffer MD5. One MD5 stream is a chain of dependent additions, but the
// counterparts of different installations are independent streams, so a
// vector unit runs several of them side by side: lane l of every vector holds
// stream l's state and message words. Each instruction set's kernel is the
// same round code (md5_multi_rounds.inc) over its own vector type, compiled
// for that set with a target pragma so that the rest of the program keeps the
// baseline instructions; the set is chosen at run time.
#include "compare/md5_multi.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define TW_MD5_X86 1
#include <immintrin.h>
#else
#define TW_MD5_X86 0
#endif

namespace tw {
namespace {

using TKernelFn = void (*)(std::uint32_t* const* state, const std::uint8_t* const* data,
                           std::size_t blocks);

// ---------------------------------------------------------------- scalar: one lane

namespace scalar {

using V = std::uint32_t;
inline V Add(V a, V b) { return a + b; }
inline V And(V a, V b) { return a & b; }
inline V Or(V a, V b) { return a | b; }
inline V Xor(V a, V b) { return a ^ b; }
inline V AndNot(V m, V v) { return ~m & v; }
inline V Not(V a) { return ~a; }
template <int S>
inline V Rotl(V a) { return std::rotl(a, S); }
inline const std::uint32_t* Constants(const std::uint32_t* table) { return table; }
inline V Splat(std::uint32_t w) { return w; }
inline V Settle(V v)
{
#if defined(__GNUC__)
    __asm__("" : "+r"(v));
#endif
    return v;
}
// The round functions from the bitwise operations (RFC 1321, 3.4). F is
// written d ^ (b & (c ^ d)); G's two halves never share a bit, so they add,
// and the half without b does not wait for the previous step.
inline V AddF(V a, V b, V c, V d) { return Add(a, Xor(d, And(b, Xor(c, d)))); }
inline V AddG(V a, V b, V c, V d) { return Add(Add(a, AndNot(d, c)), And(b, d)); }
inline V AddH(V a, V b, V c, V d) { return Add(a, Xor(Xor(c, d), b)); }
inline V AddI(V a, V b, V c, V d) { return Add(a, Xor(c, Or(b, Not(d)))); }

inline void LoadState(std::uint32_t* const* state, V& a, V& b, V& c, V& d)
{
    a = state[0][0];
    b = state[0][1];
    c = state[0][2];
    d = state[0][3];
}

inline void StoreState(std::uint32_t* const* state, V a, V b, V c, V d)
{
    state[0][0] = a;
    state[0][1] = b;
    state[0][2] = c;
    state[0][3] = d;
}

inline void LoadMessage(const std::uint8_t* const* data, std::size_t offset, V x[16])
{
    const std::uint8_t* p = data[0] + offset;
    for (int i = 0; i < 16; ++i, p += 4)
        x[i] = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
}

#include "compare/md5_multi_rounds.inc"

}  // namespace scalar

#if TW_MD5_X86

// ---------------------------------------------------------------- SSE2: four lanes

#pragma GCC push_options
#pragma GCC target("sse2")
namespace sse2 {

using V = __m128i;
inline V Add(V a, V b) { return _mm_add_epi32(a, b); }
inline V And(V a, V b) { return _mm_and_si128(a, b); }
inline V Or(V a, V b) { return _mm_or_si128(a, b); }
inline V Xor(V a, V b) { return _mm_xor_si128(a, b); }
inline V AndNot(V m, V v) { return _mm_andnot_si128(m, v); }
inline V Not(V a) { return _mm_xor_si128(a, _mm_set1_epi32(-1)); }
template <int S>
inline V Rotl(V a) { return _mm_or_si128(_mm_slli_epi32(a, S), _mm_srli_epi32(a, 32 - S)); }
// Hides where the table is, so that the compiler loads each constant from it
// instead of building it from an immediate in a general register each time.
inline const std::uint32_t* Constants(const std::uint32_t* table)
{
    __asm__("" : "+r"(table));
    return table;
}
inline V Splat(std::uint32_t w) { return _mm_set1_epi32(static_cast<int>(w)); }
inline V Settle(V v)
{
    __asm__("" : "+x"(v));
    return v;
}
// The round functions from the bitwise operations (RFC 1321, 3.4). F is
// written d ^ (b & (c ^ d)); G's two halves never share a bit, so they add,
// and the half without b does not wait for the previous step.
inline V AddF(V a, V b, V c, V d) { return Add(a, Xor(d, And(b, Xor(c, d)))); }
inline V AddG(V a, V b, V c, V d) { return Add(Add(a, AndNot(d, c)), And(b, d)); }
inline V AddH(V a, V b, V c, V d) { return Add(a, Xor(Xor(c, d), b)); }
inline V AddI(V a, V b, V c, V d) { return Add(a, Xor(c, Or(b, Not(d)))); }

inline V Column(std::uint32_t* const* state, int i)
{
    return _mm_set_epi32(static_cast<int>(state[3][i]), static_cast<int>(state[2][i]),
                         static_cast<int>(state[1][i]), static_cast<int>(state[0][i]));
}

inline void LoadState(std::uint32_t* const* state, V& a, V& b, V& c, V& d)
{
    a = Column(state, 0);
    b = Column(state, 1);
    c = Column(state, 2);
    d = Column(state, 3);
}

inline void StoreState(std::uint32_t* const* state, V a, V b, V c, V d)
{
    const V v[4] = {a, b, c, d};
    for (int i = 0; i < 4; ++i) {
        std::uint32_t words[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(words), v[i]);
        for (int l = 0; l < 4; ++l)
            state[l][i] = words[l];
    }
}

// Rows r0..r3 (four words of lanes 0..3) become columns: x[0] holds word 0 of
// every lane, and so on.
inline void Transpose(V r0, V r1, V r2, V r3, V* x)
{
    const V t0 = _mm_unpacklo_epi32(r0, r1), t1 = _mm_unpackhi_epi32(r0, r1);
    const V t2 = _mm_unpacklo_epi32(r2, r3), t3 = _mm_unpackhi_epi32(r2, r3);
    x[0] = _mm_unpacklo_epi64(t0, t2);
    x[1] = _mm_unpackhi_epi64(t0, t2);
    x[2] = _mm_unpacklo_epi64(t1, t3);
    x[3] = _mm_unpackhi_epi64(t1, t3);
}

inline V Load(const std::uint8_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

inline void LoadMessage(const std::uint8_t* const* data, std::size_t offset, V x[16])
{
    for (int q = 0; q < 4; ++q)
        Transpose(Load(data[0] + offset + 16 * q), Load(data[1] + offset + 16 * q),
                  Load(data[2] + offset + 16 * q), Load(data[3] + offset + 16 * q), x + 4 * q);
}

#include "compare/md5_multi_rounds.inc"

}  // namespace sse2
#pragma GCC pop_options

// ---------------------------------------------------------------- AVX2: eight lanes

#pragma GCC push_options
#pragma GCC target("avx2")
namespace avx2 {

using V = __m256i;
inline V Add(V a, V b) { return _mm256_add_epi32(a, b); }
inline V And(V a, V b) { return _mm256_and_si256(a, b); }
inline V Or(V a, V b) { return _mm256_or_si256(a, b); }
inline V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
inline V AndNot(V m, V v) { return _mm256_andnot_si256(m, v); }
inline V Not(V a) { return _mm256_xor_si256(a, _mm256_set1_epi32(-1)); }
template <int S>
inline V Rotl(V a)
{
    return _mm256_or_si256(_mm256_slli_epi32(a, S), _mm256_srli_epi32(a, 32 - S));
}
// Hides where the table is, so that the compiler loads each constant from it
// instead of building it from an immediate in a general register each time.
inline const std::uint32_t* Constants(const std::uint32_t* table)
{
    __asm__("" : "+r"(table));
    return table;
}
inline V Splat(std::uint32_t w) { return _mm256_set1_epi32(static_cast<int>(w)); }
inline V Settle(V v)
{
    __asm__("" : "+x"(v));
    return v;
}
// The round functions from the bitwise operations (RFC 1321, 3.4). F is
// written d ^ (b & (c ^ d)); G's two halves never share a bit, so they add,
// and the half without b does not wait for the previous step.
inline V AddF(V a, V b, V c, V d) { return Add(a, Xor(d, And(b, Xor(c, d)))); }
inline V AddG(V a, V b, V c, V d) { return Add(Add(a, AndNot(d, c)), And(b, d)); }
inline V AddH(V a, V b, V c, V d) { return Add(a, Xor(Xor(c, d), b)); }
inline V AddI(V a, V b, V c, V d) { return Add(a, Xor(c, Or(b, Not(d)))); }

inline V Column(std::uint32_t* const* state, int i)
{
    return _mm256_set_epi32(static_cast<int>(state[7][i]), static_cast<int>(state[6][i]),
                            static_cast<int>(state[5][i]), static_cast<int>(state[4][i]),
                            static_cast<int>(state[3][i]), static_cast<int>(state[2][i]),
                            static_cast<int>(state[1][i]), static_cast<int>(state[0][i]));
}

inline void LoadState(std::uint32_t* const* state, V& a, V& b, V& c, V& d)
{
    a = Column(state, 0);
    b = Column(state, 1);
    c = Column(state, 2);
    d = Column(state, 3);
}

inline void StoreState(std::uint32_t* const* state, V a, V b, V c, V d)
{
    const V v[4] = {a, b, c, d};
    for (int i = 0; i < 4; ++i) {
        std::uint32_t words[8];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(words), v[i]);
        for (int l = 0; l < 8; ++l)
            state[l][i] = words[l];
    }
}

// Rows r[0..7] (eight words of lanes 0..7) become columns x[0..7].
inline void Transpose(const V* r, V* x)
{
    const V t0 = _mm256_unpacklo_epi32(r[0], r[1]), t1 = _mm256_unpackhi_epi32(r[0], r[1]);
    const V t2 = _mm256_unpacklo_epi32(r[2], r[3]), t3 = _mm256_unpackhi_epi32(r[2], r[3]);
    const V t4 = _mm256_unpacklo_epi32(r[4], r[5]), t5 = _mm256_unpackhi_epi32(r[4], r[5]);
    const V t6 = _mm256_unpacklo_epi32(r[6], r[7]), t7 = _mm256_unpackhi_epi32(r[6], r[7]);
    // Within each 128-bit half: word j (and j+4 in the upper half) of four lanes.
    const V u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
    const V u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
    const V u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
    const V u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
    x[0] = _mm256_permute2x128_si256(u0, u4, 0x20);
    x[1] = _mm256_permute2x128_si256(u1, u5, 0x20);
    x[2] = _mm256_permute2x128_si256(u2, u6, 0x20);
    x[3] = _mm256_permute2x128_si256(u3, u7, 0x20);
    x[4] = _mm256_permute2x128_si256(u0, u4, 0x31);
    x[5] = _mm256_permute2x128_si256(u1, u5, 0x31);
    x[6] = _mm256_permute2x128_si256(u2, u6, 0x31);
    x[7] = _mm256_permute2x128_si256(u3, u7, 0x31);
}

inline void LoadMessage(const std::uint8_t* const* data, std::size_t offset, V x[16])
{
    for (int half = 0; half < 2; ++half) {
        V r[8];
        for (int l = 0; l < 8; ++l)
            r[l] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data[l] + offset + 32 * half));
        Transpose(r, x + 8 * half);
    }
}

#include "compare/md5_multi_rounds.inc"

}  // namespace avx2
#pragma GCC pop_options

// ---------------------------------------------------------------- AVX-512VL: eight lanes

// The AVX2 lanes with two instructions of AVX-512 on the same 256-bit
// registers: a rotate in one step instead of three, and each round function
// in one three-input logic instruction. That shortens the chain of dependent
// operations of every step, which is what bounds a vector of lanes too.
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512vl")
namespace avx512 {

using V = __m256i;
using avx2::Add;
using avx2::Constants;
using avx2::LoadMessage;
using avx2::LoadState;
using avx2::Settle;
using avx2::Splat;
using avx2::StoreState;
template <int S>
inline V Rotl(V a) { return _mm256_rol_epi32(a, S); }
// Truth tables over (b, c, d): F = b ? c : d, G = d ? b : c, H = b ^ c ^ d,
// I = c ^ (b | ~d).
inline V AddF(V a, V b, V c, V d) { return Add(a, _mm256_ternarylogic_epi32(b, c, d, 0xca)); }
inline V AddG(V a, V b, V c, V d) { return Add(a, _mm256_ternarylogic_epi32(b, c, d, 0xe4)); }
inline V AddH(V a, V b, V c, V d) { return Add(a, _mm256_ternarylogic_epi32(b, c, d, 0x96)); }
inline V AddI(V a, V b, V c, V d) { return Add(a, _mm256_ternarylogic_epi32(b, c, d, 0x39)); }

#include "compare/md5_multi_rounds.inc"

}  // namespace avx512
#pragma GCC pop_options

#endif  // TW_MD5_X86

bool Supported(TMD5Kernel kernel) noexcept
{
    switch (kernel) {
    case TMD5Kernel::Scalar:
        return true;
#if TW_MD5_X86
    case TMD5Kernel::SSE2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("sse2");
    case TMD5Kernel::AVX2:
        // Also false when the operating system does not save the 256-bit registers.
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
    case TMD5Kernel::AVX512:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") &&
               __builtin_cpu_supports("avx512vl");
#else
    case TMD5Kernel::SSE2:
    case TMD5Kernel::AVX2:
    case TMD5Kernel::AVX512:
        return false;
#endif
    }
    return false;
}

TKernelFn KernelFn(TMD5Kernel kernel) noexcept
{
    switch (kernel) {
#if TW_MD5_X86
    case TMD5Kernel::SSE2:
        return sse2::Compress;
    case TMD5Kernel::AVX2:
        return avx2::Compress;
    case TMD5Kernel::AVX512:
        return avx512::Compress;
#endif
    default:
        return scalar::Compress;
    }
}

// ---------------------------------------------------------------- the lanes

constexpr std::size_t kReadSize = 4096;
constexpr std::size_t kMaxLanes = 8;

struct Lane {
    std::unique_ptr<TFileStream> stream;  // null: the lane is free
    std::size_t input = 0;
    std::uint32_t state[4] = {};
    std::uint64_t length = 0;  // bytes read so far
    // buffer[pos, end) is read but not yet hashed. Fewer than 64 bytes left
    // over from one read go to the front before the next, so every read
    // still asks for 4096 bytes.
    std::size_t pos = 0;
    std::size_t end = 0;
    bool padded = false;  // the stream has ended and its padding is in the buffer
    std::uint8_t buffer[kReadSize + 64];
};

// Opens input for lane; false when it cannot be read.
bool Start(Lane& lane, std::size_t input, const TMD5Opener& open)
{
    try {
        lane.stream = open(input);
    } catch (const std::exception&) {
        lane.stream.reset();
    }
    if (!lane.stream)
        return false;
    lane.input = input;
    lane.state[0] = 0x67452301u;
    lane.state[1] = 0xefcdab89u;
    lane.state[2] = 0x98badcfeu;
    lane.state[3] = 0x10325476u;
    lane.length = 0;
    lane.pos = lane.end = 0;
    lane.padded = false;
    return true;
}

// The stream has ended: the 0x80 byte, zeros and the bit length close the
// message (RFC 1321, 3.1 and 3.2) in one or two more blocks.
void Pad(Lane& lane)
{
    const std::size_t left = lane.end;  // < 64, at the front of the buffer
    const std::size_t total = left < 56 ? 64 : 128;
    lane.buffer[left] = 0x80;
    std::memset(lane.buffer + left + 1, 0, total - 8 - left - 1);
    const std::uint64_t bits = lane.length * 8;
    for (int i = 0; i < 8; ++i)
        lane.buffer[total - 8 + i] = static_cast<std::uint8_t>(bits >> (8 * i));
    lane.end = total;
    lane.padded = true;
}

// Reads until the lane holds at least one whole block, or pads it once a
// read returns nothing. A Read that throws leaves it to the caller.
void Fill(Lane& lane)
{
    while (lane.end - lane.pos < 64) {
        const std::size_t left = lane.end - lane.pos;
        std::memmove(lane.buffer, lane.buffer + lane.pos, left);
        lane.pos = 0;
        lane.end = left;
        // A stream never hands over more than asked for; the cap keeps a
        // faulty one from reaching past the buffer.
        const std::size_t got = std::min(lane.stream->Read(lane.buffer + left, kReadSize), kReadSize);
        if (got == 0) {
            Pad(lane);
            return;
        }
        lane.length += got;
        lane.end += got;
    }
}

TMD5Digest DigestOf(const Lane& lane)
{
    TMD5Digest digest;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            digest[4 * i + j] = static_cast<std::uint8_t>(lane.state[i] >> (8 * j));
    return digest;
}

}  // namespace

std::size_t MD5KernelLanes(TMD5Kernel kernel) noexcept
{
    switch (kernel) {
    case TMD5Kernel::Scalar:
        return 1;
    case TMD5Kernel::SSE2:
        return 4;
    case TMD5Kernel::AVX2:
    case TMD5Kernel::AVX512:
        return 8;
    }
    return 1;
}

const char* MD5KernelName(TMD5Kernel kernel) noexcept
{
    switch (kernel) {
    case TMD5Kernel::Scalar:
        return "scalar";
    case TMD5Kernel::SSE2:
        return "SSE2";
    case TMD5Kernel::AVX2:
        return "AVX2";
    case TMD5Kernel::AVX512:
        return "AVX512VL";
    }
    return "?";
}

std::vector<TMD5Kernel> AvailableMD5Kernels()
{
    std::vector<TMD5Kernel> kernels;
    for (TMD5Kernel k : {TMD5Kernel::Scalar, TMD5Kernel::SSE2, TMD5Kernel::AVX2, TMD5Kernel::AVX512})
        if (Supported(k))
            kernels.push_back(k);
    return kernels;
}

TMD5Kernel BestMD5Kernel()
{
    return AvailableMD5Kernels().back();
}

std::vector<std::optional<TMD5Digest>> MD5OfStreams(std::size_t count, const TMD5Opener& open,
                                                    TMD5Kernel kernel)
{
    if (!Supported(kernel))
        kernel = TMD5Kernel::Scalar;
    const TKernelFn compress = KernelFn(kernel);
    const std::size_t width = MD5KernelLanes(kernel);

    std::vector<std::optional<TMD5Digest>> digests(count);
    const auto lanes = std::make_unique<Lane[]>(width);
    std::size_t next = 0;
    // Lanes without a stream run on a copy of a busy lane's data into a
    // state of their own that nobody reads.
    std::uint32_t spare[4] = {};
    for (;;) {
        // Every free lane takes the next input that opens; every lane is
        // topped up to at least one whole block.
        Lane* busy[kMaxLanes];
        std::size_t busyCount = 0;
        for (std::size_t l = 0; l < width; ++l) {
            Lane& lane = lanes[l];
            for (;;) {
                if (!lane.stream) {
                    if (next == count)
                        break;
                    if (!Start(lane, next++, open))
                        continue;
                }
                if (lane.padded)
                    break;
                try {
                    Fill(lane);
                    break;
                } catch (const std::exception&) {
                    lane.stream.reset();  // no digest rather than a wrong one
                }
            }
            if (lane.stream)
                busy[busyCount++] = &lane;
        }
        if (busyCount == 0)
            break;

        std::size_t blocks = kReadSize;
        std::uint32_t* states[kMaxLanes];
        const std::uint8_t* data[kMaxLanes];
        for (std::size_t i = 0; i < width; ++i) {
            Lane& lane = *busy[i < busyCount ? i : 0];
            states[i] = i < busyCount ? lane.state : spare;
            data[i] = lane.buffer + lane.pos;
            blocks = std::min(blocks, (lane.end - lane.pos) / 64);
        }
        compress(states, data, blocks);

        for (std::size_t i = 0; i < busyCount; ++i) {
            Lane& lane = *busy[i];
            lane.pos += 64 * blocks;
            if (lane.padded && lane.pos == lane.end) {
                digests[lane.input] = DigestOf(lane);
                lane.stream.reset();  // closed as soon as its lane is done
            }
        }
    }
    return digests;
}

}  // namespace tw
