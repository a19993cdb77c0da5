#include "descriptions/script_handler.h"

namespace descriptions {

ScriptMalwareHandler::ScriptMalwareHandler(const HandlerSignatures& signatures,
                                           const MalwareDescription& description)
    : MalwareHandler(signatures),
      baseName_(description.baseName),
      variantName_(description.variantName),
      actions_(description.actions) {}

void ScriptMalwareHandler::Remove(ScanEngine& /*engine*/,
                                  std::optional<std::u16string_view> /*infectedFile*/,
                                  std::span<const ProcessRecord> /*processes*/,
                                  std::uint32_t /*processId*/, FindingKind /*kind*/,
                                  bool /*more*/) {}

}  // namespace descriptions
