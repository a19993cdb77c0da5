// The handler of one malware described by the script, whose Remove is the
// removal driver: it turns the block's actions, in script order, into calls
// of the removal operations and reports each step to the scan's observer.
//
// The driver holds no policy beyond the order of the steps, the texts it
// prints and one rule: actions that change the system as a whole (companion
// files, hosts, keys and values named in the script) run only during the
// first Remove of a handler (`pending`); later findings repeat only what is
// tied to the finding itself (its processes, its file, the
// "%infected_file%" forms and the pop-up).
//
// Remove runs on the scan worker thread; a handler is never called
// concurrently.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "descriptions/malware_description.h"
#include "scan/malware_handler.h"

namespace removal {

// A registry path split at its first backslash: the root name before it and
// the subkey path after it (views into the path).
struct RegistryPath {
  std::u16string_view root;
  std::u16string_view subkey;
};

// Nothing when the path holds no backslash; the driver then skips the
// argument.
std::optional<RegistryPath> SplitRegistryPath(std::u16string_view path);

class ScriptMalwareHandler final : public scan::MalwareHandler {
 public:
  // `signatures` are the description's compiled signatures (all zero for a
  // missing one). The names are shared with `description`, which must
  // outlive the handler; the actions are copied.
  ScriptMalwareHandler(const signatures::SignaturePair& signatures,
                       const descriptions::MalwareDescription& description);

  std::u16string_view BaseName() const override { return baseName_; }
  std::u16string_view VariantName() const override { return variantName_; }
  // The removal driver, step by step:
  //   1. a script finding without processes, or a process finding (the
  //      memory scanner hands those to built-in handlers only), does nothing
  //      and prints nothing;
  //   2. the finding line: the name in the highlight format, then " was
  //      found in memory !" or " was found in file %s !";
  //   3. memory finding: the processes of the first KILL_PROCESS action
  //      ("%infected_processes%" stands for the finding's own) are ended on
  //      one line; a handler without a memory signature (its processes were
  //      found by their executables on disk) then removes those executables;
  //   4. file finding: the infected file is removed;
  //   5. every other action in script order (see the .cpp for each);
  //   6. "cleaning registry keys ...done" when a registry action ran;
  //   7. the name with " was successfully removed.", whatever the steps
  //      answered; `pending` is cleared.
  // No step's failure stops the others.
  void Remove(scan::ScanContext& context, const scan::Finding& finding) override;
  bool IsScriptDescribed() const override { return true; }

  // Set at construction; cleared at the end of the first Remove.
  bool pending() const { return pending_; }
  void set_pending(bool pending) { pending_ = pending; }
  // Set by every registry action during a Remove, cleared when the registry
  // line is printed: it never survives a Remove.
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
