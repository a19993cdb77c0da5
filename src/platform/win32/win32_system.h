// The real system: the platform layer over the Win32 API.
#pragma once

#include <memory>

#include "platform/system.h"

namespace platform::win32 {

// The Win32 backend for the program's own module (the executable).
std::unique_ptr<System> CreateSystem();

}  // namespace platform::win32
