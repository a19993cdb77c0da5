// Loading the built-in description script from the program's resources at
// start-up, as part of the scan engine's set-up.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "common/resource_names.h"
#include "descriptions/script_parser.h"
#include "platform/system.h"
#include "system/system_context.h"

namespace descriptions {

// The script resource: type "SCRIPTFILE", integer id QRT_IDR_SCRIPT.
inline constexpr char16_t kScriptResourceType[] = u"SCRIPTFILE";
inline constexpr char16_t kScriptResourceName[] = QRT_RESOURCE_NAME(QRT_IDR_SCRIPT);

// The message that precedes the end after a parse error (caption "Error", no
// owner window, OK only).
inline constexpr char16_t kWillNotStartText[] =
    u"The application will not start until you fix the previous parse error.";
inline constexpr char16_t kWillNotStartCaption[] = u"Error";

// The text that the parser reads from a script's bytes: UTF-16 little-endian
// up to the first NUL character or the end (an odd last byte is ignored),
// without its first character, the byte-order mark, which is skipped without
// being examined.
std::u16string ScriptTextFromBytes(std::span<const std::uint8_t> bytes);

// Loads and parses the script resource of the program's module.
//   - Resource missing or not loadable: answers null; no message, no
//     descriptions.
//   - Valid script: answers the parser; its records() are the descriptions.
//   - Parse error: after the parser's own message, shows kWillNotStartText
//     and ends the process with ExitStatus::kParseError; does not return.
std::unique_ptr<ScriptParser> LoadScript(platform::System& system, sys::SystemContext& context);

}  // namespace descriptions
