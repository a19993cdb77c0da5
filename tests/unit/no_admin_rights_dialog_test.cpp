// The dialog that reports missing administrator rights, against the fake
// dialog.
#include "app/no_admin_rights_dialog.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/fake/fake_system.h"
#include "resource_ids.h"

namespace {

using platform::fake::FakeDialog;
using platform::fake::FakeSystem;

TEST(NoAdminRightsDialog, InitialisationPlacesTheIconByTheClientHeight) {
  // Odd and even heights: the middle is h / 2 rounded down.
  const struct {
    int height;
    platform::fake::FakeRect icon;
  } kCases[] = {{127, {10, 28, 50, 68}}, {100, {10, 15, 50, 55}}, {61, {10, -5, 50, 35}}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.height);
    FakeSystem system;
    app::NoAdminRightsDialog handler(system);
    FakeDialog dialog(QRT_IDD_NO_ADMIN_RIGHTS, 7, 5, handler);
    dialog.clientSize = {645, c.height};
    EXPECT_TRUE(handler.OnInitDialog(dialog));

    const platform::fake::FakeControl& icon = dialog.controls.at(platform::kNoControlId);
    EXPECT_EQ(icon.kind, platform::fake::ControlKind::kIcon);
    EXPECT_EQ(icon.systemIcon, 32513u);  // IDI_HAND
    EXPECT_EQ(icon.rectangle, c.icon);
    EXPECT_EQ(dialog.title, u"No administrator rights dialog");
    const platform::fake::FakeControl& message = dialog.controls.at(QRT_IDC_NO_ADMIN_TEXT);
    EXPECT_EQ(message.text,
              u"Administrator rights are required in order to scan and clean the system.\r\n");
    EXPECT_EQ(message.fontFace, u"Microsoft Sans Serif");
    EXPECT_EQ(message.fontTenthsOfPoint, 120);
  }
}

TEST(NoAdminRightsDialog, OnlyTheMessageIsRed) {
  FakeSystem system;
  app::NoAdminRightsDialog handler(system);
  EXPECT_EQ(handler.ControlTextColour(QRT_IDC_NO_ADMIN_TEXT), platform::Rgb(255, 0, 0));
  EXPECT_EQ(handler.ControlTextColour(platform::kIdOk), std::nullopt);
  EXPECT_EQ(handler.ControlTextColour(platform::kNoControlId), std::nullopt);
}

TEST(NoAdminRightsDialog, ShownModallyOverTheOwnerUntilClosed) {
  const struct {
    const char* name;
    std::function<void(FakeDialog&)> user;
    int endCode;
  } kCases[] = {
      {"OK", [](FakeDialog& d) { d.Click(platform::kIdOk); }, platform::kIdOk},
      {"close box", [](FakeDialog& d) { d.Close(); }, platform::kIdCancel},
      {"a click on the text does nothing", [](FakeDialog& d) { d.Click(QRT_IDC_NO_ADMIN_TEXT); },
       FakeSystem::kNotEnded},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    FakeSystem system;
    system.user = c.user;
    EXPECT_EQ(app::ShowNoAdminRightsDialog(system, 0x4242), c.endCode);
    ASSERT_EQ(system.dialogs.size(), 1u);
    EXPECT_EQ(system.dialogs[0]->templateId, static_cast<std::uint32_t>(QRT_IDD_NO_ADMIN_RIGHTS));
    EXPECT_EQ(system.dialogs[0]->owner, 0x4242u);
  }
}

}  // namespace
