#include "app/reboot.h"

#include <string>

#include "common/string_ids.h"
#include "platform/scoped_handle.h"
#include "scan/texts.h"

namespace app {
namespace {

// The application's name, the caption of its message boxes: the file name of
// the program's module without its folder and extension.
std::u16string ApplicationName(platform::System& system) {
  const std::u16string path = system.runtime().ModuleFileName();
  const std::size_t folder = path.find_last_of(u"\\/:");
  std::u16string name = folder == std::u16string::npos ? path : path.substr(folder + 1);
  const std::size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos) name.resize(dot);
  return name;
}

// Enables the shutdown privilege in the program's token; the NT family
// refuses ExitWindowsEx without it.
bool EnableShutdownPrivilege(platform::System& system) {
  const platform::ScopedHandle token(system.runtime(),
                                     system.processes().OpenProcessToken(kRebootTokenAccess));
  if (token.get() == 0) return false;
  const auto privilege = system.processes().LookupPrivilegeValueWide(kShutdownPrivilege);
  if (!privilege) return false;
  const platform::AdjustPrivilegesResult adjusted = system.processes().AdjustTokenPrivileges(
      token.get(), *privilege, platform::kSePrivilegeEnabled);
  // The call succeeds with ERROR_NOT_ALL_ASSIGNED when the account lacks the
  // privilege: only last error 0 means it is enabled.
  return adjusted.succeeded && adjusted.lastError == 0;
}

bool IsWindows9x(platform::System& system) {
  const auto version = system.runtime().QueryVersion();
  return version && version->platformId == platform::kPlatformWin32Windows;
}

}  // namespace

void AskReboot(platform::System& system, platform::WindowId owner) {
  const int answer =
      system.ui().ShowMessageBox(owner, scan::LoadText(system, strings::kRebootQuestion),
                                 ApplicationName(system), platform::kMbYesNo);
  if (answer == platform::kIdYes) RebootSystem(system, owner);
}

bool RebootSystem(platform::System& system, platform::WindowId owner) {
  // Windows 9x/ME has no security: OpenProcessToken is a stub there, and
  // ExitWindowsEx needs no privilege.
  const bool allowed = IsWindows9x(system) || EnableShutdownPrivilege(system);
  if (allowed && system.runtime().ExitWindowsEx(kRebootFlags)) return true;
  system.ui().ShowMessageBox(owner, scan::LoadText(system, strings::kRebootFailed),
                             ApplicationName(system), platform::kMbOk);
  return false;
}

}  // namespace app
