// The entry point of the Windows program: the real system for the program.
#include "platform/entry.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/windows_api.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const auto system = platform::win32::CreateSystem();
  return platform::ProgramEntry(*system);
}
