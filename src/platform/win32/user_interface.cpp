// The Win32 user interface: message boxes, and modal dialogs run by the
// dialog host.
#include "platform/win32/areas.h"
#include "platform/win32/dialog_host.h"

namespace platform::win32 {
namespace {

class Win32UserInterface final : public UserInterface {
 public:
  explicit Win32UserInterface(HINSTANCE module) : module_(module) {}

  int ShowMessageBox(WindowId owner, std::u16string_view text, std::u16string_view caption,
                     std::uint32_t type) override {
    const std::u16string t(text);
    const std::u16string c(caption);
    return ::MessageBoxW(FromHandle<HWND__>(owner), Wide(t),
                         caption.data() == nullptr ? nullptr : Wide(c), type);
  }

  int RunModalDialog(std::uint32_t templateId, WindowId owner, DialogHandler& handler) override {
    return RunDialog(module_, templateId, FromHandle<HWND__>(owner), handler);
  }

 private:
  HINSTANCE module_;
};

}  // namespace

std::unique_ptr<UserInterface> MakeUserInterface(HINSTANCE module) {
  return std::make_unique<Win32UserInterface>(module);
}

}  // namespace platform::win32
