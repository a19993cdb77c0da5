// platform::ScopedHandle closes the one handle it owns exactly once.
#include <gtest/gtest.h>

#include <utility>

#include "platform/fake/fake_system.h"
#include "platform/scoped_handle.h"

namespace {

using platform::ScopedHandle;

class ScopedHandleTest : public testing::Test {
 protected:
  platform::Handle Open(const char16_t* path) {
    return api_.files()
        .CreateFileWide(path, platform::kGenericWrite, 0, platform::kCreateAlways, 0)
        .handle;
  }
  std::size_t OpenFiles() const { return system_.fileSystem.OpenHandleCount(); }

  platform::fake::FakeSystem system_;
  platform::System& api_ = system_;
};

TEST_F(ScopedHandleTest, ClosesWhenItGoesOutOfScopeOrIsClosedEarly) {
  {
    const ScopedHandle file(api_.runtime(), Open(u"C:\\a.bin"));
    ASSERT_NE(file.get(), 0u);
    EXPECT_EQ(OpenFiles(), 1u);
  }
  EXPECT_EQ(OpenFiles(), 0u);

  ScopedHandle early(api_.runtime(), Open(u"C:\\b.bin"));
  early.Close();
  EXPECT_EQ(early.get(), 0u);
  EXPECT_EQ(OpenFiles(), 0u);
}

TEST_F(ScopedHandleTest, MovesPassOwnershipAndAssignmentClosesTheOldHandle) {
  ScopedHandle first(api_.runtime(), Open(u"C:\\a.bin"));
  const platform::Handle a = first.get();
  ScopedHandle moved(std::move(first));
  EXPECT_EQ(moved.get(), a);
  EXPECT_EQ(first.get(), 0u);  // a moved-from owner owns nothing
  EXPECT_EQ(OpenFiles(), 1u);

  moved = ScopedHandle(api_.runtime(), Open(u"C:\\b.bin"));
  EXPECT_NE(moved.get(), a);
  EXPECT_EQ(OpenFiles(), 1u);  // a is closed, b is open
  EXPECT_FALSE(api_.runtime().CloseHandle(a));

  ScopedHandle none;
  none = std::move(moved);
  EXPECT_EQ(OpenFiles(), 1u);
}

}  // namespace
