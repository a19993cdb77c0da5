// The scan run of the main window with scanners of the tests' own: the
// worker's order of phases, the window states and button changes, Stop and
// Exit during a scan, silent mode and drive letters, a second scan, a failed
// thread, and the exit status. The fake's threads run only when a test lets
// them (RunPendingThreads), so every state between the clicks can be seen.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "common/text.h"
#include "engine/scanner_table.h"
#include "platform/fake/fake_system.h"
#include "resource_ids.h"

namespace {

using codes::ScanResult;
using platform::fake::FakeDialog;
using platform::fake::FakeSystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A scanner of a given phase that answers a given code, records its runs
// and may act during one (click a button, count a finding).
class TestScanner final : public scan::Scanner {
 public:
  TestScanner(int phase, ScanResult answerGiven, std::vector<std::string>& journal,
              std::string name)
      : answer(answerGiven), phase_(phase), journal_(journal), name_(std::move(name)) {}
  int Phase() const override { return phase_; }
  ScanResult Run(scan::ScanContext& context, const scan::DriveNameList& drives) override {
    std::string entry = name_;
    for (const auto& d : drives) entry += " " + text::ToUtf8(d);
    journal_.push_back(entry);
    context.AppendText(text::FromUtf8(name_ + " ran\r\n"));
    if (during) during(context);
    // As the real scanners do: a stop request makes the answer -8.
    return context.stopRequested() ? ScanResult::kStoppedByUser : answer;
  }
  std::function<void(scan::ScanContext&)> during;
  ScanResult answer;

 private:
  int phase_;
  std::vector<std::string>& journal_;
  std::string name_;
};

class ScanRunTest : public ::testing::Test {
 protected:
  // The scanner table: a phase-1 "file" scanner first, then a phase-2
  // "memory" scanner and a phase-7 one that must never run.
  ScanRunTest()
      : scanners_(system_, [this](sys::SystemContext&) {
          std::vector<std::unique_ptr<scan::Scanner>> made;
          made.push_back(std::make_unique<TestScanner>(1, ScanResult::kDone, journal, "file"));
          made.push_back(std::make_unique<TestScanner>(2, ScanResult::kDone, journal, "memory"));
          made.push_back(std::make_unique<TestScanner>(7, ScanResult::kDone, journal, "never"));
          return made;
        }) {}

  TestScanner& file() { return static_cast<TestScanner&>(*scanners_.scanners()[0]); }
  TestScanner& memory() { return static_cast<TestScanner&>(*scanners_.scanners()[1]); }

  app::RemovalDialog& window() {
    if (!window_)
      window_ =
          std::make_unique<app::RemovalDialog>(system_, scanners_, handlers::BuiltInHandlerTable{});
    return *window_;
  }

  // Runs the window with `arguments` after the program's path on its
  // command line; `act` plays the user once it is initialised.
  FakeDialog& Open(std::function<void(FakeDialog&)> act,
                   std::u16string_view arguments = u"/NOLOG") {
    system_.commandLine = u"QuelvixRemovalTool.exe " + std::u16string(arguments);
    system_.user = std::move(act);
    result_ = system_.ui().RunModalDialog(QRT_IDD_MAIN, 0, window());
    return *system_.dialogs.back();
  }

  // The worker runs, then the window gets its message.
  void FinishWorker(FakeDialog& dialog) {
    system_.RunPendingThreads();
    dialog.DeliverPosted();
  }

  static std::vector<bool> Buttons(FakeDialog& d) {
    return {d.IsControlEnabled(QRT_IDC_START), d.IsControlEnabled(QRT_IDC_STOP),
            d.IsControlEnabled(QRT_IDC_EXIT)};
  }
  static std::u16string Output(FakeDialog& d) { return d.RichText(QRT_IDC_OUTPUT); }

  // A new window over the same scanner table, for another run.
  void NewWindow() { window_.reset(); }

  // The log file's text (UTF-16 little-endian), or nothing.
  std::optional<std::u16string> LogText(std::u16string_view path) {
    const auto* log = system_.fileSystem.Find(path);
    if (log == nullptr) return std::nullopt;
    std::u16string text;
    for (std::size_t i = 0; i + 1 < log->bytes.size(); i += 2) {
      text.push_back(static_cast<char16_t>(log->bytes[i] | (log->bytes[i + 1] << 8)));
    }
    return text;
  }

