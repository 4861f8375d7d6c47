// Multi-buffer MD5: the RFC 1321 digest of several independent streams at
// once, one stream per SIMD lane (AVX2 and AVX-512VL: 8, SSE2: 4), the
// instruction set chosen at run time.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "compare/md5.h"
#include "platform/platform.h"

namespace tw {

// The instruction sets the lanes can run on, slowest first. AVX512 is the
// AVX2 kernel with AVX-512VL's rotate and three-input logic on the same
// 256-bit registers.
enum class TMD5Kernel { Scalar, SSE2, AVX2, AVX512 };

// Streams hashed side by side by kernel.
std::size_t MD5KernelLanes(TMD5Kernel kernel) noexcept;
const char* MD5KernelName(TMD5Kernel kernel) noexcept;
// The kernels this processor (and its operating system) can run, slowest first.
std::vector<TMD5Kernel> AvailableMD5Kernels();
// The fastest of them.
TMD5Kernel BestMD5Kernel();

// Gives the stream of input i, or null when the input cannot be read (its
// digest is then none). May throw std::exception: the input then has none too.
using TMD5Opener = std::function<std::unique_ptr<TFileStream>(std::size_t)>;

// The digests of inputs 0 .. count-1, in that order, each what GetStreamMD5
// gives for its stream: read front to back in 4096-byte requests until a read
// returns nothing. Inputs go to the lanes in order, a lane taking the next one
// when its stream ends; a stream is opened when it gets its lane and closed
// when its lane finishes, so at most MD5KernelLanes(kernel) are open at a time.
// A stream whose Read throws std::exception gets no digest. A kernel this
// processor cannot run is replaced by the scalar one. Holds one 4160-byte
// buffer per lane and nothing else of the inputs (the streams keep their own
// read-ahead: 64 KiB each on Linux).
std::vector<std::optional<TMD5Digest>> MD5OfStreams(std::size_t count, const TMD5Opener& open,
                                                    TMD5Kernel kernel);

}  // namespace tw
