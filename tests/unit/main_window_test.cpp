#include "app/main_window.h"

#include <gtest/gtest.h>

#include "app/header_texts.h"
#include "common/text.h"
#include "engine/scanner_table.h"
#include "platform/fake/fake_system.h"
#include "resource_ids.h"
#include "script_test_support.h"

namespace {

using platform::CharFormat;
using platform::Rgb;
using platform::fake::FakeDialog;
using platform::fake::FakeSystem;

// A stretch of the output view's text in one format.
struct Span {
  std::u16string text;
  CharFormat format;
  bool operator==(const Span&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Span& span) {
  return out << '"' << text::ToUtf8(span.text) << "\" bold=" << span.format.bold << " colour=0x"
             << std::hex << span.format.colour << std::dec << " auto=" << span.format.autoColour;
}

// The output view's text cut into spans of one format each.
std::vector<Span> Spans(FakeDialog& dialog) {
  const platform::fake::FakeControl& view = dialog.controls.at(QRT_IDC_OUTPUT);
  std::vector<Span> spans;
  for (std::size_t i = 0; i < view.text.size(); ++i) {
    if (spans.empty() || !(spans.back().format == view.formats[i])) {
      spans.push_back(Span{u"", view.formats[i]});
    }
    spans.back().text.push_back(view.text[i]);
  }
  return spans;
}

constexpr CharFormat kPlain{false, 0, false};
constexpr CharFormat kBoldRed{true, Rgb(255, 0, 0), false};
constexpr CharFormat kDefault{false, 0, true};

// Runs `before` on the fake dialog ahead of the window's own initialisation.
struct BeforeInit : platform::DialogHandler {
  BeforeInit(platform::DialogHandler& inner, std::function<void(FakeDialog&)> before)
      : inner_(inner), before_(std::move(before)) {}
  bool OnInitDialog(platform::DialogView& view) override {
    before_(static_cast<FakeDialog&>(view));
    return inner_.OnInitDialog(view);
  }
  platform::DialogHandler& inner_;
  std::function<void(FakeDialog&)> before_;
};

// The main window over `system`, with what start-up makes before it: no
// built-in handlers, and the scanner table with its system context.
struct WindowOver {
  explicit WindowOver(FakeSystem& system) : scanners(system), window(system, scanners, {}) {}
  engine::ScannerTable scanners;
  app::RemovalDialog window;
};

class MainWindowTest : public ::testing::Test {
 protected:
  // The window, made on first use so that its system context sees the
  // test's settings of the fake.
  app::RemovalDialog& window() {
    if (!window_) window_ = std::make_unique<WindowOver>(system_);
    return window_->window;
  }

  // Runs the main window on the fake; `before` acts on the dialog ahead of
  // the window's own initialisation, `act` plays the user.
  FakeDialog& Open(std::function<void(FakeDialog&)> act = {},
                   std::function<void(FakeDialog&)> before = {}) {
    system_.user = std::move(act);
    if (before) {
      BeforeInit wrapped(window(), std::move(before));
      result_ = system_.ui().RunModalDialog(QRT_IDD_MAIN, 0, wrapped);
    } else {
      result_ = system_.ui().RunModalDialog(QRT_IDD_MAIN, 0, window());
    }
    return *system_.dialogs.back();
  }

  FakeSystem system_;
  int result_ = 0;

