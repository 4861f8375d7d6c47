// Extended-precision progress arithmetic in plain integers: a 64-bit
// significand quotient, then a 64-bit significand product, then truncation.
#include "sync/progress.h"

#include <bit>

namespace tw {

namespace {

// Just enough of an unsigned 128-bit integer for one division.
struct U128 {
    std::uint64_t hi = 0;
    std::uint64_t lo = 0;
};

U128 ShiftLeft(U128 v, int n) {
    if (n == 0) return v;
    if (n >= 128) return {};
    if (n >= 64) return {v.lo << (n - 64), 0};
    return {(v.hi << n) | (v.lo >> (64 - n)), v.lo << n};
}

bool Less(U128 a, U128 b) { return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo; }

U128 Subtract(U128 a, U128 b) {
    const std::uint64_t lo = a.lo - b.lo;
    return {a.hi - b.hi - (a.lo < b.lo ? 1 : 0), lo};
}

int BitLength(U128 v) {
    return v.hi != 0 ? 128 - std::countl_zero(v.hi) : 64 - std::countl_zero(v.lo);
}

// A positive value m * 2^exp with m in [2^63, 2^64).
struct Extended {
    std::uint64_t m;
    int exp;
};

// n / d rounded to a 64-bit significand, ties to even. n and d are above 0
// and below 2^64.
Extended Divide(std::uint64_t n, std::uint64_t d) {
    // Scale so that the integer quotient has exactly 64 bits: with
    // 2^k <= n/d < 2^(k+1), take floor(n * 2^(63-k) / d).
    const int k0 = (64 - std::countl_zero(n)) - (64 - std::countl_zero(d));
    // k is k0 or k0 - 1, depending on the bits below the leading ones.
    U128 num{0, n};
    U128 den{0, d};
    int k = k0;
    {
        const U128 nn = k0 >= 0 ? num : ShiftLeft(num, -k0);
        const U128 dd = k0 >= 0 ? ShiftLeft(den, k0) : den;
        if (Less(nn, dd)) k = k0 - 1;
    }
    const int shift = 63 - k;  // between -63 and 127
    if (shift >= 0)
        num = ShiftLeft(num, shift);
    else
        den = ShiftLeft(den, -shift);

    std::uint64_t q = 0;
    for (int bit = 63; bit >= 0; --bit) {
        const U128 part = ShiftLeft(den, bit);
        if (!Less(num, part)) {
            num = Subtract(num, part);
            q |= std::uint64_t{1} << bit;
        }
    }
    // Remainder against half the divisor: 2r vs d.
    const U128 twice = ShiftLeft(num, 1);
    const bool above = Less(den, twice);
    const bool tie = !above && !Less(twice, den);
    if (above || (tie && (q & 1) != 0)) {
        ++q;
        if (q == 0) return {std::uint64_t{1} << 63, k + 1};
    }
    return {q, k - 63};
}

// x * factor rounded to a 64-bit significand, ties to even.
Extended Multiply(Extended x, std::uint32_t factor) {
    // The 96-bit product, split in 32-bit halves to stay portable.
    const std::uint64_t lowPart = (x.m & 0xffffffffu) * factor;
    const std::uint64_t highPart = (x.m >> 32) * factor + (lowPart >> 32);
    const U128 p{highPart >> 32, (highPart << 32) | (lowPart & 0xffffffffu)};
    const int extra = BitLength(p) - 64;
    if (extra <= 0) return {p.lo << -extra, x.exp + extra};

    const std::uint64_t mask = (std::uint64_t{1} << extra) - 1;
    const std::uint64_t dropped = p.lo & mask;
    const std::uint64_t half = std::uint64_t{1} << (extra - 1);
    std::uint64_t m = (p.hi << (64 - extra)) | (p.lo >> extra);
    if (dropped > half || (dropped == half && (m & 1) != 0)) {
        ++m;
        if (m == 0) return {std::uint64_t{1} << 63, x.exp + extra + 1};
    }
    return {m, x.exp + extra};
}

std::uint64_t Truncate(Extended x) {
    if (x.exp > 0) return UINT64_MAX;  // 2^64 or more: never a position
    if (x.exp == 0) return x.m;
    return x.exp <= -64 ? 0 : x.m >> -x.exp;
}

}  // namespace

std::uint64_t ProgressPosition(std::uint64_t done, std::uint64_t total) {
    if (done == 0 || total == 0) return 0;
    return Truncate(Multiply(Divide(done, total), 100));
}

}  // namespace tw