  FakeSystem system_;
  std::vector<std::string> journal;
  int result_ = 0;
  engine::ScannerTable scanners_;

 private:
  std::unique_ptr<app::RemovalDialog> window_;
};

constexpr bool kOn = true;
constexpr bool kOff = false;

TEST_F(ScanRunTest, StartRunsMemoryThenFileOnTheWorkerAndReturnsToIdle) {
  Open([&](FakeDialog& d) {
    EXPECT_EQ(Buttons(d), (std::vector<bool>{kOn, kOff, kOn}));
    d.Click(QRT_IDC_START);
    EXPECT_EQ(Buttons(d), (std::vector<bool>{kOff, kOn, kOn}));
    EXPECT_EQ(d.focus, QRT_IDC_STOP);
    EXPECT_TRUE(window().scanRunning());
    EXPECT_TRUE(journal.empty());  // nothing runs on the window's thread
    FinishWorker(d);
    EXPECT_THAT(journal, ElementsAre("memory", "file"));
    EXPECT_EQ(Buttons(d), (std::vector<bool>{kOn, kOff, kOn}));
    EXPECT_EQ(d.focus, QRT_IDC_EXIT);
    EXPECT_EQ(system_.waitedThreads.size(), 1u);
    EXPECT_EQ(system_.OpenThreadCount(), 0u);
    d.Click(QRT_IDC_EXIT);
  });
  EXPECT_EQ(result_, 0);
}

TEST_F(ScanRunTest, StopDuringTheMemoryScanSkipsTheFileScanAndReportsTheStop) {
  Open([&](FakeDialog& d) {
    memory().during = [&](scan::ScanContext&) {
      d.Click(QRT_IDC_STOP);
      EXPECT_EQ(Buttons(d), (std::vector<bool>{kOff, kOff, kOff}));
    };
    d.Click(QRT_IDC_START);
    FinishWorker(d);
    EXPECT_THAT(journal, ElementsAre("memory"));
    const std::u16string out = Output(d);
    EXPECT_THAT(text::ToUtf8(out),
                HasSubstr("memory ran\r\rScan aborted by user\r\rscan results:"));
    EXPECT_EQ(Buttons(d), (std::vector<bool>{kOn, kOff, kOn}));
    d.Click(QRT_IDC_EXIT);
  });
  EXPECT_EQ(result_, codes::ToInt(ScanResult::kStoppedByUser));
}

TEST_F(ScanRunTest, ExitDuringAScanStopsItThenWritesTheLogAfterTheReport) {
  Open(
      [&](FakeDialog& d) {
        d.Click(QRT_IDC_START);
        d.Click(QRT_IDC_EXIT);
        EXPECT_EQ(Buttons(d), (std::vector<bool>{kOff, kOff, kOff}));
        EXPECT_TRUE(system_.fileSystem.Find(u"C:\\scan.log") == nullptr);
        FinishWorker(d);
      },
      u"/LOG C:\\scan.log");
  EXPECT_EQ(result_, codes::ToInt(ScanResult::kStoppedByUser));
  const auto logged = LogText(u"C:\\scan.log");
  ASSERT_TRUE(logged.has_value());
  EXPECT_THAT(text::ToUtf8(*logged), HasSubstr("Scan aborted by user\r\n\r\nscan results:"));
  EXPECT_EQ(system_.OpenThreadCount(), 0u);
}

TEST_F(ScanRunTest, ARunLongerThanTheDefaultTextLimitReachesTheLogWhole) {
  // 400 lines of 100 characters: more than the 32,767 characters a rich
  // edit holds until its limit is raised.
  std::u16string lines;
  for (int i = 0; i < 400; ++i) {
    lines += text::Format(u"line %04d ", {i}) + std::u16string(88, u'.') + u"\r\n";
  }
  for (const bool raised : {true, false}) {
    SCOPED_TRACE(raised ? "limit raised by the window" : "limit left at the default");
    NewWindow();
    Open(
        [&](FakeDialog& d) {
          if (!raised) d.controls[QRT_IDC_OUTPUT].textLimit = platform::kRichEditDefaultTextLimit;
          file().during = [&](scan::ScanContext& context) {
            for (std::size_t at = 0; at < lines.size(); at += 500) {
              context.AppendText(std::u16string_view(lines).substr(at, 500));
            }
          };
          d.Click(QRT_IDC_START);
          FinishWorker(d);
          d.Click(QRT_IDC_EXIT);
        },
        u"/LOG C:\\scan.log");
    file().during = nullptr;
    const auto logged = LogText(u"C:\\scan.log");
    ASSERT_TRUE(logged.has_value());
    const bool whole = logged->find(lines) != std::u16string::npos &&
                       logged->find(u"Thank you for using") != std::u16string::npos;
    EXPECT_EQ(whole, raised);
  }
}

TEST_F(ScanRunTest, ExitJustAsTheWorkerEndsNormallyStillTakesTheExitPath) {
  Open([&](FakeDialog& d) {
    d.Click(QRT_IDC_START);
    system_.RunPendingThreads();  // the worker ended; its message waits
    d.Click(QRT_IDC_EXIT);
    d.DeliverPosted();
  });
  EXPECT_EQ(result_, 0);
  EXPECT_THAT(journal, ElementsAre("memory", "file"));
}

TEST_F(ScanRunTest, ASecondScanFollowsTwoEmptyLines) {
  Open([&](FakeDialog& d) {
    d.Click(QRT_IDC_START);
    FinishWorker(d);
    const std::size_t first = Output(d).size();
    d.Click(QRT_IDC_START);
    FinishWorker(d);
    EXPECT_EQ(Output(d).substr(first, 13), u"\r\rmemory ran\r");
    d.Click(QRT_IDC_EXIT);
  });
  EXPECT_THAT(journal, ElementsAre("memory", "file", "memory", "file"));
}

TEST_F(ScanRunTest, SilentModeScansHiddenAndEndsTheProgram) {
  // One scan, of the drives given, or of every fixed drive (the file scanner
  // gets no drive list) when none is given.
  for (const auto& [commandLine, fileScan] :
       {std::pair{u"/SILENT /NOLOG D: c:", "file D: c:"}, std::pair{u"/SILENT /NOLOG", "file"}}) {
    SCOPED_TRACE(text::ToUtf8(commandLine));
    journal.clear();
    NewWindow();
    Open(
        [&](FakeDialog& d) {
          EXPECT_FALSE(d.visible);
          EXPECT_EQ(Buttons(d), (std::vector<bool>{kOff, kOn, kOn}));
          FinishWorker(d);
        },
        commandLine);
    EXPECT_THAT(journal, ElementsAre("memory", fileScan));
    EXPECT_EQ(result_, 0);
  }
}

TEST_F(ScanRunTest, DriveLettersStartAScanByThemselves) {
  Open(
      [&](FakeDialog& d) {
        EXPECT_TRUE(d.visible);
        EXPECT_TRUE(window().scanRunning());
        FinishWorker(d);
        EXPECT_EQ(Buttons(d), (std::vector<bool>{kOn, kOff, kOn}));
        d.Click(QRT_IDC_EXIT);
      },
      u"/NOLOG E:");
  EXPECT_THAT(journal, ElementsAre("memory", "file E:"));
}

TEST_F(ScanRunTest, AWorkerThatCannotStartEndsTheScanWithASynchronizationError) {
  system_.threadCreationFails = true;
  Open([&](FakeDialog& d) {
    d.Click(QRT_IDC_START);
    EXPECT_FALSE(window().scanRunning());
    EXPECT_THAT(text::ToUtf8(Output(d)),
                HasSubstr("\rScan aborted: synchronization error\r\rscan results:"));
    EXPECT_EQ(Buttons(d), (std::vector<bool>{kOn, kOff, kOn}));
    d.Click(QRT_IDC_EXIT);
  });
  EXPECT_EQ(result_, codes::ToInt(ScanResult::kSynchronizationError));
}

TEST_F(ScanRunTest, WithoutRightsStartStaysDisabledButDriveLettersStillScan) {
  system_.accounts.tokenGroups.erase(platform::fake::kAdministratorsSid);
  system_.user = nullptr;
  system_.commandLine = u"QuelvixRemovalTool.exe /NOLOG D:";
  bool rightsDialogShown = false;
  system_.user = [&](FakeDialog& d) {
    if (d.templateId == QRT_IDD_NO_ADMIN_RIGHTS) {
      rightsDialogShown = true;
      // The dialog comes after the window is shown, before the automatic start.
      EXPECT_TRUE(journal.empty());
      d.Click(platform::kIdOk);
      return;
    }
    EXPECT_FALSE(d.IsControlEnabled(QRT_IDC_START));
    EXPECT_TRUE(window().scanRunning());
    FinishWorker(d);
    EXPECT_EQ(Buttons(d), (std::vector<bool>{kOff, kOff, kOn}));
    d.Click(QRT_IDC_EXIT);
  };
  result_ = system_.ui().RunModalDialog(QRT_IDD_MAIN, 0, window());
  EXPECT_TRUE(rightsDialogShown);
  EXPECT_THAT(journal, ElementsAre("memory", "file D:"));
  EXPECT_EQ(result_, codes::ToInt(codes::WindowEndCode::kNoAdminRights));
}

TEST_F(ScanRunTest, SilentWithoutRightsTellsItInTheOutputAndEndsByItself) {
  // No dialog waits for a user who is not there: the hidden run scans and
  // ends, and its output (the log) says why the status is -2.
  system_.accounts.tokenGroups.erase(platform::fake::kAdministratorsSid);
  std::vector<std::uint32_t> templates;
  Open(
      [&](FakeDialog& d) {
        templates.push_back(d.templateId);
        if (d.templateId != QRT_IDD_MAIN) return;
        EXPECT_FALSE(d.visible);
        EXPECT_THAT(text::ToUtf8(Output(d)),
                    HasSubstr("Administrator rights are required in order to scan and clean the "
                              "system.\r"));
        FinishWorker(d);
      },
      u"/SILENT /NOLOG");
  EXPECT_THAT(templates, ElementsAre(QRT_IDD_MAIN));
  EXPECT_THAT(journal, ElementsAre("memory", "file"));
  EXPECT_EQ(result_, codes::ToInt(codes::WindowEndCode::kNoAdminRights));
}

TEST_F(ScanRunTest, ARemovalLeftForTheNextStartAsksToRebootOnTheExitPath) {
  for (const int answer : {platform::kIdNo, platform::kIdYes}) {
    SCOPED_TRACE(answer);
    NewWindow();
    system_.messageBoxes.clear();
    system_.messageBoxAnswers = {answer};
    system_.exitWindowsCalls.clear();
    Open([&](FakeDialog& d) {
      file().during = [](scan::ScanContext& context) { context.rebootRequired() = true; };
      d.Click(QRT_IDC_START);
      FinishWorker(d);
      EXPECT_TRUE(system_.messageBoxes.empty());  // asked on the exit path only
      d.Click(QRT_IDC_EXIT);
    });
    ASSERT_EQ(system_.messageBoxes.size(), 1u);
    EXPECT_THAT(text::ToUtf8(system_.messageBoxes[0].text),
                HasSubstr("Windows needs to be rebooted in order to complete removal process."));
    EXPECT_EQ(system_.messageBoxes[0].caption, u"QuelvixRemovalTool");
    // Only the fake ever restarts: Yes asks it once, with reboot and force.
    EXPECT_EQ(system_.exitWindowsCalls, answer == platform::kIdYes ? std::vector<std::uint32_t>{6}
                                                                   : std::vector<std::uint32_t>{});
  }
}

TEST_F(ScanRunTest, TheExitStatusTellsWhatTheLastScanCameTo) {
  enum Found { kNothing, kInMemory, kInFiles };
  struct Case {
    const char* name;
    ScanResult memory;
    ScanResult file;
    Found found;
    bool stopAfterMemory;   // Stop is clicked during the memory scan, after any finding
    bool earlierScanFound;  // an earlier scan of the run found malware in memory
    int status;
    bool aborted;
  };
  const Case cases[] = {
      {"clean", ScanResult::kDone, ScanResult::kDone, kNothing, false, false, 0, false},
      {"malware found", ScanResult::kDone, ScanResult::kMalwareFound, kInFiles, false, false, 1,
       false},
      {"memory scan failed, file scan went on", ScanResult::kProcessSnapshotError,
       ScanResult::kDone, kNothing, false, false, -6, false},
      {"failed and found", ScanResult::kProcessSnapshotError, ScanResult::kMalwareFound, kInFiles,
       false, false, 1, false},
      {"no drives", ScanResult::kDone, ScanResult::kNoDrivesFound, kNothing, false, false, -10,
       false},
      {"stopped after a finding: the machine is infected", ScanResult::kDone, ScanResult::kDone,
       kInMemory, true, false, 1, true},
      {"stopped with nothing found", ScanResult::kDone, ScanResult::kDone, kNothing, true, false,
       -8, true},
      // The statistics still hold the earlier scan's infected process (a
      // memory scanner that fails early never resets them).
      {"an earlier scan's finding does not count", ScanResult::kProcessSnapshotError,
       ScanResult::kDone, kNothing, false, true, -6, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewWindow();
    Open([&](FakeDialog& d) {
      if (c.earlierScanFound) {
        memory().answer = ScanResult::kDone;
        file().answer = ScanResult::kDone;
        memory().during = [](scan::ScanContext& context) { context.CountInfectedProcess(); };
        file().during = nullptr;
        d.Click(QRT_IDC_START);
        FinishWorker(d);
      }
      memory().answer = c.memory;
      file().answer = c.file;
      memory().during = [&](scan::ScanContext& context) {
        if (c.found == kInMemory) context.CountInfectedProcess();
        if (c.stopAfterMemory) d.Click(QRT_IDC_STOP);
      };
      file().during = [&](scan::ScanContext& context) {
        if (c.found == kInFiles) context.CountInfectedFile();
      };
      const std::size_t start = Output(d).size();
      d.Click(QRT_IDC_START);
      FinishWorker(d);
      EXPECT_EQ(Output(d).find(u"Scan aborted", start) != std::u16string::npos, c.aborted);
      d.Click(QRT_IDC_EXIT);
    });
    EXPECT_EQ(result_, c.status);
  }
}

TEST_F(ScanRunTest, OnlyTheWorkersTaggedMessagesWhileItExistsEndAScan) {
  // The same numbers are the dialog manager's DM_SETDEFID and DM_REPOSITION.
  constexpr std::uint32_t kStopped = platform::kWmUser + 1;
  constexpr std::uint32_t kEnded = platform::kWmUser + 2;
  constexpr std::int64_t kTag = 0xCAFEBABE;
  struct Case {
    const char* name;
    std::uint32_t message;
    std::int64_t lParam;
    bool duringScan;  // else after a scan that has ended
    bool acted;
  };
  const Case cases[] = {
      {"stop message without the tag", kStopped, 0, true, false},
      {"end message with another tag", kEnded, 0xCAFEBABF, true, false},
      {"stop message with the tag, no worker", kStopped, kTag, false, false},
      {"end message with the tag, no worker", kEnded, kTag, false, false},
      {"stop message with the tag", kStopped, kTag, true, true},
      // As a 32-bit LPARAM brings the tag.
      {"end message with the tag sign-extended", kEnded, static_cast<std::int32_t>(0xCAFEBABE),
       true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NewWindow();
    Open([&](FakeDialog& d) {
      d.Click(QRT_IDC_START);
      // With Stop the worker's own message is the stop message.
      if (c.message == kStopped) d.Click(QRT_IDC_STOP);
      system_.RunPendingThreads();  // the worker has ended; its message waits
      if (!c.duringScan) d.DeliverPosted();
      const std::u16string before = Output(d);
      const std::vector<bool> buttons = Buttons(d);
      const auto wParam = static_cast<std::uint64_t>(codes::ToInt(ScanResult::kStoppedByUser));
      EXPECT_EQ(d.handler().OnMessage(c.message, wParam, c.lParam), c.acted);
      if (c.acted) {
        EXPECT_EQ(Buttons(d), (std::vector<bool>{kOn, kOff, kOn}));
      } else {
        EXPECT_EQ(Output(d), before);
        EXPECT_EQ(Buttons(d), buttons);
      }
      // The worker's own message that follows is acted on once at most.
      d.DeliverPosted();
      const std::string out = text::ToUtf8(Output(d));
      std::size_t reports = 0;
      for (auto at = out.find("scan results:"); at != std::string::npos;
           at = out.find("scan results:", at + 1)) {
        ++reports;
      }
      EXPECT_EQ(reports, 1u);
      EXPECT_EQ(system_.OpenThreadCount(), 0u);
      d.Click(QRT_IDC_EXIT);
    });
  }
}

}  // namespace
