// The removal operations as the removal driver and the built-in handlers
// call them: registry, files, the system's initialisation and hosts files,
// processes, and the user's attention. The engine hands out the real ones
// (removal::SystemRemovalOperations); tests of the driver and the handlers
// record the calls with a double of their own.
//
// Each operation answers a small result code and prints nothing; those that
// count or set flags do so in the statistics of the context they are given.
// All of them run on the scan worker thread (TerminateProcesses starts
// threads of its own and waits for them).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/malware_handler.h"

namespace scan {

class ScanContext;

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
  // of HKEY_USERS whose string data names `fileName`: 1 done, 2 nothing done
  // or aborted.
  virtual int RemoveRunEntries(ScanContext& context, std::u16string_view fileName) = 0;
  // 1 deleted, 0 not deleted, 5 no root.
  virtual int RemoveRegistryKey(ScanContext& context, std::u16string_view rootName,
                                std::u16string_view subkey) = 0;
  // 1 deleted, 0 not deleted, -1 key not opened or not closed.
  virtual int RemoveRegistryValue(ScanContext& context, std::u16string_view rootName,
                                  std::u16string_view subkey, std::u16string_view valueName) = 0;
  // 1 replaced, 2 not replaced, 5 no root, subkey or value name.
  virtual int ReplaceRegistryValue(ScanContext& context, std::u16string_view rootName,
                                   std::u16string_view subkey, std::u16string_view valueName,
                                   std::u16string_view oldContent,
                                   std::u16string_view newContent) = 0;
  // 1 created, 6 existed already, 2 failed, 5 no root or subkey.
  virtual int AddRegistryKey(ScanContext& context, std::u16string_view rootName,
                             std::u16string_view subkey) = 0;
  // 1 written, 2 not written, 5 no root or value name.
  virtual int AddRegistryValue(ScanContext& context, std::u16string_view rootName,
                               std::u16string_view subkey, std::u16string_view valueName,
                               std::optional<std::u16string_view> typeName,
                               std::optional<std::u16string_view> data) = 0;
  // The values of a key, or nothing (also for a key without values).
  virtual std::optional<std::vector<RegistryValue>> EnumerateValues(ScanContext& context,
                                                                    std::u16string_view rootName,
                                                                    std::u16string_view subkey) = 0;

  // --- Files ---

  // 1 deleted or scheduled for the next start, 2 nothing done, 0 WININIT.INI
  // unreadable or not writable.
  virtual int RemoveFile(ScanContext& context, std::u16string_view path) = 0;
  // 1 renamed or scheduled, 2 nothing done, 3 handed to the shell.
  virtual int RenameFile(ScanContext& context, std::u16string_view oldPath,
                         std::u16string_view newPath) = 0;

  // --- win.ini, system.ini and hosts ---

  // which: 1 system.ini, 2 win.ini. 1 changed, 2 nothing changed or failed.
  virtual int CleanIniFile(ScanContext& context, std::u16string_view fileName, int which) = 0;
  // 1 rewritten, 2 nothing done.
  virtual int RestoreHosts(ScanContext& context) = 0;
  // 1 entries disabled, 7 no entry matched, 2 failure.
  virtual int RemoveFromHosts(ScanContext& context, std::u16string_view name) = 0;

  // --- Processes ---

  // Appends one record per running process whose executable's base name is
  // `name` (without regard to case).
  virtual void FindProcessesByName(ScanContext& context, std::u16string_view name,
                                   std::vector<ProcessRecord>& list) = 0;
  // Ends every process of the list, one thread each, and waits for all: 2
  // without a list, else 1.
  virtual int TerminateProcesses(ScanContext& context, const std::vector<ProcessRecord>* list) = 0;
  // 1 the process ended, 0 otherwise.
  virtual int TerminateProcessById(ScanContext& context, std::uint32_t processId) = 0;

  // --- The user ---

  // A modal message box with the program's title and OK; 1 once closed.
  virtual int ShowPopup(ScanContext& context, std::u16string_view text) = 0;
};

}  // namespace scan
