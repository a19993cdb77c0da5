#include "app/no_admin_rights_dialog.h"

#include "common/string_ids.h"
#include "resource_ids.h"
#include "scan/texts.h"

namespace app {

bool NoAdminRightsDialog::OnInitDialog(platform::DialogView& view) {
  view_ = &view;
  const int middle = view.ClientSize().height / 2;
  view.CreateIconControl(platform::kNoControlId, kRightsIconLeft, middle + kRightsIconTopFromMiddle,
                         kRightsIconRight, middle + kRightsIconBottomFromMiddle,
                         platform::kIdiHand);
  view.SetTitle(scan::LoadText(system_, strings::kNoAdminRightsTitle));
  view.SetControlText(QRT_IDC_NO_ADMIN_TEXT,
                      scan::LoadText(system_, strings::kAdminRightsRequired));
  view.SetControlFont(QRT_IDC_NO_ADMIN_TEXT, kRightsTextFace, kRightsTextTenthsOfPoint);
  return true;
}

void NoAdminRightsDialog::OnCommand(int controlId, int) {
  if (view_ != nullptr && (controlId == platform::kIdOk || controlId == platform::kIdCancel)) {
    view_->EndModal(controlId);
  }
}

std::optional<std::uint32_t> NoAdminRightsDialog::ControlTextColour(int controlId) {
  if (controlId == QRT_IDC_NO_ADMIN_TEXT) return kRightsTextColour;
  return std::nullopt;
}

int ShowNoAdminRightsDialog(platform::System& system, platform::WindowId owner) {
  NoAdminRightsDialog dialog(system);
  return system.ui().RunModalDialog(QRT_IDD_NO_ADMIN_RIGHTS, owner, dialog);
}

}  // namespace app
