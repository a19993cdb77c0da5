// The rights check's calls against the real system (run under Wine): the
// group membership functions of ADVAPI32.DLL and the account lookup of
// NETAPI32.DLL, bound through the backend. Nothing here restarts Windows:
// ExitWindowsEx is never called.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <memory>

#include "app/admin_rights.h"
#include "common/limits.h"
#include "common/text.h"
#include "platform/win32/win32_system.h"

namespace {

class Win32RightsTest : public ::testing::Test {
 protected:
  std::unique_ptr<platform::System> system_ = platform::win32::CreateSystem();
};

// What the system itself answers about the thread's token and the
// administrators, asked without the backend.
bool TokenIsAdministratorDirectly() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &administrators)) {
    ADD_FAILURE() << "AllocateAndInitializeSid failed";
    return false;
  }
  BOOL member = FALSE;
  EXPECT_TRUE(::CheckTokenMembership(nullptr, administrators, &member));
  ::FreeSid(administrators);
  return member != FALSE;
}

TEST_F(Win32RightsTest, TokenMembershipOfTheAdministrators) {
  const platform::Handle advapi32 = system_->runtime().LoadLibraryWide(app::kAdvapi32Library);
  ASSERT_NE(advapi32, 0u);
  {
    const auto allocate = system_->processes().BindAllocateAndInitializeSid(advapi32);
    const auto check = system_->processes().BindCheckTokenMembership(advapi32);
    const auto freeSid = system_->processes().BindFreeSid(advapi32);
    ASSERT_TRUE(allocate && check && freeSid);
    const platform::Sid administrators =
        allocate(app::kNtAuthority, app::kAdministratorsSubAuthorities);
    ASSERT_NE(administrators, 0u);
    EXPECT_TRUE(::IsValidSid(reinterpret_cast<PSID>(static_cast<std::uintptr_t>(administrators))));
    const auto member = check(0, administrators);
    ASSERT_TRUE(member.has_value());
    EXPECT_EQ(*member, TokenIsAdministratorDirectly());
    freeSid(administrators);

    const std::array<std::uint32_t, 9> tooMany{};
    EXPECT_EQ(allocate(app::kNtAuthority, tooMany), 0u);
  }
  system_->runtime().FreeLibraryHandle(advapi32);
}

TEST_F(Win32RightsTest, PrivilegeLevelOfTheCurrentUser) {
  const platform::Handle netapi32 = system_->runtime().LoadLibraryWide(app::kNetapi32Library);
  ASSERT_NE(netapi32, 0u);
  {
    const auto getInfo = system_->network().BindNetUserGetInfo(netapi32);
    const auto freeBuffer = system_->network().BindNetApiBufferFree(netapi32);
    ASSERT_TRUE(getInfo && freeBuffer);
    const auto user = system_->processes().GetUserNameWide(limits::kUserNameBufferChars);
    ASSERT_TRUE(user.has_value());
    ASSERT_FALSE(user->empty());
    // No room for the zero.
    EXPECT_FALSE(
        system_->processes().GetUserNameWide(static_cast<std::uint32_t>(user->size())).has_value());

    const platform::NetUserGetInfoResult info = getInfo(u"", *user, app::kUserInfoLevel);
    ASSERT_EQ(info.status, 0u) << text::ToUtf8(*user);
    ASSERT_NE(info.buffer, 0u);
    // Wine answers privilege level 0 for the user who runs it.
    EXPECT_LE(info.privilege, platform::kUserPrivAdmin);
    EXPECT_EQ(freeBuffer(info.buffer), 0u);

    const platform::NetUserGetInfoResult unknown =
        getInfo(u"", u"QRT-NoSuchUser", app::kUserInfoLevel);
    EXPECT_NE(unknown.status, 0u);
    if (unknown.buffer != 0) freeBuffer(unknown.buffer);
  }
  system_->runtime().FreeLibraryHandle(netapi32);
}

TEST_F(Win32RightsTest, CheckFollowsTheTokenOnTheNtFamily) {
  const auto version = system_->runtime().QueryVersion();
  ASSERT_TRUE(version.has_value());
  const bool expected =
      version->platformId == platform::kPlatformWin32Windows || TokenIsAdministratorDirectly();
  EXPECT_EQ(app::CheckAdminRights(*system_), expected);
}

}  // namespace
