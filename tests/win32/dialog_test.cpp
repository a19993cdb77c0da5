// The dialog framework over the real dialog functions (run under Wine with a
// display).
#include <gtest/gtest.h>

#include <memory>

#include "app/no_admin_rights_dialog.h"
#include "platform/dialog.h"
#include "platform/win32/win32_system.h"
#include "resource_ids.h"

namespace {

constexpr std::uint32_t kCheck = platform::kWmUser + 7;

// Opens template 102, acts on it once it runs, and ends with 42.
class Probe : public platform::DialogHandler {
 public:
  bool OnInitDialog(platform::DialogView& view) override {
    view_ = &view;
    hasControls =
        view.HasControl(QRT_IDC_START) && view.HasControl(QRT_IDC_OUTPUT) && !view.HasControl(4242);
    view.SetTitle(u"Probe");
    view.EnableControl(QRT_IDC_STOP, false);
    view.SetControlText(QRT_IDC_START, u"Go");
    const platform::StatusPane panes[] = {{101, 100}, {102, -1}};
    view.CreateStatusBar(panes);
    view.SetStatusPaneText(1, u"12:00:00");
    view.Post(kCheck, 5, 0xCAFEBABE);
    return true;
  }

  bool OnMessage(std::uint32_t message, std::uint64_t wParam, std::int64_t lParam) override {
    if (message != kCheck) return false;
    posted = wParam == 5 && lParam == 0xCAFEBABE;
    stopEnabled = view_->IsControlEnabled(QRT_IDC_STOP);
    startText = view_->ControlText(QRT_IDC_START);
    const int id = QRT_IDC_OUTPUT;
    view_->SetSelection(id, 0, -1);
    view_->SetSelectionFormat(id, {true, platform::Rgb(255, 0, 0)});
    view_->ReplaceSelection(id, u"Found\r\n");
    view_->SetSelection(id, view_->TextLength(id), view_->TextLength(id));
    view_->SetSelectionFormat(id, {});
    view_->ReplaceSelection(id, u"a\tb\r\n");
    text = view_->RichText(id);
    length = view_->TextLength(id);
    view_->EndModal(42);
    return true;
  }

  platform::DialogView* view_ = nullptr;
  bool hasControls = false;
  bool posted = false;
  bool stopEnabled = true;
  std::u16string startText;
  std::u16string text;
  int length = 0;
};

TEST(Win32Dialog, RunsTemplateModallyAndActsOnItsControls) {
  const auto system = platform::win32::CreateSystem();
  ASSERT_NE(system->runtime().LoadLibraryAnsi("RICHED20.DLL"), 0u);
  Probe probe;
  EXPECT_EQ(system->ui().RunModalDialog(QRT_IDD_MAIN, 0, probe), 42);
  EXPECT_TRUE(probe.hasControls);
  EXPECT_TRUE(probe.posted);
  EXPECT_FALSE(probe.stopEnabled);
  EXPECT_EQ(probe.startText, u"Go");
  // The rich edit keeps each line break as one CR.
  EXPECT_EQ(probe.text, u"Found\ra\tb\r");
  EXPECT_EQ(probe.length, 10);
}

// Runs the dialog of missing rights as it initialises itself, reads what it
// made once it runs, and presses OK.
class RightsProbe : public platform::DialogHandler {
 public:
  explicit RightsProbe(platform::System& system) : inner_(system) {}
  bool OnInitDialog(platform::DialogView& view) override {
    view_ = &view;
    const bool answer = inner_.OnInitDialog(view);
    view.Post(kCheck, 0, 0);
    return answer;
  }
  bool OnMessage(std::uint32_t message, std::uint64_t, std::int64_t) override {
    if (message != kCheck) return false;
    hasIcon = view_->HasControl(platform::kNoControlId);
    text = view_->ControlText(QRT_IDC_NO_ADMIN_TEXT);
    inner_.OnCommand(platform::kIdOk, 0);
    return true;
  }
  void OnCommand(int controlId, int notifyCode) override {
    inner_.OnCommand(controlId, notifyCode);
  }
  std::optional<std::uint32_t> ControlTextColour(int controlId) override {
    return inner_.ControlTextColour(controlId);
  }

  bool hasIcon = false;
  std::u16string text;

 private:
  app::NoAdminRightsDialog inner_;
  platform::DialogView* view_ = nullptr;
};

TEST(Win32Dialog, NoAdminRightsDialogShowsItsIconAndText) {
  const auto system = platform::win32::CreateSystem();
  RightsProbe probe(*system);
  EXPECT_EQ(system->ui().RunModalDialog(QRT_IDD_NO_ADMIN_RIGHTS, 0, probe), platform::kIdOk);
  EXPECT_TRUE(probe.hasIcon);
  EXPECT_EQ(probe.text,
            u"Administrator rights are required in order to scan and clean the system.\r\n");
}

TEST(Win32Dialog, MissingTemplateAnswersMinus1) {
  const auto system = platform::win32::CreateSystem();
  Probe probe;
  EXPECT_EQ(system->ui().RunModalDialog(4242, 0, probe), -1);
}

}  // namespace
