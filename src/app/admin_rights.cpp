#include "app/admin_rights.h"

#include <optional>

#include "common/limits.h"

namespace app {
namespace {

// Whether the token of the program is a member of BUILTIN\Administrators, or
// nothing when the system has no CheckTokenMembership to ask.
std::optional<bool> TokenIsAdministrator(platform::System& system) {
  const platform::Handle advapi32 = system.runtime().LoadLibraryWide(kAdvapi32Library);
  if (advapi32 == 0) return std::nullopt;
  auto checkMembership = system.processes().BindCheckTokenMembership(advapi32);
  auto allocateSid = system.processes().BindAllocateAndInitializeSid(advapi32);
  auto freeSid = system.processes().BindFreeSid(advapi32);
  std::optional<bool> member;
  if (checkMembership) {
    member = false;
    if (allocateSid && freeSid) {
      if (const platform::Sid administrators =
              allocateSid(kNtAuthority, kAdministratorsSubAuthorities)) {
        // Token 0: the token of the program's thread, as the system sees it.
        member = checkMembership(0, administrators).value_or(false);
        freeSid(administrators);
      }
    }
  }
  // The bound functions go before their library.
  checkMembership = nullptr;
  allocateSid = nullptr;
  freeSid = nullptr;
  system.runtime().FreeLibraryHandle(advapi32);
  return member;
}

// Whether the account of the current user has the privilege level of an
// administrator in the local account database.
bool AccountIsAdministrator(platform::System& system) {
  const platform::Handle netapi32 = system.runtime().LoadLibraryWide(kNetapi32Library);
  if (netapi32 == 0) return false;
  bool admin = false;
  {
    const auto getUserInfo = system.network().BindNetUserGetInfo(netapi32);
    const auto freeBuffer = system.network().BindNetApiBufferFree(netapi32);
    const auto user = getUserInfo && freeBuffer
                          ? system.processes().GetUserNameWide(limits::kUserNameBufferChars)
                          : std::nullopt;
    if (user) {
      const platform::NetUserGetInfoResult info = getUserInfo(u"", *user, kUserInfoLevel);
      admin = info.status == 0 && info.privilege == platform::kUserPrivAdmin;
      if (info.buffer != 0) freeBuffer(info.buffer);
    }
  }
  system.runtime().FreeLibraryHandle(netapi32);
  return admin;
}

}  // namespace

bool CheckAdminRights(platform::System& system) {
  const auto version = system.runtime().QueryVersion();
  if (!version) return false;
  switch (version->platformId) {
    case platform::kPlatformWin32Windows:
      return true;
    case platform::kPlatformWin32Nt:
      if (const auto member = TokenIsAdministrator(system)) return *member;
      return AccountIsAdministrator(system);
    default:
      return false;
  }
}

}  // namespace app
