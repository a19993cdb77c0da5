// The Win32 profile files: win.ini, system.ini and WININIT.INI.
#include "platform/win32/areas.h"

namespace platform::win32 {
namespace {

class Win32ProfileFiles final : public ProfileFiles {};

}  // namespace

std::unique_ptr<ProfileFiles> MakeProfileFiles() { return std::make_unique<Win32ProfileFiles>(); }

}  // namespace platform::win32
