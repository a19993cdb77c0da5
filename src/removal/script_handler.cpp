#include "removal/script_handler.h"

namespace removal {

ScriptMalwareHandler::ScriptMalwareHandler(const signatures::SignaturePair& signatures,
                                           const descriptions::MalwareDescription& description)
    : MalwareHandler(signatures),
      baseName_(description.baseName),
      variantName_(description.variantName),
      actions_(description.actions) {}

void ScriptMalwareHandler::Remove(scan::ScanContext& /*context*/,
                                  std::optional<std::u16string_view> /*infectedFile*/,
                                  std::span<const scan::ProcessRecord> /*processes*/,
                                  std::uint32_t /*processId*/, scan::FindingKind /*kind*/,
                                  bool /*more*/) {}

}  // namespace removal
