// Removal operations for tests of the removal driver and the handlers: every
// call is recorded as one line of text ("RemoveFile C:\\x.exe"), and each
// operation answers what the test set for it, by its number (by default
// "nothing done").
#pragma once

#include <algorithm>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "common/text.h"
#include "scan/removal_operations.h"

namespace qrt_test {

class RecordingRemovalOperations final : public scan::RemovalOperations {
 public:
  codes::RunEntriesResult RemoveRunEntries(std::u16string_view fileName) override {
    return Answer<codes::RunEntriesResult>(u"RemoveRunEntries", {fileName}, 2);
  }
  codes::KeyRemovalResult RemoveRegistryKey(std::u16string_view rootName,
                                            std::u16string_view subkey) override {
    return Answer<codes::KeyRemovalResult>(u"RemoveRegistryKey", {rootName, subkey}, 0);
  }
  codes::ValueRemovalResult RemoveRegistryValue(std::u16string_view rootName,
                                                std::u16string_view subkey,
                                                std::u16string_view valueName) override {
    return Answer<codes::ValueRemovalResult>(u"RemoveRegistryValue", {rootName, subkey, valueName},
                                             0);
  }
  codes::ValueWriteResult ReplaceRegistryValue(std::u16string_view rootName,
                                               std::u16string_view subkey,
                                               std::u16string_view valueName,
                                               std::u16string_view oldContent,
                                               std::u16string_view newContent) override {
    return Answer<codes::ValueWriteResult>(
        u"ReplaceRegistryValue", {rootName, subkey, valueName, oldContent, newContent}, 2);
  }
  codes::KeyCreationResult AddRegistryKey(std::u16string_view rootName,
                                          std::u16string_view subkey) override {
    return Answer<codes::KeyCreationResult>(u"AddRegistryKey", {rootName, subkey}, 2);
  }
  codes::ValueWriteResult AddRegistryValue(std::u16string_view rootName, std::u16string_view subkey,
                                           std::u16string_view valueName,
                                           std::optional<std::u16string_view> typeName,
                                           std::optional<std::u16string_view> data) override {
    return Answer<codes::ValueWriteResult>(
        u"AddRegistryValue",
        {rootName, subkey, valueName, typeName.value_or(u"<none>"), data.value_or(u"<none>")}, 2);
  }
  std::optional<std::vector<scan::RegistryValue>> EnumerateValues(
      std::u16string_view rootName, std::u16string_view subkey) override {
    Record(u"EnumerateValues", {rootName, subkey}, 0);
    const auto found = values.find(std::u16string(rootName) + u"\\" + std::u16string(subkey));
    if (found == values.end()) return std::nullopt;
    return found->second;
  }
  codes::FileRemovalResult RemoveFile(std::u16string_view path) override {
    return Answer<codes::FileRemovalResult>(u"RemoveFile", {path}, 2);
  }
  codes::FileRenameResult RenameFile(std::u16string_view oldPath,
                                     std::u16string_view newPath) override {
    return Answer<codes::FileRenameResult>(u"RenameFile", {oldPath, newPath}, 2);
  }
  codes::SystemFileResult CleanIniFile(std::u16string_view fileName, int which) override {
    return Answer<codes::SystemFileResult>(u"CleanIniFile",
                                           {fileName, which == 1 ? u"system.ini" : u"win.ini"}, 2);
  }
  codes::SystemFileResult RestoreHosts() override {
    return Answer<codes::SystemFileResult>(u"RestoreHosts", {}, 2);
  }
  codes::HostsRemovalResult RemoveFromHosts(std::u16string_view name) override {
    return Answer<codes::HostsRemovalResult>(u"RemoveFromHosts", {name}, 7);
  }
  void FindProcessesByName(std::u16string_view name,
                           std::vector<scan::ProcessRecord>& list) override {
    Record(u"FindProcessesByName", {name}, 0);
    const auto found = running.find(std::u16string(name));
    if (found != running.end()) list.insert(list.end(), found->second.begin(), found->second.end());
  }
  codes::TerminationResult TerminateProcesses(
      const std::vector<scan::ProcessRecord>* list) override {
    std::vector<std::u16string> ids;
    if (list != nullptr) {
      for (const auto& record : *list) ids.push_back(Number(record.processId));
    }
    std::vector<std::u16string_view> views(ids.begin(), ids.end());
    return static_cast<codes::TerminationResult>(
        Record(u"TerminateProcesses", views, list == nullptr ? 2 : 1));
  }
  codes::ProcessEndResult TerminateProcessById(std::uint32_t processId) override {
    const std::u16string id = Number(processId);
    return Answer<codes::ProcessEndResult>(u"TerminateProcessById", {id}, 0);
  }
  codes::PopupResult ShowPopup(std::u16string_view text) override {
    return Answer<codes::PopupResult>(u"ShowPopup", {text}, 1);
  }

  // The calls so far in UTF-8, without those named in `leaveOut`; the calls
  // are cleared.
  std::vector<std::string> TakeCalls(std::initializer_list<std::u16string_view> leaveOut = {}) {
    std::vector<std::string> taken;
    for (const std::u16string& call : calls) {
      const std::u16string_view name = std::u16string_view(call).substr(0, call.find(u' '));
      if (std::find(leaveOut.begin(), leaveOut.end(), name) == leaveOut.end()) {
        taken.push_back(text::ToUtf8(call));
      }
    }
    calls.clear();
    return taken;
  }

  // Every call in order: the operation's name and its arguments, separated
  // by single spaces.
  std::vector<std::u16string> calls;
  // Answers by call line (name and arguments as recorded), then by
  // operation name; else the operation's default.
  std::map<std::u16string, int> answers;
  // What EnumerateValues lists, by "root\\subkey".
  std::map<std::u16string, std::vector<scan::RegistryValue>> values;
  // What FindProcessesByName finds, by the name asked for.
  std::map<std::u16string, std::vector<scan::ProcessRecord>> running;

 private:
  static std::u16string Number(std::uint32_t value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
  }
  template <typename Result>
  Result Answer(std::u16string_view name, std::initializer_list<std::u16string_view> arguments,
                int fallback) {
    return static_cast<Result>(Record(name, std::vector<std::u16string_view>(arguments), fallback));
  }
  int Record(std::u16string_view name, std::initializer_list<std::u16string_view> arguments,
             int fallback) {
    return Record(name, std::vector<std::u16string_view>(arguments), fallback);
  }
  int Record(std::u16string_view name, const std::vector<std::u16string_view>& arguments,
             int fallback) {
    std::u16string line(name);
    for (const auto argument : arguments) line.append(u" ").append(argument);
    calls.push_back(line);
    if (const auto answer = answers.find(line); answer != answers.end()) return answer->second;
    if (const auto answer = answers.find(std::u16string(name)); answer != answers.end()) {
      return answer->second;
    }
    return fallback;
  }
};

}  // namespace qrt_test
