#include "common/string_ids.h"
#include "platform/user_interface.h"
#include "removal/system_operations.h"

namespace removal {

// A modal message box without owner window, with the program's title and OK
// only, shown from the scan worker thread, which waits until it is closed.
int SystemRemovalOperations::ShowPopup(scan::ScanContext& context, std::u16string_view text) {
  platform::System& system = context.systemContext().system();
  const std::optional<std::u16string> title =
      system.resources().LoadStringResource(strings::kWindowTitle);
  system.ui().ShowMessageBox(0, text, title ? std::u16string_view(*title) : platform::kNoCaption,
                             platform::kMbOk);
  return 1;
}

}  // namespace removal
