// Whether the user counts as an administrator, which scanning the memory of
// other processes and cleaning the system need.
//
// Windows 9x/ME has no accounts to speak of: everyone counts. On the NT
// family the process token decides what removal can do, so Windows 2000 and
// later ask whether the token is a member of BUILTIN\Administrators
// (CheckTokenMembership). Windows NT 4 lacks that function: there the
// account's privilege level in the local account database decides
// (NetUserGetInfo at level 1). That lookup knows only the local accounts (a
// domain user is not found) and under Wine answers privilege level 0 for the
// user who runs it, so it is the fallback, not the rule.
#pragma once

#include <array>
#include <cstdint>

#include "platform/system.h"

namespace app {

inline constexpr char16_t kAdvapi32Library[] = u"ADVAPI32.DLL";
inline constexpr char16_t kNetapi32Library[] = u"Netapi32.dll";

// BUILTIN\Administrators, S-1-5-32-544: SECURITY_NT_AUTHORITY with
// SECURITY_BUILTIN_DOMAIN_RID and DOMAIN_ALIAS_RID_ADMINS.
inline constexpr platform::SidAuthority kNtAuthority = {0, 0, 0, 0, 0, 5};
inline constexpr std::array<std::uint32_t, 2> kAdministratorsSubAuthorities = {32, 544};

// NetUserGetInfo's level whose USER_INFO_1 carries the privilege level.
inline constexpr std::uint32_t kUserInfoLevel = 1;

// Answers whether the current user counts as an administrator; the caller
// keeps the answer for the run. Every failure counts as "no":
//   - the version query fails, or the platform is neither 1 nor 2: no;
//   - platform 1 (Windows 9x/ME): yes;
//   - platform 2: ADVAPI32.DLL is loaded and CheckTokenMembership,
//     AllocateAndInitializeSid and FreeSid bound; when all three are there,
//     the answer is CheckTokenMembership(0, S-1-5-32-544), no when the SID
//     cannot be made or the call fails; the SID is freed and the library
//     released;
//   - platform 2 without CheckTokenMembership (Windows NT 4): Netapi32.dll is
//     loaded (LoadLibraryW), NetUserGetInfo and NetApiBufferFree bound, the
//     user's name taken from GetUserNameW (limits::kUserNameBufferChars) and
//     NetUserGetInfo(local computer, name, 1) asked: yes when it succeeds with
//     privilege level USER_PRIV_ADMIN. The buffer is freed and the library
//     released.
bool CheckAdminRights(platform::System& system);

}  // namespace app
