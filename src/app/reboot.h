// Restarting Windows at the end of a run, when a removal could only be
// scheduled for the next start.
#pragma once

#include "platform/system.h"

namespace app {

inline constexpr char16_t kShutdownPrivilege[] = u"SeShutdownPrivilege";
// What RebootSystem opens the program's token for.
inline constexpr std::uint32_t kRebootTokenAccess =
    platform::kTokenAdjustPrivileges | platform::kTokenQuery;
inline constexpr std::uint32_t kRebootFlags = platform::kEwxReboot | platform::kEwxForce;

// Asks whether Windows should restart now: a message box owned by `owner`
// with strings::kRebootQuestion, the application's name (the program's file
// name without folder and extension) as caption and the buttons Yes and No.
// Yes calls RebootSystem; No does nothing more.
void AskReboot(platform::System& system, platform::WindowId owner);

// Restarts Windows: on the NT family it first opens the program's token
// (kRebootTokenAccess), looks up SeShutdownPrivilege and enables it, and
// gives up unless the adjustment succeeds with last error 0 (not
// ERROR_NOT_ALL_ASSIGNED either); Windows 9x/ME has no token and goes
// straight on. Then ExitWindowsEx(EWX_REBOOT | EWX_FORCE). Answers true when
// Windows took the request; otherwise it shows strings::kRebootFailed
// (owner `owner`, the application's name as caption, OK) and answers false.
bool RebootSystem(platform::System& system, platform::WindowId owner);

}  // namespace app
