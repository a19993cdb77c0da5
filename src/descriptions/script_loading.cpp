#include "descriptions/script_loading.h"

#include "common/bytes.h"
#include "common/codes.h"

namespace descriptions {

std::u16string ScriptTextFromBytes(std::span<const std::uint8_t> bytes) {
  std::u16string text = bytes::Utf16LeUntilZero(bytes);
  if (!text.empty()) text.erase(0, 1);
  return text;
}

std::unique_ptr<ScriptParser> LoadScript(platform::System& system, sys::SystemContext& context) {
  const auto bytes = system.resources().LoadResourceData(kScriptResourceType, kScriptResourceName);
  if (!bytes) return nullptr;
  auto parser = std::make_unique<ScriptParser>(context, ScriptTextFromBytes(*bytes));
  if (!parser->ParseScript()) {
    system.ui().ShowMessageBox(0, kWillNotStartText, kWillNotStartCaption, platform::kMbOk);
    system.runtime().ExitProcess(codes::ToInt(codes::ExitStatus::kParseError));
  }
  return parser;
}

}  // namespace descriptions
