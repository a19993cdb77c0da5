// Helpers for the tests of the description script: scripts written as UTF-8
// text, the built-in script in the fake's resources, and a fixture that gives
// every test a fresh fake Windows XP and a fresh system context over it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "descriptions/builtin_script.h"
#include "descriptions/script_loading.h"
#include "platform/fake/fake_system.h"
#include "system/system_context.h"

namespace script_test {

// `utf8` with every LF turned into CR LF, as the built-in script's lines end.
inline std::u16string Crlf(std::string_view utf8) {
  std::string out;
  for (char c : utf8) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return text::FromUtf8(out);
}

// The bytes of a script file: UTF-16LE with byte-order mark.
inline std::vector<std::uint8_t> ScriptBytes(std::u16string_view script) {
  std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
  text::AppendUtf16Le(bytes, script);
  return bytes;
}

// Offers the built-in script as the resource SCRIPTFILE #161, as the
// Windows program does.
inline void InstallBuiltInScript(platform::fake::FakeSystem& system) {
  const auto bytes = descriptions::BuiltInScriptBytes();
  system.resourceData[{descriptions::kScriptResourceType, descriptions::kScriptResourceName}] =
      std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// A fresh fake Windows XP, and no system context over it until a test asks
// for one (so that it sees the test's settings).
class FakeSystemTest : public ::testing::Test {
 protected:
  // The system context over `system`, made on the first call.
  sys::SystemContext& Context() {
    if (!context_) context_ = std::make_unique<sys::SystemContext>(system);
    return *context_;
  }
  // Forgets the context; the next Context() makes a new one.
  void ResetContext() { context_.reset(); }

  // The message boxes shown so far, as "[caption] text" lines.
  std::vector<std::string> Boxes() const {
    std::vector<std::string> boxes;
    for (const auto& box : system.messageBoxes) {
      boxes.push_back("[" + text::ToUtf8(box.caption) + "] " + text::ToUtf8(box.text));
    }
    return boxes;
  }

  platform::fake::FakeSystem system;

 private:
  std::unique_ptr<sys::SystemContext> context_;
};

}  // namespace script_test
