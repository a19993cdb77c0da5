// The fake's user interface: message boxes answered from a queue and
// recorded, and modal dialogs run on FakeDialog.
#include "platform/fake/fake_system.h"

namespace platform::fake {

int FakeUserInterfaceArea::ShowMessageBox(WindowId owner, std::u16string_view text,
                                          std::u16string_view caption, std::uint32_t type) {
  system_.messageBoxes.push_back(MessageBoxCall{
      owner, std::u16string(text), std::u16string(caption), type, caption.data() == nullptr});
  if (!system_.messageBoxAnswers.empty()) {
    const int answer = system_.messageBoxAnswers.front();
    system_.messageBoxAnswers.pop_front();
    return answer;
  }
  return (type & 0xF) == kMbYesNo ? kIdYes : kIdOk;
}

int FakeUserInterfaceArea::RunModalDialog(std::uint32_t templateId, WindowId owner,
                                          DialogHandler& handler) {
  const WindowId window = system_.NextHandle();
  system_.dialogs.push_back(std::make_unique<FakeDialog>(templateId, window, owner, handler));
  FakeDialog& dialog = *system_.dialogs.back();
  handler.OnInitDialog(dialog);
  if (!dialog.endCode && system_.user) system_.user(dialog);
  return dialog.endCode.value_or(FakeSystem::kNotEnded);
}

}  // namespace platform::fake
