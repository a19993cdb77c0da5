// What the built-in handlers share: their names and constant signatures, the
// texts they print, the companion-file and start-up steps of the Sober
// handlers, and their cleaning of start-up entries.
//
// A built-in handler's Remove takes a file finding or a process finding (its
// path is the infected process's module); a script finding, which the memory
// scanner hands only to script-described handlers, does nothing. It runs on
// the scan worker thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "scan/malware_handler.h"
#include "scan/scan_context.h"

namespace handlers {

class BuiltInHandler : public scan::MalwareHandler {
 public:
  // The names are constants of the program.
  BuiltInHandler(const signatures::SignaturePair& signatures, std::u16string_view baseName,
                 std::u16string_view variantName)
      : MalwareHandler(signatures), baseName_(baseName), variantName_(variantName) {}

  std::u16string_view BaseName() const override { return baseName_; }
  std::u16string_view VariantName() const override { return variantName_; }

 private:
  std::u16string_view baseName_;
  std::u16string_view variantName_;
};

// The steps and texts of one Remove of a built-in handler.
class RemovalSteps {
 public:
  explicit RemovalSteps(scan::ScanContext& context);

  // The text of a string-table entry (empty when it cannot be loaded).
  std::u16string Text(std::uint32_t id) const;
  void Append(std::u16string_view text);
  void AppendText(std::uint32_t id) { Append(Text(id)); }
  void Report(std::u16string_view heading, std::u16string_view text);
  // Deletes every REG_SZ value whose data holds `path` (without regard to
  // case) from the Run and RunOnce keys of HKEY_LOCAL_MACHINE, then of
  // HKEY_CURRENT_USER (removal/startup_entries.h). Failures are passed over;
  // nothing is printed. An empty path names nothing and deletes nothing.
  void RemoveStartupEntries(std::u16string_view path);

  // The Windows and system directories, as the system reports them; nothing
  // when it cannot tell.
  std::optional<std::u16string> WindowsDirectory() const;
  std::optional<std::u16string> SystemDirectory() const;

  // Deletes `directory` + `name` and, unless RemoveFile answered
  // kScheduleFailed, prints "deleting companion file %s ...done".
  // Without a directory the file is not looked for at all: the name alone
  // would be a path from the root of the current drive.
  void CompanionStep(const std::optional<std::u16string>& directory, std::u16string_view name);
  void CompanionSteps(const std::optional<std::u16string>& directory,
                      std::span<const std::u16string_view> names);
  // "cleaning registry keys ..." with the path, RemoveStartupEntries with
  // it, then "...done".
  void StartupStep(const std::optional<std::u16string>& directory, std::u16string_view name);

  scan::ScanContext& context() { return context_; }
  scan::RemovalOperations& operations() { return context_.removalOperations(); }

 private:
  scan::ScanContext& context_;
};

}  // namespace handlers
