// The system context: version flags and the functions bound at run time.
#include "detect/system_context.h"

#include <gtest/gtest.h>

#include "script_test_support.h"

namespace {

using Libraries = std::vector<std::u16string>;

class SystemContextTest : public script_test::FakeSystemTest {};

TEST_F(SystemContextTest, VersionFlagsOfEachFamily) {
  struct Case {
    std::uint32_t platformId;
    std::uint32_t major;
    bool windows9x;
    bool nt4;
  };
  const Case cases[] = {
      {platform::kPlatformWin32Windows, 4, true, false},
      {platform::kPlatformWin32Nt, 4, false, true},
      {platform::kPlatformWin32Nt, 5, false, false},
      {platform::kPlatformWin32Nt, 3, false, false},
      {0, 4, false, false},  // an unknown platform
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.platformId << "." << c.major);
    system.version = platform::OsVersion{c.platformId, c.major, 0, 0, u""};
    detect::SystemContext context(system);
    EXPECT_FALSE(context.versionQueryFailed());
    EXPECT_EQ(context.isWindows9x(), c.windows9x);
    EXPECT_EQ(context.isWindowsNt4(), c.nt4);
  }
}

TEST_F(SystemContextTest, BindsShellThenKernelFunctionsAndReleasesBothAtTheEnd) {
  {
    detect::SystemContext context(system);
    EXPECT_EQ(system.loadedLibraries, (Libraries{u"shell32.dll", u"KERNEL32.DLL"}));
    EXPECT_TRUE(context.specialFolderPath());
    EXPECT_TRUE(context.longPathName());
    EXPECT_TRUE(system.freedLibraries.empty());
  }
  EXPECT_EQ(system.freedLibraries, (Libraries{u"shell32.dll", u"KERNEL32.DLL"}));
}

TEST_F(SystemContextTest, FailedVersionQueryBindsNothing) {
  system.version.reset();
  detect::SystemContext context(system);
  EXPECT_TRUE(context.versionQueryFailed());
  EXPECT_FALSE(context.isWindows9x() || context.isWindowsNt4());
  EXPECT_FALSE(context.specialFolderPath());
  EXPECT_FALSE(context.longPathName());
  EXPECT_TRUE(system.loadedLibraries.empty());
}

TEST_F(SystemContextTest, MissingFunctionsAndLibraries) {
  system.missingFunctions = {"SHGetSpecialFolderPathW", "GetLongPathNameW"};
  {
    detect::SystemContext context(system);
    EXPECT_FALSE(context.specialFolderPath());
    EXPECT_FALSE(context.longPathName());
    // shell32.dll goes at once; KERNEL32.DLL is held to the end.
    EXPECT_EQ(system.freedLibraries, Libraries{u"shell32.dll"});
  }
  EXPECT_EQ(system.freedLibraries, (Libraries{u"shell32.dll", u"KERNEL32.DLL"}));

  system.missingFunctions.clear();
  system.loadableLibraries = {u"KERNEL32.DLL"};
  detect::SystemContext context(system);
  EXPECT_FALSE(context.specialFolderPath());
  EXPECT_TRUE(context.longPathName());
}

TEST_F(SystemContextTest, ProcessWideContextIsMadeOnceOverTheCurrentSystem) {
  detect::SystemContext& first = detect::GetSystemContext();
  EXPECT_EQ(&detect::GetSystemContext(), &first);
  EXPECT_EQ(&first.system(), &system);
  EXPECT_EQ(system.loadedLibraries.size(), 2u);

  detect::DestroySystemContext();
  EXPECT_EQ(system.freedLibraries.size(), 2u);
  platform::fake::FakeSystem other;
  platform::fake::SetUpWindowsNt4(other);
  platform::Install(&other);
  EXPECT_TRUE(detect::GetSystemContext().isWindowsNt4());
  EXPECT_EQ(&detect::GetSystemContext().system(), &other);
  detect::DestroySystemContext();
  platform::Install(&system);
}

}  // namespace
