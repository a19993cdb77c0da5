#include "common/string_ids.h"
#include "platform/user_interface.h"
#include "removal/system_operations.h"

namespace removal {

// A modal message box without owner window, with the program's title and OK
// only, shown from the scan worker thread, which waits until it is closed.
codes::PopupResult SystemRemovalOperations::ShowPopup(std::u16string_view text) {
  platform::System& system = systemContext_.system();
  const std::optional<std::u16string> title =
      system.resources().LoadStringResource(strings::kWindowTitle);
  system.ui().ShowMessageBox(0, text, title ? std::u16string_view(*title) : platform::kNoCaption,
                             platform::kMbOk);
  return codes::PopupResult::kClosed;
}

}  // namespace removal
