// The administrator rights check on each family of Windows.
#include "app/admin_rights.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "platform/fake/fake_system.h"

namespace {

using platform::fake::FakeSystem;
using platform::fake::kAdministratorsSid;

// Whatever the check bound, allocated or loaded, it gave back.
void ExpectEverythingReleased(const FakeSystem& system) {
  EXPECT_TRUE(system.accounts.sids.empty());
  EXPECT_TRUE(system.accounts.userInfoBuffers.empty());
  auto loaded = system.loadedLibraries;
  auto freed = system.freedLibraries;
  std::sort(loaded.begin(), loaded.end());
  std::sort(freed.begin(), freed.end());
  EXPECT_EQ(loaded, freed);
}

void Nt4(FakeSystem& system) { platform::fake::SetUpWindowsNt4(system); }
void Xp(FakeSystem& system) { platform::fake::SetUpWindowsXp(system); }

TEST(AdminRights, DecidedByFamilyTokenOrAccount) {
  const struct {
    const char* name;
    std::function<void(FakeSystem&)> setUp;
    bool admin;
  } kCases[] = {
      // Every family asks the version first.
      {"9x counts everyone", [](FakeSystem& s) { platform::fake::SetUpWindows98(s); }, true},
      {"9x without either library",
       [](FakeSystem& s) {
         platform::fake::SetUpWindows98(s);
         s.loadableLibraries.clear();
       },
       true},
      {"version query fails", [](FakeSystem& s) { s.version.reset(); }, false},
      {"Win32s", [](FakeSystem& s) { s.version->platformId = 0; }, false},
      {"unknown platform", [](FakeSystem& s) { s.version->platformId = 3; }, false},

      // Windows NT 4: the account's privilege level.
      {"NT 4 administrator", Nt4, true},
      // The token holds BUILTIN\Administrators here too: NT 4 does not ask it.
      {"NT 4 user",
       [](FakeSystem& s) {
         Nt4(s);
         s.accounts.privilegeLevels[u"Tester"] = platform::kUserPrivUser;
       },
       false},
      {"NT 4 guest",
       [](FakeSystem& s) {
         Nt4(s);
         s.accounts.privilegeLevels[u"Tester"] = platform::kUserPrivGuest;
       },
       false},
      {"NT 4 name in another case",
       [](FakeSystem& s) {
         Nt4(s);
         s.accounts.userName = u"TESTER";
       },
       true},
      {"NT 4 user unknown to the account database",
       [](FakeSystem& s) {
         Nt4(s);
         s.accounts.userName = u"DOMAIN-USER";
       },
       false},
      {"NT 4 lookup fails",
       [](FakeSystem& s) {
         Nt4(s);
         s.accounts.userInfoError = 5;
       },
       false},
      {"NT 4 user name unknown",
       [](FakeSystem& s) {
         Nt4(s);
         s.accounts.userName.reset();
       },
       false},
      {"NT 4 without NetUserGetInfo",
       [](FakeSystem& s) {
         Nt4(s);
         s.missingFunctions.insert("NetUserGetInfo");
       },
       false},
      {"NT 4 without NetApiBufferFree",
       [](FakeSystem& s) {
         Nt4(s);
         s.missingFunctions.insert("NetApiBufferFree");
       },
       false},
      {"NT 4 without Netapi32.dll",
       [](FakeSystem& s) {
         Nt4(s);
         s.loadableLibraries.erase(u"NETAPI32.DLL");
       },
       false},

      // Windows 2000 and later: the token's membership.
      {"XP token member", Xp, true},
      {"XP token not member",
       [](FakeSystem& s) {
         Xp(s);
         s.accounts.tokenGroups.erase(kAdministratorsSid);
       },
       false},
      {"XP membership check fails",
       [](FakeSystem& s) {
         Xp(s);
         s.accounts.membershipCheckFails = true;
       },
       false},
      {"XP member whose account is a plain user",
       [](FakeSystem& s) {
         Xp(s);
         s.accounts.privilegeLevels[u"Tester"] = platform::kUserPrivUser;
       },
       true},
      {"XP not member although the account is an administrator",
       [](FakeSystem& s) {
         Xp(s);
         s.accounts.tokenGroups.erase(kAdministratorsSid);
         s.accounts.privilegeLevels[u"Tester"] = platform::kUserPrivAdmin;
       },
       false},
      {"XP without AllocateAndInitializeSid",
       [](FakeSystem& s) {
         Xp(s);
         s.missingFunctions.insert("AllocateAndInitializeSid");
       },
       false},
      {"XP without FreeSid",
       [](FakeSystem& s) {
         Xp(s);
         s.missingFunctions.insert("FreeSid");
       },
       false},
      {"NT family without ADVAPI32.DLL falls back on the account",
       [](FakeSystem& s) {
         Xp(s);
         s.loadableLibraries.erase(u"ADVAPI32.DLL");
       },
       true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeSystem system;
    c.setUp(system);
    EXPECT_EQ(app::CheckAdminRights(system), c.admin);
    ExpectEverythingReleased(system);
  }
}

TEST(AdminRights, TokenIsAskedAboutBuiltinAdministratorsOnly) {
  FakeSystem system;  // Windows XP
  ASSERT_TRUE(app::CheckAdminRights(system));
  EXPECT_EQ(system.accounts.membershipChecks, std::vector<std::u16string>{kAdministratorsSid});
  EXPECT_TRUE(system.accounts.userInfoCalls.empty());
  EXPECT_TRUE(system.accounts.userNameBufferChars.empty());
}

TEST(AdminRights, Nt4AsksTheLocalAccountOfTheUserAtLevel1) {
  FakeSystem system;
  platform::fake::SetUpWindowsNt4(system);
  ASSERT_TRUE(app::CheckAdminRights(system));
  EXPECT_EQ(system.accounts.userNameBufferChars, std::vector<std::uint32_t>{257});
  ASSERT_EQ(system.accounts.userInfoCalls.size(), 1u);
  EXPECT_EQ(system.accounts.userInfoCalls[0].server, u"");
  EXPECT_EQ(system.accounts.userInfoCalls[0].user, u"Tester");
  EXPECT_EQ(system.accounts.userInfoCalls[0].level, 1u);
  EXPECT_TRUE(system.accounts.membershipChecks.empty());
  EXPECT_EQ(system.loadedLibraries,
            (std::vector<std::u16string>{u"ADVAPI32.DLL", u"Netapi32.dll"}));
}

}  // namespace
