#include "handlers/builtin_handler.h"

#include <algorithm>

#include "common/string_ids.h"
#include "common/text.h"
#include "removal/registry_operations.h"
#include "scan/texts.h"

namespace handlers {

namespace {

// The start-up keys that RemoveStartupEntries examines, in this order.
struct StartupKey {
  std::u16string_view root;
  std::u16string_view subkey;
};
constexpr StartupKey kStartupKeys[] = {
    {u"HKEY_LOCAL_MACHINE", u"Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {u"HKEY_LOCAL_MACHINE", u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
    {u"HKEY_CURRENT_USER", u"Software\\Microsoft\\Windows\\CurrentVersion\\Run"},
    {u"HKEY_CURRENT_USER", u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"},
};

}  // namespace

void RemoveStartupEntries(scan::ScanContext& context, std::u16string_view path) {
  if (path.empty()) return;
  scan::RemovalOperations& operations = context.removalOperations();
  for (const StartupKey& key : kStartupKeys) {
    const auto values = operations.EnumerateValues(context, key.root, key.subkey);
    if (!values) continue;
    for (const scan::RegistryValue& value : *values) {
      // Data cut short by the read limit matches nothing.
      if (value.type != scan::kRegSz || !value.dataComplete) continue;
      if (text::FindNoCase(removal::StringData(value), path) == std::u16string::npos) continue;
      operations.RemoveRegistryValue(context, key.root, key.subkey, value.name);
    }
  }
}

RemovalSteps::RemovalSteps(scan::ScanContext& context) : context_(context) {}

std::u16string RemovalSteps::Text(std::uint32_t id) const {
  return scan::LoadText(context_.systemContext().system(), id);
}

void RemovalSteps::Append(std::u16string_view text) { context_.observer().AppendText(text); }

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
  // A file that is not there answers 2 and is reported like a deleted one.
  if (operations().RemoveFile(context_, path) != 0) {
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
  RemoveStartupEntries(context_, path);
  Append(u"...");
  AppendText(strings::kDone);
}

}  // namespace handlers
