#include "app/removal_app.h"

#include <gtest/gtest.h>

#include "app/program.h"
#include "common/process_flags.h"
#include "platform/fake/fake_system.h"
#include "resource_ids.h"

namespace {

using platform::fake::FakeSystem;
using platform::fake::ProcessExit;

// Runs the whole program on `system`; answers its exit status, whether it
// came back from ProgramMain or through ExitProcess.
int RunProgram(FakeSystem& system) {
  platform::Install(&system);
  try {
    return app::ProgramMain(system);
  } catch (const ProcessExit& exit) {
    return exit.status;
  }
}

TEST(StartUp, RunsTheMainWindowModallyWithoutOwnerAndEndsWithItsCode) {
  FakeSystem system;
  flags::rebootRequired = true;
  system.user = [](platform::fake::FakeDialog& dialog) { dialog.Click(QRT_IDC_EXIT); };
  EXPECT_EQ(RunProgram(system), 0);
  EXPECT_FALSE(flags::rebootRequired);  // cleared by the application object
  ASSERT_EQ(system.dialogs.size(), 1u);
  EXPECT_EQ(system.dialogs[0]->templateId, QRT_IDD_MAIN);
  EXPECT_EQ(system.dialogs[0]->owner, 0u);
  EXPECT_TRUE(system.messageBoxes.empty());
  EXPECT_TRUE(system.mutexes.count(u"QARTO_REMOVALGUI"));
  // The rich edit library is loaded before the window and freed after it;
  // the window itself loads Windows Sockets for its host line only.
  EXPECT_EQ(system.loadedLibraries, (std::vector<std::u16string>{u"RICHED20.DLL", u"WS2_32.DLL"}));
  EXPECT_EQ(system.freedLibraries, (std::vector<std::u16string>{u"WS2_32.DLL", u"RICHED20.DLL"}));
}

TEST(StartUp, SecondCopyShowsOneErrorBoxAndEndsWithMinus3) {
  FakeSystem system;
  system.mutexes.insert(u"QARTO_REMOVALGUI");
  EXPECT_EQ(RunProgram(system), app::kExitAlreadyRunning);
  ASSERT_EQ(system.messageBoxes.size(), 1u);
  EXPECT_EQ(system.messageBoxes[0].text, u"Program is already running.");
  EXPECT_EQ(system.messageBoxes[0].caption, u"Error");
  EXPECT_EQ(system.messageBoxes[0].owner, 0u);
  EXPECT_EQ(system.messageBoxes[0].type, platform::kMbOk);
  EXPECT_TRUE(system.dialogs.empty());
  EXPECT_TRUE(system.loadedLibraries.empty());
}

TEST(StartUp, MutexThatCannotBeMadeEndsWithMinus1Silently) {
  FakeSystem system;
  system.mutexCreationFails = true;
  EXPECT_EQ(RunProgram(system), app::kExitMutexFailed);
  EXPECT_TRUE(system.messageBoxes.empty());
  EXPECT_TRUE(system.dialogs.empty());
}

TEST(StartUp, MissingRichEditLibraryIsNotReported) {
  FakeSystem system;
  system.loadableLibraries.clear();
  system.user = [](platform::fake::FakeDialog& dialog) { dialog.Click(QRT_IDC_EXIT); };
  EXPECT_EQ(RunProgram(system), 0);
  EXPECT_TRUE(system.messageBoxes.empty());
  EXPECT_TRUE(system.freedLibraries.empty());
}

}  // namespace
