#include "script_check.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "common/text.h"
#include "descriptions/script_dump.h"
#include "descriptions/script_loading.h"
#include "descriptions/script_parser.h"
#include "engine/handler_list.h"
#include "engine/malware_database.h"
#include "handlers/builtin_handlers.h"
#include "signatures/signature.h"
#include "system/system_context.h"

namespace script_check {
namespace {

constexpr char kHelp[] =
    R"(Usage: script-check FILE [--dump]
       script-check --help

Parses the description script FILE exactly as the removal tool parses its
built-in script: UTF-16LE text whose first character, the byte-order mark, is
skipped; the text ends at its first NUL character. Folder placeholders such as
%WINDIR% are resolved on this system's folders (the native build uses a fixed
Windows XP layout: C:\WINDOWS, C:\WINDOWS\system32, C:\Program Files,
C:\Documents and Settings\Administrator, ...).

Every message that the parser shows as a message box is printed as one line
  [CAPTION] TEXT
where TEXT is the message without its final line feed, e.g.
  [Parse Error] Line   3: Signature empty.

With --dump, after a valid parse, every block is printed in script order:
  BLOCK base.variant
  SIGNATURE_MEM hex            (if the block has one, as written)
  SIGNATURE_FILE hex           (if the block has one, as written)
  COMPILED_MEM hex30           (the compiled memory signature, or -)
  COMPILED_FILE hex30          (the compiled file signature, or -)
  ACTION name=<VALUE> ... <VALUE> ...
one line per action in order: the action name, then its named arguments as
" name=<VALUE>" in the order directory, old_value, new_value, key,
value_name, value, data_type, data (those present), then its positional
arguments as " <VALUE>"; each VALUE stands between literal angle brackets.
A compiled signature is shown as the 30 hex digits of its 15 bytes (prefix,
anchor word, length, anchor offset, CRC; see docs/signatures.md); "-" stands
for a missing signature or one that does not compile, whose block the
program leaves out. The dump ends with a line
  LIST
followed by the malware list the program shows, one line per base name, of
the built-in handlers and the blocks that compile.
Text is printed in UTF-8.

Exit status: 0 valid script, 20 parse error, 2 bad usage or unreadable file.
)";

std::optional<std::vector<std::uint8_t>> ReadFile(const std::u16string& name) {
  std::ifstream file(std::filesystem::path(name), std::ios::binary);
  if (!file) return std::nullopt;
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return bytes;
}

// The text form of a compiled signature, or "-".
std::u16string CompiledText(const std::optional<std::string>& signature) {
  const auto compiled = signature ? signatures::CompileSignature(*signature) : std::nullopt;
  return compiled ? text::FromAscii(*compiled) : u"-";
}

}  // namespace

int Run(platform::System& system, const std::vector<std::u16string>& args, std::ostream& out,
        std::ostream& err) {
  std::optional<std::u16string> fileName;
  bool dump = false;
  for (const std::u16string& arg : args) {
    if (arg == u"--help" || arg == u"-h") {
      out << kHelp;
      return kExitValid;
    }
    if (arg == u"--dump") {
      dump = true;
    } else if (arg.starts_with(u"--") || fileName) {
      err << "script-check: unexpected argument \"" << text::ToUtf8(arg)
          << "\" (see script-check --help)\n";
      return kExitUsage;
    } else {
      fileName = arg;
    }
  }
  if (!fileName) {
    err << "script-check: no script file given (see script-check --help)\n";
    return kExitUsage;
  }

  const auto bytes = ReadFile(*fileName);
  if (!bytes) {
    err << "script-check: cannot read \"" << text::ToUtf8(*fileName) << "\"\n";
    return kExitUsage;
  }
  if (bytes->size() < 2 || (*bytes)[0] != 0xFF || (*bytes)[1] != 0xFE) {
    err << "script-check: warning: the file does not start with a UTF-16LE byte-order mark; "
           "its first character is skipped all the same\n";
  }

  sys::SystemContext context(system);
  descriptions::ScriptParser parser(
      context, descriptions::ScriptTextFromBytes(*bytes),
      [&out](std::u16string_view caption, std::u16string_view message) {
        if (!message.empty() && message.back() == u'\n') message.remove_suffix(1);
        out << '[' << text::ToUtf8(caption) << "] " << text::ToUtf8(message) << '\n';
        out.flush();
      });
  if (!parser.ParseScript()) return kExitParseError;
  if (dump) {
    for (const auto& record : parser.records()) {
      out << text::ToUtf8(descriptions::DumpDescription(
          record, u"COMPILED_MEM " + CompiledText(record.memorySignature) + u"\nCOMPILED_FILE " +
                      CompiledText(record.fileSignature) + u"\n"));
    }
    bool lacksMemorySignature = false;
    const engine::HandlerList list = engine::MakeHandlerList(
        handlers::CreateBuiltInHandlers(), parser.records(), lacksMemorySignature);
    std::u16string listText = engine::MalwareListText(list);
    out << "LIST\n";
    for (std::size_t start = 0; start < listText.size();) {
      const std::size_t end = std::min(listText.find(u"\r\n", start), listText.size());
      out << text::ToUtf8(std::u16string_view(listText).substr(start, end - start)) << '\n';
      start = end + 2;
    }
  }
  return kExitValid;
}

}  // namespace script_check
