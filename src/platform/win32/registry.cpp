// The Win32 registry: keys and values.
#include "platform/win32/areas.h"

namespace platform::win32 {
namespace {

class Win32Registry final : public Registry {};

}  // namespace

std::unique_ptr<Registry> MakeRegistry() { return std::make_unique<Win32Registry>(); }

}  // namespace platform::win32
