// libFuzzer target: the description script parser on arbitrary resource
// bytes. Besides the sanitizers' checks, it holds the parser to its contract:
// a valid script shows only quote warnings and gives well-formed records; an
// invalid one shows exactly one message beyond the warnings, last, and keeps
// no records.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/text.h"
#include "descriptions/script_loading.h"
#include "descriptions/script_parser.h"
#include "platform/fake/fake_system.h"
#include "system/system_context.h"

namespace {

bool IsWarning(const platform::fake::MessageBoxCall& box) {
  return box.text.find(u"An argument starts with \" character") != std::u16string::npos;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static platform::fake::FakeSystem* const system = new platform::fake::FakeSystem;
  static sys::SystemContext* const context = new sys::SystemContext(*system);
  system->messageBoxes.clear();

  descriptions::ScriptParser parser(
      *context, descriptions::ScriptTextFromBytes(std::span<const std::uint8_t>(data, size)));
  const bool valid = parser.ParseScript();

  const auto& boxes = system->messageBoxes;
  std::size_t warnings = 0;
  for (const auto& box : boxes) {
    Check(box.caption == u"Parse Error" && box.owner == 0 && !box.text.empty() &&
          box.text.back() == u'\n' && box.text.starts_with(u"Line "));
    if (IsWarning(box)) ++warnings;
  }
  if (!valid) {
    Check(!boxes.empty() && !IsWarning(boxes.back()) && warnings == boxes.size() - 1);
    Check(parser.records().empty());
    return 0;
  }
  Check(warnings == boxes.size());
  for (const auto& record : parser.records()) {
    Check(!record.baseName.empty());
    Check(record.memorySignature || record.fileSignature);
    for (const auto* signature : {&record.memorySignature, &record.fileSignature}) {
      if (*signature) Check(!(*signature)->empty() && (*signature)->size() % 2 == 0);
    }
    for (const auto& action : record.actions) {
      for (const auto& argument : action.arguments) Check(!argument.empty());
    }
  }
  return 0;
}
