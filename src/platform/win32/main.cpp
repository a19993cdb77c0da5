// The entry point of the Windows program.
#include "app/program.h"
#include "platform/win32/win32_system.h"
#include "platform/win32/windows_api.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const auto system = platform::win32::CreateSystem();
  platform::Install(system.get());
  return app::ProgramMain(*system);
}
