#include "handlers/builtin_handler.h"

#include <algorithm>

#include "common/string_ids.h"
#include "common/text.h"
#include "removal/startup_entries.h"
#include "scan/texts.h"

namespace handlers {

RemovalSteps::RemovalSteps(scan::ScanContext& context) : context_(context) {}

std::u16string RemovalSteps::Text(std::uint32_t id) const {
  return scan::LoadText(context_.systemContext().system(), id);
}

void RemovalSteps::Append(std::u16string_view text) { context_.observer().AppendText(text); }

void RemovalSteps::RemoveStartupEntries(std::u16string_view path) {
  removal::RemoveStartupValues(operations(), context_.systemContext().system().registry(),
                               removal::kBuiltInStartupKeys, path);
}

void RemovalSteps::Report(std::u16string_view heading, std::u16string_view text) {
  context_.observer().ReportFinding(heading, text);
}

std::optional<std::u16string> RemovalSteps::WindowsDirectory() const {
  auto directory = context_.systemContext().system().folders().WindowsDirectory();
  if (directory && directory->empty()) return std::nullopt;
  return directory;
}

std::optional<std::u16string> RemovalSteps::SystemDirectory() const {
  auto directory = context_.systemContext().system().folders().SystemDirectory();
  if (directory && directory->empty()) return std::nullopt;
  return directory;
}

void RemovalSteps::CompanionStep(const std::optional<std::u16string>& directory,
                                 std::u16string_view name) {
  if (!directory) return;
  const std::u16string path = text::Format(u"%s%s", {*directory, name});
  const std::u16string line = text::Format(Text(strings::kDeletingCompanionFile), {path});
  // A file that is not there answers kNothingDone and is reported like a
  // deleted one.
  if (operations().RemoveFile(path) != codes::FileRemovalResult::kScheduleFailed) {
    Append(line);
    AppendText(strings::kDone);
  }
}

void RemovalSteps::CompanionSteps(const std::optional<std::u16string>& directory,
                                  std::span<const std::u16string_view> names) {
  for (const std::u16string_view name : names) CompanionStep(directory, name);
}

void RemovalSteps::StartupStep(const std::optional<std::u16string>& directory,
                               std::u16string_view name) {
  if (!directory) return;
  const std::u16string path = text::Format(u"%s%s", {*directory, name});
  AppendText(strings::kCleaningRegistryKeys);
  Append(path);
  RemoveStartupEntries(path);
  Append(u"...");
  AppendText(strings::kDone);
}

}  // namespace handlers
