// The handler of one malware described by the script.
#pragma once

#include <string_view>
#include <vector>

#include "descriptions/malware_description.h"
#include "descriptions/malware_handler.h"

namespace detect {
class SystemContext;
}

namespace descriptions {

class ScriptMalwareHandler final : public MalwareHandler {
 public:
  // `signatures` are the description's compiled signatures (all zero for a
  // missing one). The names are shared with `description`, which must
  // outlive the handler; the actions are copied.
  ScriptMalwareHandler(const HandlerSignatures& signatures, const MalwareDescription& description);

  std::u16string_view BaseName() const override { return baseName_; }
  std::u16string_view VariantName() const override { return variantName_; }
  // Runs the description's actions; the removal driver arrives with the
  // removal operations, until then nothing is done.
  void Remove(ScanEngine& engine, std::optional<std::u16string_view> infectedFile,
              std::span<const ProcessRecord> processes, std::uint32_t processId, FindingKind kind,
              bool more) override;
  bool IsScriptDescribed() const override { return true; }

  // Set at construction; the removal driver clears it after the parts of the
  // removal that are done once per run.
  bool pending() const { return pending_; }
  void set_pending(bool pending) { pending_ = pending; }
  // Whether the removal has touched the registry (set by the removal driver).
  bool registryTouched() const { return registryTouched_; }
  void set_registryTouched(bool touched) { registryTouched_ = touched; }
  // The system context, set by Remove; none before.
  detect::SystemContext* systemContext() const { return systemContext_; }

  const std::vector<ScriptAction>& actions() const { return actions_; }

 private:
  bool pending_ = true;
  bool registryTouched_ = false;
  std::u16string_view baseName_;
  std::u16string_view variantName_;
  detect::SystemContext* systemContext_ = nullptr;
  std::vector<ScriptAction> actions_;
};

}  // namespace descriptions
