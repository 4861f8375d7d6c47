// The progress bar position of a run: done / total * 100 as an x87
// extended-precision evaluation gives it, computed in integer arithmetic so
// that every compiler gives the same numbers.
#pragma once

#include <cstdint>

namespace tw {

// trunc(round64(round64(done / total) * 100)), where round64 rounds to a
// 64-bit significand, ties to even. total must not be 0.
std::uint64_t ProgressPosition(std::uint64_t done, std::uint64_t total);

}  // namespace tw
