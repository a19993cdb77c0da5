// Who runs the program, as the fake answers it: the user's name
// (GetUserNameW), the local account database with each account's privilege
// level (NetUserGetInfo of NETAPI32.DLL), and the groups of the program's
// token (CheckTokenMembership, with SIDs made by AllocateAndInitializeSid of
// ADVAPI32.DLL). Both libraries are loadable when their names are among the
// fake's loadable libraries; each function is found unless its name is among
// FakeSystem::missingFunctions.
//
// The fake starts as an administrator: the user "Tester" has privilege level
// USER_PRIV_ADMIN and the token holds BUILTIN\Administrators.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/network.h"
#include "platform/types.h"

namespace platform::fake {

// NetUserGetInfo's status for a name the account database does not know.
inline constexpr std::uint32_t kNerrUserNotFound = 2221;

// SID texts of well-known groups.
inline constexpr char16_t kEveryoneSid[] = u"S-1-1-0";
inline constexpr char16_t kAdministratorsSid[] = u"S-1-5-32-544";
inline constexpr char16_t kUsersSid[] = u"S-1-5-32-545";

// One NetUserGetInfo call.
struct FakeUserInfoCall {
  std::u16string server;
  std::u16string user;
  std::uint32_t level = 0;
};

struct FakeAccounts {
  // GetUserNameW's answer; nothing makes it fail.
  std::optional<std::u16string> userName = u"Tester";
  // The local accounts by name (compared without regard to case) with their
  // privilege levels (kUserPrivGuest, kUserPrivUser, kUserPrivAdmin).
  // NetUserGetInfo fails with kNerrUserNotFound for any other name, and with
  // `userInfoError` when that is set.
  std::map<std::u16string, std::uint32_t> privilegeLevels = {{u"Tester", kUserPrivAdmin}};
  std::optional<std::uint32_t> userInfoError;
  // The groups of the program's token as SID texts ("S-1-5-32-544").
  // CheckTokenMembership answers whether a SID is among them; it fails when
  // `membershipCheckFails` is set, for a token other than 0 (the process's
  // token is no impersonation token) and for a SID that is not allocated.
  std::set<std::u16string> tokenGroups = {kEveryoneSid, kAdministratorsSid, kUsersSid};
  bool membershipCheckFails = false;

  // --- What the program did. ---
  std::vector<std::uint32_t> userNameBufferChars;
  std::vector<FakeUserInfoCall> userInfoCalls;
  // The SID texts CheckTokenMembership was asked about.
  std::vector<std::u16string> membershipChecks;
  // SIDs allocated and not yet freed (by SID, with its text), and buffers of
  // NetUserGetInfo not yet freed. Freeing anything else is a fault of the
  // program (std::logic_error).
  std::map<Handle, std::u16string> sids;
  std::set<Handle> userInfoBuffers;
};

}  // namespace platform::fake
