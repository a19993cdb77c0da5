// The removal operations as the removal driver and the built-in handlers
// call them: registry, files, the system's initialisation and hosts files,
// processes, and the user's attention. The engine makes the real ones
// (removal::SystemRemovalOperations) over its system context, statistics and
// reboot flag and hands them out; tests of the driver and the handlers
// record the calls with a double of their own.
//
// Each operation answers its result type of common/codes.h and prints
// nothing; those that count or set flags do so in the statistics and the
// reboot flag they were made with. All of them run on the scan worker thread
// (TerminateProcesses starts threads of its own and waits for them).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/codes.h"
#include "scan/malware_handler.h"

namespace scan {

// Registry value types.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

// One value of a key's listing.
struct RegistryValue {
  std::u16string name;  // at most 259 characters
  std::uint32_t type = 0;
  // The data as read with a limit of 260 bytes.
  std::vector<std::uint8_t> data;
  // False when the data did not fit the limit: such a value matches nothing.
  bool dataComplete = true;
};

class RemovalOperations {
 public:
  virtual ~RemovalOperations() = default;

  // --- Registry. Root names are the seven full names, compared exactly; an
  // empty view stands for an absent argument. ---

  // Deletes the start-up values under HKEY_LOCAL_MACHINE and every profile
  // of HKEY_USERS whose string data names `fileName`.
  virtual codes::RunEntriesResult RemoveRunEntries(std::u16string_view fileName) = 0;
  virtual codes::KeyRemovalResult RemoveRegistryKey(std::u16string_view rootName,
                                                    std::u16string_view subkey) = 0;
  virtual codes::ValueRemovalResult RemoveRegistryValue(std::u16string_view rootName,
                                                        std::u16string_view subkey,
                                                        std::u16string_view valueName) = 0;
  virtual codes::ValueWriteResult ReplaceRegistryValue(std::u16string_view rootName,
                                                       std::u16string_view subkey,
                                                       std::u16string_view valueName,
                                                       std::u16string_view oldContent,
                                                       std::u16string_view newContent) = 0;
  virtual codes::KeyCreationResult AddRegistryKey(std::u16string_view rootName,
                                                  std::u16string_view subkey) = 0;
  virtual codes::ValueWriteResult AddRegistryValue(std::u16string_view rootName,
                                                   std::u16string_view subkey,
                                                   std::u16string_view valueName,
                                                   std::optional<std::u16string_view> typeName,
                                                   std::optional<std::u16string_view> data) = 0;
  // The values of a key, or nothing (also for a key without values).
  virtual std::optional<std::vector<RegistryValue>> EnumerateValues(std::u16string_view rootName,
                                                                    std::u16string_view subkey) = 0;

  // --- Files ---

  virtual codes::FileRemovalResult RemoveFile(std::u16string_view path) = 0;
  virtual codes::FileRenameResult RenameFile(std::u16string_view oldPath,
                                             std::u16string_view newPath) = 0;

  // --- win.ini, system.ini and hosts ---

  // which: 1 system.ini, 2 win.ini (any other: kNothingDone).
  virtual codes::SystemFileResult CleanIniFile(std::u16string_view fileName, int which) = 0;
  virtual codes::SystemFileResult RestoreHosts() = 0;
  virtual codes::HostsRemovalResult RemoveFromHosts(std::u16string_view name) = 0;

  // --- Processes ---

  // Appends one record per running process whose executable's base name is
  // `name` (without regard to case).
  virtual void FindProcessesByName(std::u16string_view name, std::vector<ProcessRecord>& list) = 0;
  // Ends every process of the list, one thread each, and waits for all.
  virtual codes::TerminationResult TerminateProcesses(const std::vector<ProcessRecord>* list) = 0;
  virtual codes::ProcessEndResult TerminateProcessById(std::uint32_t processId) = 0;

  // --- The user ---

  // A modal message box with the program's title and OK; kClosed once
  // closed.
  virtual codes::PopupResult ShowPopup(std::u16string_view text) = 0;
};

}  // namespace scan
