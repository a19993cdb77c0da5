#include "app/removal_app.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/program.h"
#include "platform/fake/fake_system.h"
#include "resource_ids.h"
#include "script_test_support.h"

namespace {

using platform::fake::FakeSystem;
using platform::fake::ProcessExit;

// Runs the whole program on `system`; answers its exit status, whether it
// came back from ProgramMain or through ExitProcess.
int RunProgram(FakeSystem& system) {
  try {
    return app::ProgramMain(system);
  } catch (const ProcessExit& exit) {
    return exit.status;
  }
}

TEST(StartUp, RunsTheMainWindowModallyWithoutOwnerAndEndsWithItsCode) {
  FakeSystem system;
  system.user = [](platform::fake::FakeDialog& dialog) { dialog.Click(QRT_IDC_EXIT); };
  EXPECT_EQ(RunProgram(system), 0);
  ASSERT_EQ(system.dialogs.size(), 1u);
  EXPECT_EQ(system.dialogs[0]->templateId, QRT_IDD_MAIN);
  EXPECT_EQ(system.dialogs[0]->owner, 0u);
  EXPECT_TRUE(system.messageBoxes.empty());
  EXPECT_TRUE(system.mutexes.count(u"QARTO_REMOVALGUI"));
  // The system context (made with the scanner table, before the application)
  // loads its libraries first; the application then loads the rich edit
  // library once, and the window ADVAPI32.DLL for the rights check (freed at
  // once) and Windows Sockets for the host line. The others are freed in the
  // reverse order: Windows Sockets by the window, the rich edit library by
  // the application, the context's libraries last.
  EXPECT_EQ(system.loadedLibraries,
            (std::vector<std::u16string>{u"shell32.dll", u"KERNEL32.DLL", u"RICHED20.DLL",
                                         u"ADVAPI32.DLL", u"WS2_32.DLL"}));
  EXPECT_EQ(system.freedLibraries,
            (std::vector<std::u16string>{u"ADVAPI32.DLL", u"WS2_32.DLL", u"RICHED20.DLL",
                                         u"shell32.dll", u"KERNEL32.DLL"}));
}

TEST(StartUp, SecondCopyShowsOneErrorBoxAndEndsWithMinus3) {
  FakeSystem system;
  system.mutexes.insert(u"QARTO_REMOVALGUI");
  EXPECT_EQ(RunProgram(system), -3);
  ASSERT_EQ(system.messageBoxes.size(), 1u);
  EXPECT_EQ(system.messageBoxes[0].text, u"Program is already running.");
  EXPECT_EQ(system.messageBoxes[0].caption, u"Error");
  EXPECT_EQ(system.messageBoxes[0].owner, 0u);
  EXPECT_EQ(system.messageBoxes[0].type, platform::kMbOk);
  EXPECT_TRUE(system.dialogs.empty());
  EXPECT_EQ(
      std::count(system.loadedLibraries.begin(), system.loadedLibraries.end(), u"RICHED20.DLL"), 0);
}

TEST(StartUp, MutexThatCannotBeMadeEndsWithMinus1Silently) {
  FakeSystem system;
  system.mutexCreationFails = true;
  EXPECT_EQ(RunProgram(system), -1);
  EXPECT_TRUE(system.messageBoxes.empty());
  EXPECT_TRUE(system.dialogs.empty());
}

TEST(StartUp, MissingRichEditLibraryIsNotReported) {
  FakeSystem system;
  system.loadableLibraries.erase(u"RICHED20.DLL");
  system.user = [](platform::fake::FakeDialog& dialog) { dialog.Click(QRT_IDC_EXIT); };
  EXPECT_EQ(RunProgram(system), 0);
  EXPECT_TRUE(system.messageBoxes.empty());
  EXPECT_EQ(std::count(system.freedLibraries.begin(), system.freedLibraries.end(), u"RICHED20.DLL"),
            0);
}

TEST(StartUp, ScriptParseErrorEndsWithMinus20BeforeTheWindowIsShown) {
  FakeSystem system;
  system.resourceData[{descriptions::kScriptResourceType, descriptions::kScriptResourceName}] =
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