 private:
  std::unique_ptr<WindowOver> window_;
};

TEST_F(MainWindowTest, InitialisesTheFrame) {
  FakeDialog& dialog = Open();
  EXPECT_EQ(dialog.title, u"Quelvix Removal Tool 3.0");
  EXPECT_EQ(dialog.icon, static_cast<std::uint32_t>(QRT_IDI_MAIN));
  ASSERT_EQ(dialog.statusPanes.size(), 2u);
  EXPECT_EQ(dialog.statusPanes[0].id, QRT_ID_PANE_STATUS);
  EXPECT_EQ(dialog.statusPanes[0].rightEdge, dialog.clientSize.width - 100);
  EXPECT_EQ(dialog.statusPanes[1].id, QRT_ID_PANE_CLOCK);
  EXPECT_EQ(dialog.statusPanes[1].rightEdge, -1);
  EXPECT_EQ(dialog.timers, (std::map<std::uint32_t, std::uint32_t>{{100, 1000}}));
  EXPECT_EQ(dialog.controls[QRT_IDC_OUTPUT].eventMask, platform::kEnmMouseEvents);
  EXPECT_EQ(dialog.ControlText(QRT_IDC_START), u"&Start scan");
  EXPECT_EQ(dialog.ControlText(QRT_IDC_STOP), u"S&top scan");
  EXPECT_EQ(dialog.ControlText(QRT_IDC_EXIT), u"E&xit");
  EXPECT_EQ(dialog.ControlText(QRT_IDC_SCAN_GROUP), u"Scanning");
  EXPECT_TRUE(dialog.IsControlEnabled(QRT_IDC_START));
  EXPECT_FALSE(dialog.IsControlEnabled(QRT_IDC_STOP));
  EXPECT_TRUE(dialog.IsControlEnabled(QRT_IDC_EXIT));
  EXPECT_EQ(dialog.focus, QRT_IDC_START);
  EXPECT_TRUE(dialog.visible);
  EXPECT_FALSE(dialog.endCode.has_value());
}

TEST_F(MainWindowTest, TitleFallsBackWhenItsStringIsMissing) {
  system_.strings.erase(52);
  EXPECT_EQ(Open().title, u"Removal Tool");
}

TEST_F(MainWindowTest, MissingControlEndsTheRunWithMinus1BeforeItIsShown) {
  for (int id : {QRT_IDC_STOP, QRT_IDC_START, QRT_IDC_EXIT, QRT_IDC_STATUS}) {
    FakeSystem system;
    WindowOver over(system);
    BeforeInit handler(over.window, [id](FakeDialog& d) { d.controls.erase(id); });
    EXPECT_EQ(system.ui().RunModalDialog(QRT_IDD_MAIN, 0, handler), -1) << id;
    EXPECT_FALSE(system.dialogs.back()->visible) << id;
  }
}

TEST_F(MainWindowTest, ClockShowsLocalTimeInPaneOneEverySecond) {
  FakeDialog& dialog = Open();
  system_.localTime.hour = 7;
  system_.localTime.minute = 4;
  system_.localTime.second = 9;
  dialog.Tick(app::kClockTimerId);
  EXPECT_EQ(dialog.statusTexts[1], u"07:04:09");
  EXPECT_EQ(dialog.statusTexts[0], u"");
  dialog.Tick(4242);  // another timer changes nothing
  EXPECT_EQ(dialog.statusTexts[1], u"07:04:09");
}

TEST_F(MainWindowTest, ExitButtonDisablesEverythingAndEndsWithCode0) {
  FakeDialog& dialog = Open([](FakeDialog& d) { d.Click(QRT_IDC_EXIT); });
  EXPECT_EQ(result_, 0);
  EXPECT_TRUE(window().exitRequested());
  for (int id : {QRT_IDC_START, QRT_IDC_STOP, QRT_IDC_EXIT}) {
    EXPECT_FALSE(dialog.IsControlEnabled(id)) << id;
  }
}

// Without administrator rights the window keeps Start disabled, gives Exit
// the focus and ends with -2 (after the dialog that says why).
TEST_F(MainWindowTest, WithoutRightsStartIsDisabledExitFocusedAndTheEndCodeMinus2) {
  system_.accounts.tokenGroups.erase(platform::fake::kAdministratorsSid);
  std::vector<std::uint32_t> templates;
  Open([&](FakeDialog& d) {
    templates.push_back(d.templateId);
    if (d.templateId == QRT_IDD_NO_ADMIN_RIGHTS) return d.Click(platform::kIdOk);
    EXPECT_FALSE(d.IsControlEnabled(QRT_IDC_START));
    EXPECT_EQ(d.focus, QRT_IDC_EXIT);
    d.Click(QRT_IDC_EXIT);
  });
  EXPECT_EQ(templates, (std::vector<std::uint32_t>{QRT_IDD_NO_ADMIN_RIGHTS, QRT_IDD_MAIN}));
  EXPECT_EQ(result_, codes::ToInt(codes::WindowEndCode::kNoAdminRights));
}

TEST_F(MainWindowTest, EscapeAndCloseBoxTakeTheExitPathButEnterDoesNot) {
  Open([](FakeDialog& d) {
    d.handler().OnCommand(platform::kIdOk, 0);
    EXPECT_FALSE(d.endCode.has_value());
    d.Close();
  });
  EXPECT_EQ(result_, 0);
  EXPECT_TRUE(window().exitRequested());
}

TEST_F(MainWindowTest, MouseMessagesToTheViewPassWhileNothingIsInserted) {
  FakeDialog& dialog = Open();
  EXPECT_FALSE(dialog.MouseOnView(QRT_IDC_OUTPUT));
}

TEST_F(MainWindowTest, BannerHintAndHostLineReplaceWhatTheViewHeld) {
  FakeSystem& system = system_;
  FakeDialog& dialog = Open({}, [](FakeDialog& d) {
    d.ReplaceSelection(QRT_IDC_OUTPUT, u"stale text");
    d.SetSelection(QRT_IDC_OUTPUT, 2, 4);
  });
  const std::u16string versionLine = u"\rVersion: 3.0.1.16, " +
                                     app::BuildDateText(system, app::BuildDate()) + u" " +
                                     std::u16string(app::BuildTime()) + u"\r";
  const std::vector<Span> expected = {
      {u"Quel", {true, Rgb(180, 0, 0), false}},
      {u"vix ", {true, Rgb(0, 0, 0), false}},
      {u"Removal Tool 3.0\r", {true, Rgb(80, 80, 80), false}},
      // The list heading, the (still empty) malware list, a line break and
      // the version line.
      {u"Removal Tool for:\r\r" + versionLine, kPlain},
      // The hint, the command line's one message and the host line.
      {u"\rUse /? to list all available command line options\r\r"
       u"- Saving results to logfile \"QuelvixRemovalTool.log\".\r"
       u"\r- Host: \"QRT-TEST\", IP: 10.1.2.3\r\r",
       kDefault},
  };
  EXPECT_EQ(Spans(dialog), expected);
  EXPECT_EQ(dialog.controls[QRT_IDC_OUTPUT].insertionFormat, kPlain);
  EXPECT_EQ(window().host().name, "QRT-TEST");
  // ADVAPI32 was needed for the rights check only, Winsock for the host line.
  EXPECT_EQ(system.freedLibraries, (std::vector<std::u16string>{u"ADVAPI32.DLL", u"WS2_32.DLL"}));
}

TEST_F(MainWindowTest, BannerListsTheMalwareOfTheBuiltInScript) {
  script_test::InstallBuiltInScript(system_);
  FakeDialog& dialog = Open();
  EXPECT_NE(dialog.RichText(QRT_IDC_OUTPUT)
                .find(u"Removal Tool for:\rTR/Spy.Banker.AATZ/Banker.AATZ.1/Banker.AATZ.2/"
                      u"Banker.AATZ.3\rWorm/NetSky.P\r\rVersion: "),
            std::u16string::npos)
      << text::ToUtf8(dialog.RichText(QRT_IDC_OUTPUT));
}

TEST_F(MainWindowTest, UnknownWindowsVersionEndsTheProgramBeforeTheWindowShows) {
  system_.version.reset();
  try {
    Open();
    FAIL() << "the program went on";
  } catch (const platform::fake::ProcessExit& exit) {
    EXPECT_EQ(exit.status, -3);
  }
  ASSERT_EQ(system_.messageBoxes.size(), 1u);
  EXPECT_EQ(system_.messageBoxes[0].text, u"error: unable to get OS version information\r\n");
  EXPECT_FALSE(system_.dialogs.back()->visible);
}

TEST_F(MainWindowTest, HostLineFallsBackWithoutWinsock) {
  system_.loadableLibraries.erase(u"WS2_32.DLL");
  FakeDialog& dialog = Open();
  const std::u16string text = dialog.RichText(QRT_IDC_OUTPUT);
  const std::u16string tail = u"\r\r- Host: \"\", IP: 0.0.0.0\r\r";
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST_F(MainWindowTest, AppendTextGoesToTheEndInThePlainFormat) {
  FakeDialog& dialog = Open();
  const std::u16string before = dialog.RichText(QRT_IDC_OUTPUT);
  dialog.SetSelection(QRT_IDC_OUTPUT, 0, 5);  // the user selected something
  dialog.SetSelectionFormat(QRT_IDC_OUTPUT, kBoldRed);
  const std::u16string selected = dialog.RichText(QRT_IDC_OUTPUT);
  window().AppendText(u"Scanning memory...");
  window().AppendText(u"done\r\n");
  EXPECT_EQ(dialog.RichText(QRT_IDC_OUTPUT), before + u"Scanning memory...done\r");
  EXPECT_EQ(Spans(dialog).back(), (Span{u"Scanning memory...done\r", kPlain}));
  EXPECT_EQ(dialog.controls[QRT_IDC_OUTPUT].insertionFormat, kPlain);
}

TEST_F(MainWindowTest, ReportFindingWritesTheHeadingBoldRedThenThePlainText) {
  FakeDialog& dialog = Open();
  window().ReportFinding(u"Sober.J", u" was found in memory !\r\n");
  window().ReportFinding(u"WARNING ", std::nullopt);
  window().AppendText(u"after\r\n");
  const std::vector<Span> spans = Spans(dialog);
  ASSERT_GE(spans.size(), 4u);
  const std::vector<Span> tail(spans.end() - 4, spans.end());
  EXPECT_EQ(tail, (std::vector<Span>{{u"Sober.J", kBoldRed},
                                     {u" was found in memory !\r", kPlain},
                                     {u"WARNING ", kBoldRed},
                                     {u"after\r", kPlain}}));
}

TEST_F(MainWindowTest, MouseIsDroppedOnlyWhileAFindingOrLineIsInserted) {
  std::vector<bool> dropped;
  app::RemovalDialog& window = this->window();
  Open({}, [&](FakeDialog& d) {
    d.duringInsertion = [&](int id) { dropped.push_back(window.OnMessageFilter(id)); };
  });
  ASSERT_FALSE(dropped.empty());
  // The window's own writes at initialisation leave the mouse alone.
  EXPECT_EQ(std::count(dropped.begin(), dropped.end(), true), 0);
  dropped.clear();
  window.ReportFinding(u"Sober.J", u" text");
  window.AppendText(u"line");
  EXPECT_EQ(dropped, (std::vector<bool>{true, true, true}));
  EXPECT_FALSE(window.OnMessageFilter(QRT_IDC_OUTPUT));
}

TEST_F(MainWindowTest, TextsPassAFixedBufferOf600Characters) {
  FakeDialog& dialog = Open();
  const std::size_t start = dialog.RichText(QRT_IDC_OUTPUT).size();
  window().AppendText(std::u16string(700, u'x'));
  EXPECT_EQ(dialog.RichText(QRT_IDC_OUTPUT).size(), start + 599);
  window().ReportFinding(std::u16string(650, u'h'), std::u16string(u"ab\0cd"));
  const std::u16string text = dialog.RichText(QRT_IDC_OUTPUT);
  EXPECT_EQ(text.substr(start + 599), std::u16string(599, u'h') + u"ab");
  EXPECT_EQ(app::ThroughTextBuffer(std::u16string(599, u'y')).size(), 599u);
}

TEST_F(MainWindowTest, StatusTextIsControl1004) {
  FakeDialog& dialog = Open();
  window().SetStatusText(u"C:\\WINDOWS\\system32\\kernel32.dll");
  EXPECT_EQ(dialog.ControlText(QRT_IDC_STATUS), u"C:\\WINDOWS\\system32\\kernel32.dll");
  window().SetProgressText(u"progress");
  EXPECT_EQ(dialog.ControlText(QRT_IDC_STATUS), u"progress");
  window().SetStatusText(u"");
  EXPECT_EQ(dialog.ControlText(QRT_IDC_STATUS), u"");
}

TEST_F(MainWindowTest, ScanFinishedWritesResultLineAndReport) {
  FakeDialog& dialog = Open();
  window().engine()->statistics().fileScanTime = 4000;
  window().engine()->statistics().fileScanKilobytes = 600;
  const std::size_t start = dialog.RichText(QRT_IDC_OUTPUT).size();
  window().ScanFinished(codes::ScanResult::kStoppedByUser);
  const std::u16string added = dialog.RichText(QRT_IDC_OUTPUT).substr(start);
  const std::u16string head = u"\rScan aborted by user\r\rscan results:\r";
  EXPECT_EQ(added.substr(0, head.size()), head);
  EXPECT_NE(added.find(u"elapsed time for file scan:\t\t4.00 seconds\r"), std::u16string::npos);
  EXPECT_NE(added.find(u"average file scanner throughput:\t150.00 KB/s\r"), std::u16string::npos);
  EXPECT_EQ(added.substr(added.size() - 43), u"\rThank you for using Quelvix Removal Tool.\r");

  // A normal end has no result line.
  const std::size_t second = dialog.RichText(QRT_IDC_OUTPUT).size();
  window().ScanFinished(codes::ScanResult::kDone);
  EXPECT_EQ(dialog.RichText(QRT_IDC_OUTPUT).substr(second, 15), u"scan results:\r\r");
}

TEST_F(MainWindowTest, ExitWithoutAScanWritesNoLogEvenWhenLoggingIsOn) {
  window().logSettings() = app::LogSettings{true, false, u"C:\\scan.log"};
  Open([](FakeDialog& d) { d.Click(QRT_IDC_EXIT); });
  EXPECT_EQ(result_, 0);
  EXPECT_EQ(system_.fileSystem.Find(u"C:\\scan.log"), nullptr);
}

}  // namespace
