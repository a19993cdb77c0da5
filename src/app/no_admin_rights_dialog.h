// The dialog that tells the user that administrator rights are missing
// (template QRT_IDD_NO_ADMIN_RIGHTS): the system's error icon at the left,
// the message in red in a larger font, and OK.
#pragma once

#include <optional>

#include "platform/dialog.h"
#include "platform/system.h"

namespace app {

// The icon control: left and right edges in pixels, and its top and bottom
// relative to the middle of the client area's height.
inline constexpr int kRightsIconLeft = 10;
inline constexpr int kRightsIconRight = 50;
inline constexpr int kRightsIconTopFromMiddle = -35;
inline constexpr int kRightsIconBottomFromMiddle = 5;
inline constexpr char16_t kRightsTextFace[] = u"Microsoft Sans Serif";
inline constexpr int kRightsTextTenthsOfPoint = 120;
inline constexpr std::uint32_t kRightsTextColour = platform::Rgb(255, 0, 0);

class NoAdminRightsDialog final : public platform::DialogHandler {
 public:
  explicit NoAdminRightsDialog(platform::System& system) : system_(system) {}

  // With the client area's height h: an icon control (id kNoControlId)
  // showing IDI_HAND in the rectangle left 10, top h / 2 - 35, right 50,
  // bottom h / 2 + 5 (integer division); title strings::kNoAdminRightsTitle;
  // the text control's text strings::kAdminRightsRequired in
  // "Microsoft Sans Serif" at 12 points. The system sets the focus.
  bool OnInitDialog(platform::DialogView& view) override;
  // OK, and Escape or the close box, end the dialog with their id.
  void OnCommand(int controlId, int notifyCode) override;
  // The text control is drawn in red; the rest in the default colours.
  std::optional<std::uint32_t> ControlTextColour(int controlId) override;

 private:
  platform::System& system_;
  platform::DialogView* view_ = nullptr;
};

// Shows the dialog modally with `owner` (the main window) as owner; answers
// the code it ended with (kIdOk, or -1 when it could not be created).
int ShowNoAdminRightsDialog(platform::System& system, platform::WindowId owner);

}  // namespace app
