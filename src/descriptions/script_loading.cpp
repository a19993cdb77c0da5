#include "descriptions/script_loading.h"

#include "common/codes.h"

namespace descriptions {

std::u16string ScriptTextFromBytes(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
    if (c == u'\0') break;
    text.push_back(c);
  }
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
