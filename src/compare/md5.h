// MD5 message digest (RFC 1321).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace tw {

using TMD5Digest = std::array<std::uint8_t, 16>;

// Incremental MD5: Update any number of times, then Final once.
class TMD5 {
public:
    TMD5() noexcept { Reset(); }
    void Reset() noexcept;
    void Update(const void* data, std::size_t size) noexcept;
    TMD5Digest Final() noexcept;

private:
    std::uint32_t state_[4];
    std::uint64_t length_;  // bytes fed so far
    std::uint8_t pending_[64];
    std::size_t pendingSize_;
};

TMD5Digest MD5Of(const void* data, std::size_t size) noexcept;
// The digest as 32 lowercase hex digits, high nibble first.
String MD5ToHex(const TMD5Digest& digest);

}  // namespace tw
