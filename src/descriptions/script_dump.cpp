#include "descriptions/script_dump.h"

namespace descriptions {
namespace {

// Signature texts hold hexadecimal digits only, which every ANSI code page
// writes as ASCII.
std::u16string Widen(const std::string& narrow) {
  std::u16string wide;
  for (char c : narrow) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

}  // namespace

std::u16string DumpDescription(const MalwareDescription& description,
                               std::u16string_view afterSignatures) {
  std::u16string out = u"BLOCK " + DisplayName(description) + u"\n";
  if (description.memorySignature) {
    out += u"SIGNATURE_MEM " + Widen(*description.memorySignature) + u"\n";
  }
  if (description.fileSignature) {
    out += u"SIGNATURE_FILE " + Widen(*description.fileSignature) + u"\n";
  }
  out += afterSignatures;
  for (const ScriptAction& action : description.actions) {
    out += ActionName(action.code);
    for (std::u16string_view name : kNamedArgumentOrder) {
      if (const std::u16string* value = action.namedArguments.Find(name)) {
        out += u" ";
        out += name;
        out += u"=<" + *value + u">";
      }
    }
    for (const std::u16string& argument : action.arguments) out += u" <" + argument + u">";
    out += u"\n";
  }
  return out;
}

}  // namespace descriptions
