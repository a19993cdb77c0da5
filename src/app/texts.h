// Numbers of the string table entries that the application shell uses.
#pragma once

#include <cstdint>
#include <string>

#include "platform/system.h"

namespace app {

inline constexpr std::uint32_t kStrTitleLine = 1;
inline constexpr std::uint32_t kStrStartButton = 28;
inline constexpr std::uint32_t kStrStopButton = 32;
inline constexpr std::uint32_t kStrWindowTitle = 52;
inline constexpr std::uint32_t kStrExitButton = 57;
inline constexpr std::uint32_t kStrScanningGroup = 58;
inline constexpr std::uint32_t kStrAlreadyRunning = 91;
inline constexpr std::uint32_t kStrErrorCaption = 92;

// The text of string `id`, or an empty text when it cannot be loaded.
std::u16string LoadText(platform::System& system, std::uint32_t id);

}  // namespace app
