// The reboot question and the restart of Windows, against the fake.
#include "app/reboot.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/fake/fake_system.h"

namespace {

using platform::fake::FakeSystem;

constexpr platform::WindowId kOwner = 0x77;

TEST(Reboot, AnswerAndSystemDecideWhetherWindowsRestarts) {
  const struct {
    const char* name;
    std::function<void(FakeSystem&)> setUp;
    int answer;
    bool tokenAsked;
    bool exitWindowsCalled;
    bool failureShown;
  } kCases[] = {
      {"No", [](FakeSystem&) {}, platform::kIdNo, false, false, false},
      {"Yes", [](FakeSystem&) {}, platform::kIdYes, true, true, false},
      {"Yes, restart refused", [](FakeSystem& s) { s.exitWindowsRefused = true; }, platform::kIdYes,
       true, true, true},
      {"Yes, privilege not held",
       [](FakeSystem& s) {
         s.processTable.adjustAnswer = {true, platform::kErrorNotAllAssigned};
       },
       platform::kIdYes, true, false, true},
      {"Yes, adjustment fails",
       [](FakeSystem& s) {
         s.processTable.adjustAnswer = {false, 5};
       },
       platform::kIdYes, true, false, true},
      {"Yes, token cannot be opened", [](FakeSystem& s) { s.processTable.tokenOpenFails = true; },
       platform::kIdYes, true, false, true},
      {"Yes, privilege unknown",
       [](FakeSystem& s) { s.processTable.privileges.erase(u"SeShutdownPrivilege"); },
       platform::kIdYes, true, false, true},
      {"Yes on Windows 98, which has no token",
       [](FakeSystem& s) { platform::fake::SetUpWindows98(s); }, platform::kIdYes, false, true,
       false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeSystem system;
    c.setUp(system);
    system.messageBoxAnswers = {c.answer};
    app::AskReboot(system, kOwner);

    ASSERT_GE(system.messageBoxes.size(), 1u);
    const platform::fake::MessageBoxCall& question = system.messageBoxes[0];
    EXPECT_EQ(question.owner, kOwner);
    EXPECT_EQ(question.text,
              u"Windows needs to be rebooted in order to complete removal process. "
              u"Would you like to reboot the computer right now?");
    EXPECT_EQ(question.caption, u"QuelvixRemovalTool");
    EXPECT_EQ(question.type, platform::kMbYesNo);

    EXPECT_EQ(!system.processTable.tokenAccesses.empty(), c.tokenAsked);
    EXPECT_EQ(system.exitWindowsCalls,
              c.exitWindowsCalled ? std::vector<std::uint32_t>{6} : std::vector<std::uint32_t>{});
    ASSERT_EQ(system.messageBoxes.size(), c.failureShown ? 2u : 1u);
    if (c.failureShown) {
      const platform::fake::MessageBoxCall& failure = system.messageBoxes[1];
      EXPECT_EQ(failure.owner, kOwner);
      EXPECT_EQ(failure.text, u"Failed to reboot the system. Please reboot it manually.");
      EXPECT_EQ(failure.caption, u"QuelvixRemovalTool");
      EXPECT_EQ(failure.type, platform::kMbOk);
    }
    EXPECT_EQ(system.OpenProcessObjectCount(), 0u);
  }
}

TEST(Reboot, EnablesTheShutdownPrivilegeOfItsOwnToken) {
  FakeSystem system;
  ASSERT_TRUE(app::RebootSystem(system, kOwner));
  EXPECT_EQ(system.processTable.tokenAccesses, std::vector<std::uint32_t>{0x28});
  EXPECT_EQ(system.processTable.lookedUpPrivileges,
            std::vector<std::u16string>{u"SeShutdownPrivilege"});
  ASSERT_EQ(system.processTable.adjustments.size(), 1u);
  EXPECT_EQ(system.processTable.adjustments[0].privilege, 19u);
  EXPECT_EQ(system.processTable.adjustments[0].attributes, platform::kSePrivilegeEnabled);
  EXPECT_TRUE(system.messageBoxes.empty());
}

}  // namespace
