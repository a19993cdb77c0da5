// The small types and values that the platform's areas share.
#pragma once

#include <cstdint>

namespace platform {

// A kernel object or library handle; 0 stands for none.
using Handle = std::uint64_t;
// A window handle; 0 stands for none.
using WindowId = std::uint64_t;

// Windows error codes that callers test for.
inline constexpr std::uint32_t kErrorAlreadyExists = 183;

}  // namespace platform
