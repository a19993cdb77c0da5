// The handler of one malware described by the script.
#pragma once

#include <string_view>
#include <vector>

#include "descriptions/malware_description.h"
#include "scan/malware_handler.h"

namespace removal {

class ScriptMalwareHandler final : public scan::MalwareHandler {
 public:
  // `signatures` are the description's compiled signatures (all zero for a
  // missing one). The names are shared with `description`, which must
  // outlive the handler; the actions are copied.
  ScriptMalwareHandler(const signatures::SignaturePair& signatures,
                       const descriptions::MalwareDescription& description);

  std::u16string_view BaseName() const override { return baseName_; }
  std::u16string_view VariantName() const override { return variantName_; }
  // The removal driver. It runs none of the description's actions: a finding
  // is left as it is.
  void Remove(scan::ScanContext& context, std::optional<std::u16string_view> infectedFile,
              std::span<const scan::ProcessRecord> processes, std::uint32_t processId,
              scan::FindingKind kind, bool more) override;
  bool IsScriptDescribed() const override { return true; }

  // Set at construction; the removal driver clears it after the parts of the
  // removal that are done once per run.
  bool pending() const { return pending_; }
  void set_pending(bool pending) { pending_ = pending; }
  // Whether the removal has touched the registry (set by the removal driver).
  bool registryTouched() const { return registryTouched_; }
  void set_registryTouched(bool touched) { registryTouched_ = touched; }
  const std::vector<descriptions::ScriptAction>& actions() const { return actions_; }

 private:
  bool pending_ = true;
  bool registryTouched_ = false;
  std::u16string_view baseName_;
  std::u16string_view variantName_;
  std::vector<descriptions::ScriptAction> actions_;
};

}  // namespace removal
