#include "app/removal_app.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/program.h"
#include "common/process_flags.h"
#include "detect/system_context.h"
#include "platform/fake/fake_system.h"
#include "resource_ids.h"
#include "script_test_support.h"

namespace {

using platform::fake::FakeSystem;
using platform::fake::ProcessExit;

// Runs the whole program on `system`; answers its exit status, whether it
// came back from ProgramMain or through ExitProcess.
int RunProgram(FakeSystem& system) {
  platform::Install(&system);
  detect::DestroySystemContext();
  int status = 0;
  try {
    status = app::ProgramMain(system);
  } catch (const ProcessExit& exit) {
    status = exit.status;
  }
  // An ended process leaves its system context behind.
  detect::DestroySystemContext();
  return status;
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
  // The rich edit library is loaded once, before the window (whose set-up
  // adds the system context's libraries and Windows Sockets for the host
  // line), and freed once, after the window has freed what it loaded.
  const auto& loaded = system.loadedLibraries;
  const auto& freed = system.freedLibraries;
  ASSERT_FALSE(loaded.empty());
  EXPECT_EQ(loaded.front(), u"RICHED20.DLL");
  EXPECT_EQ(std::count(loaded.begin(), loaded.end(), u"RICHED20.DLL"), 1);
  EXPECT_EQ(std::count(freed.begin(), freed.end(), u"RICHED20.DLL"), 1);
  const auto richEdit = std::find(freed.begin(), freed.end(), u"RICHED20.DLL");
  const auto winsock = std::find(freed.begin(), freed.end(), u"WS2_32.DLL");
  EXPECT_LT(winsock, richEdit);
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

TEST(StartUp, ScriptParseErrorEndsWithMinus20BeforeTheWindowIsShown) {
  FakeSystem system;
  system.resources[{u"SCRIPTFILE", u"#161"}] =
      script_test::ScriptBytes(script_test::Crlf("[Malware A.B]\nSIGNATURE_MEM 00\nFOO\n"));
  EXPECT_EQ(RunProgram(system), -20);
  ASSERT_EQ(system.messageBoxes.size(), 2u);
  EXPECT_EQ(system.messageBoxes[0].text, u"Line   3: Invalid action name \"FOO\".\n");
  EXPECT_EQ(system.messageBoxes[0].caption, u"Parse Error");
  EXPECT_EQ(system.messageBoxes[1].text,
            u"The application will not start until you fix the previous parse error.");
  EXPECT_EQ(system.messageBoxes[1].caption, u"Error");
  ASSERT_EQ(system.dialogs.size(), 1u);
  EXPECT_FALSE(system.dialogs[0]->visible);
}

TEST(StartUp, BuiltInScriptLoadsSilentlyAndTheSystemContextIsReleasedAtTheEnd) {
  FakeSystem system;
  script_test::InstallBuiltInScript(system);
  system.user = [](platform::fake::FakeDialog& dialog) { dialog.Click(QRT_IDC_EXIT); };
  EXPECT_EQ(RunProgram(system), 0);
  EXPECT_TRUE(system.messageBoxes.empty());
  EXPECT_TRUE(system.dialogs[0]->visible);
  // shell32.dll and KERNEL32.DLL of the system context are freed as well.
  EXPECT_EQ(system.freedLibraries.size(), system.loadedLibraries.size());
}

}  // namespace
