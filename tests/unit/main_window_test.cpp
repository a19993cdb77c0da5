#include "app/main_window.h"

#include <gtest/gtest.h>

#include "detect/system_context.h"
#include "platform/fake/fake_system.h"
#include "resource_ids.h"

namespace {

using platform::fake::FakeDialog;
using platform::fake::FakeSystem;

class MainWindowTest : public ::testing::Test {
 protected:
  // The window's engine set-up obtains the system context over the current
  // system: a fresh one over this test's fake.
  MainWindowTest() {
    platform::Install(&system_);
    detect::DestroySystemContext();
  }
  ~MainWindowTest() override { detect::DestroySystemContext(); }

  // Runs the main window on the fake; `act` plays the user.
  FakeDialog& Open(std::function<void(FakeDialog&)> act = {}) {
    system_.user = std::move(act);
    result_ = system_.RunModalDialog(QRT_IDD_MAIN, 0, window_);
    return *system_.dialogs.back();
  }

  FakeSystem system_;
  app::RemovalDialog window_{system_};
  int result_ = 0;
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
    app::RemovalDialog window(system);
    struct DropControl : platform::DialogHandler {
      DropControl(platform::DialogHandler& inner, int id) : inner_(inner), id_(id) {}
      bool OnInitDialog(platform::DialogView& view) override {
        static_cast<FakeDialog&>(view).controls.erase(id_);
        return inner_.OnInitDialog(view);
      }
      platform::DialogHandler& inner_;
      int id_;
    } handler(window, id);
    EXPECT_EQ(system.RunModalDialog(QRT_IDD_MAIN, 0, handler), -1) << id;
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
  EXPECT_TRUE(window_.exitRequested());
  for (int id : {QRT_IDC_START, QRT_IDC_STOP, QRT_IDC_EXIT}) {
    EXPECT_FALSE(dialog.IsControlEnabled(id)) << id;
  }
}

TEST_F(MainWindowTest, EscapeAndCloseBoxTakeTheExitPathButEnterDoesNot) {
  Open([](FakeDialog& d) {
    d.handler().OnCommand(platform::kIdOk, 0);
    EXPECT_FALSE(d.endCode.has_value());
    d.Close();
  });
  EXPECT_EQ(result_, 0);
  EXPECT_TRUE(window_.exitRequested());
}

TEST_F(MainWindowTest, MouseMessagesToTheViewPassWhileNothingIsInserted) {
  FakeDialog& dialog = Open();
  EXPECT_FALSE(dialog.MouseOnView(QRT_IDC_OUTPUT));
}

}  // namespace
