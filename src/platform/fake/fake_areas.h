// The fake's areas: one class per platform interface, each acting on the
// state of its FakeSystem (fake_system.h), which hands them out as a
// platform::System. Each is implemented in a source of its own:
// fake_runtime.cpp, fake_resources.cpp, fake_user_interface.cpp,
// fake_folders.cpp, fake_files.cpp, fake_profile_files.cpp, fake_registry.cpp,
// fake_processes.cpp, and for the network fake_winsock.cpp and
// fake_netapi.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fake/fake_processes.h"
#include "platform/fake/fake_registry.h"
#include "platform/system.h"

namespace platform::fake {

class FakeSystem;

class FakeRuntimeArea final : public Runtime {
 public:
  explicit FakeRuntimeArea(FakeSystem& system) : system_(system) {}

  std::optional<OsVersion> QueryVersion() override;
  std::u16string ModuleFileName() override;
  std::u16string CommandLine() override;
  MutexResult CreateNamedMutex(std::u16string_view name, bool initialOwner) override;
  // Throws ProcessExit.
  [[noreturn]] void ExitProcess(int status) override;
  // Recorded in FakeSystem::exitWindowsCalls.
  bool ExitWindowsEx(std::uint32_t flags) override;
  Handle LoadLibraryAnsi(std::string_view name) override;
  Handle LoadLibraryWide(std::u16string_view name) override;
  void FreeLibraryHandle(Handle library) override;
  Handle GetModuleHandleWide(std::u16string_view name) override;
  LocalTime GetLocalTime() override;
  std::uint32_t GetTickCount() override;
  // Windows-1252, the ANSI code page of a Western system.
  std::optional<std::string> WideToAnsi(std::u16string_view wide) override;
  std::u16string AnsiToWide(std::string_view ansi) override;
  // UpperCaseTable of fake_case.h for the family of `version`.
  std::u16string UpperCaseTable() override;
  // Closes a process, token or snapshot handle, else a file handle.
  bool CloseHandle(Handle handle) override;
  // Threads wait in FakeSystem::pendingThreads until a test runs them or
  // the program waits for them.
  Handle StartThread(std::function<void()> body) override;
  bool WaitForThread(Handle thread) override;
  bool WaitForThreads(std::span<const Handle> threads) override;

 private:
  FakeSystem& system_;
};

class FakeResourcesArea final : public Resources {
 public:
  explicit FakeResourcesArea(FakeSystem& system) : system_(system) {}

  std::optional<std::u16string> LoadStringResource(std::uint32_t id) override;
  std::optional<std::vector<std::uint8_t>> LoadResourceData(std::u16string_view type,
                                                            std::u16string_view name) override;
  std::uint32_t GetFileVersionInfoSizeWide(std::u16string_view path) override;
  std::optional<std::vector<std::uint8_t>> GetFileVersionInfoWide(std::u16string_view path,
                                                                  std::uint32_t size) override;
  std::optional<std::vector<std::uint8_t>> VerQueryValueBytes(
      const std::vector<std::uint8_t>& block, std::u16string_view subBlock) override;
  std::optional<std::u16string> VerQueryValueText(const std::vector<std::uint8_t>& block,
                                                  std::u16string_view subBlock) override;
  std::uint16_t GetUserDefaultLangID() override;

 private:
  FakeSystem& system_;
};

class FakeUserInterfaceArea final : public UserInterface {
 public:
  explicit FakeUserInterfaceArea(FakeSystem& system) : system_(system) {}

  int ShowMessageBox(WindowId owner, std::u16string_view text, std::u16string_view caption,
                     std::uint32_t type) override;
  int RunModalDialog(std::uint32_t templateId, WindowId owner, DialogHandler& handler) override;

 private:
  FakeSystem& system_;
};

class FakeFoldersArea final : public Folders {
 public:
  explicit FakeFoldersArea(FakeSystem& system) : system_(system) {}

  std::optional<std::u16string> SystemDirectory() override;
  std::optional<std::u16string> WindowsDirectory() override;
  std::optional<std::u16string> TempPath() override;
  SpecialFolderPathFunction BindSpecialFolderPath(Handle library) override;
  LongPathNameFunction BindLongPathName(Handle library) override;

 private:
  // Whether `library` is a loaded handle of `dll` that exports `function`.
  bool Exports(Handle library, std::u16string_view dll, const std::string& function) const;

  FakeSystem& system_;
};

class FakeFilesArea final : public Files {
 public:
  explicit FakeFilesArea(FakeSystem& system) : system_(system) {}

  DriveStrings GetLogicalDriveStringsWide(std::uint32_t bufferLength) override;
  std::uint32_t GetDriveTypeWide(std::u16string_view rootPath) override;
  std::optional<FindFirstResult> FindFirstFileWide(std::u16string_view pattern) override;
  std::optional<FindData> FindNextFileWide(Handle search) override;
  bool FindClose(Handle search) override;
  bool SetFileAttributesWide(std::u16string_view path, std::uint32_t attributes) override;
  FileOpenResult CreateFileWide(std::u16string_view path, std::uint32_t access,
                                std::uint32_t shareMode, std::uint32_t creationDisposition,
                                std::uint32_t flagsAndAttributes) override;
  std::optional<FileIdentity> GetFileInformationByHandle(Handle file) override;
  std::optional<std::uint32_t> GetFileAttributesWide(std::u16string_view path) override;
  std::uint32_t CreateDirectoryWide(std::u16string_view path) override;
  bool RemoveDirectoryWide(std::u16string_view path) override;
  bool DeleteFileWide(std::u16string_view path) override;
  FileMoveResult MoveFileWide(std::u16string_view from, std::u16string_view to) override;
  // Fails on Windows 9x/ME (platform id 1), which lack the function.
  bool MoveFileExWide(std::u16string_view from, std::optional<std::u16string_view> to,
                      std::uint32_t flags) override;
  // The file system's short names (fake_files.h).
  std::optional<std::u16string> GetShortPathNameWide(std::u16string_view path) override;
  std::optional<std::uint64_t> SetFilePointer(Handle file, std::int64_t distance,
                                              std::uint32_t moveMethod) override;
  bool SetEndOfFile(Handle file) override;
  std::optional<std::uint64_t> GetFileSize(Handle file) override;
  std::optional<std::uint32_t> ReadFile(Handle file, std::span<std::uint8_t> buffer) override;
  std::optional<std::uint32_t> WriteFile(Handle file, std::span<const std::uint8_t> bytes) override;
  // The stream functions bind from KERNEL32.DLL and act on the file
  // system's streams (fake_files.h).
  BackupReadFunction BindBackupRead(Handle module) override;
  BackupSeekFunction BindBackupSeek(Handle module) override;
  // From a loaded shell32.dll (unless "SHFileOperationW" is missing): records
  // each call in the file system's shellOperations and answers its
  // shellOperationAnswer.
  ShFileOperationFunction BindShFileOperation(Handle library) override;

 private:
  FakeSystem& system_;
};

// The registry of FakeSystem::registryTree (fake_registry.h).
class FakeRegistryArea final : public Registry {
 public:
  explicit FakeRegistryArea(FakeSystem& system) : system_(system) {}

  RegistryOpenResult RegOpenKeyExWide(RegistryKey key, std::u16string_view subKey,
                                      std::uint32_t access) override;
  RegistryCreateResult RegCreateKeyExWide(RegistryKey key, std::u16string_view subKey,
                                          std::uint32_t options, std::uint32_t access) override;
  std::uint32_t RegCloseKey(RegistryKey key) override;
  std::uint32_t RegDeleteKeyWide(RegistryKey key, std::u16string_view subKey) override;
  std::uint32_t RegDeleteValueWide(RegistryKey key, std::u16string_view valueName) override;
  RegistryValueData RegQueryValueExWide(RegistryKey key, std::u16string_view valueName,
                                        std::uint32_t bufferBytes) override;
  std::uint32_t RegSetValueExWide(RegistryKey key, std::u16string_view valueName,
                                  std::uint32_t type, std::span<const std::uint8_t> data) override;
  RegistryKeyInfo RegQueryInfoKeyWide(RegistryKey key) override;
  RegistryValueData RegEnumValueWide(RegistryKey key, std::uint32_t index, std::uint32_t nameChars,
                                     std::uint32_t dataBytes) override;
  RegistrySubkey RegEnumKeyExWide(RegistryKey key, std::uint32_t index,
                                  std::uint32_t nameChars) override;

  // Key handles open now.
  std::size_t OpenKeyCount() const { return handles_.size(); }

 private:
  // An open key: its root and path, and the rights it was opened with.
  struct OpenKey {
    RegistryKey root = 0;
    std::vector<std::u16string> path;
    std::uint32_t access = 0;
  };
  // The key behind `key` (a root or an open handle), the rights it grants,
  // and its root and path; a status other than 0 when there is none.
  struct Resolved {
    std::uint32_t status = 0;
    FakeRegistryKey* key = nullptr;
    std::uint32_t access = 0;
    OpenKey where;
  };
  Resolved Resolve(RegistryKey key, std::uint32_t neededAccess);
  RegistryKey NewHandle(OpenKey where);

  FakeSystem& system_;
  std::map<RegistryKey, OpenKey> handles_;
};

// The areas that have no operations.
// Profile files as the system reads and writes them, over the files of the
// file system; the rules are at the top of fake_profile_files.cpp.
class FakeProfileFilesArea final : public ProfileFiles {
 public:
  explicit FakeProfileFilesArea(FakeSystem& system) : system_(system) {}

  std::vector<std::u16string> GetPrivateProfileSectionNamesWide(std::uint32_t bufferChars,
                                                                std::u16string_view path) override;
  std::vector<std::u16string> GetPrivateProfileSectionWide(std::u16string_view section,
                                                           std::uint32_t bufferChars,
                                                           std::u16string_view path) override;
  bool WritePrivateProfileStringWide(std::u16string_view section, std::u16string_view key,
                                     std::u16string_view value, std::u16string_view path) override;
  void FlushProfileCache(std::u16string_view path) override;

 private:
  FakeSystem& system_;
};

class FakeProcessesArea final : public Processes {
 public:
  explicit FakeProcessesArea(FakeSystem& system) : system_(system) {}

  CreateToolhelp32SnapshotFunction BindCreateToolhelp32Snapshot(Handle library) override;
  ProcessWalkAnsiFunction BindProcessWalkAnsi(Handle library, std::string_view exportName) override;
  ProcessWalkWideFunction BindProcessWalkWide(Handle library, std::string_view exportName) override;
  ModuleWalkAnsiFunction BindModuleWalkAnsi(Handle library, std::string_view exportName) override;
  ModuleWalkWideFunction BindModuleWalkWide(Handle library, std::string_view exportName) override;
  EnumProcessesFunction BindEnumProcesses(Handle library) override;
  EnumProcessModulesFunction BindEnumProcessModules(Handle library) override;
  ModuleNameFunction BindModuleName(Handle library, std::string_view exportName) override;
  GetModuleInformationFunction BindGetModuleInformation(Handle library) override;
  Handle OpenProcess(std::uint32_t access, std::uint32_t processId) override;
  bool SetPriorityClass(Handle process, std::uint32_t priorityClass) override;
  bool TerminateProcess(Handle process, std::uint32_t exitCode) override;
  // Throws std::logic_error for an endless wait for a process that never ends.
  ProcessWait WaitForProcess(Handle process, std::uint32_t milliseconds) override;
  std::optional<std::size_t> ReadProcessMemory(Handle process, std::uint64_t address,
                                               std::span<std::uint8_t> buffer) override;
  std::uint32_t GetCurrentProcessId() override;
  Handle OpenProcessToken(std::uint32_t access) override;
  std::optional<std::uint64_t> LookupPrivilegeValueWide(std::u16string_view name) override;
  AdjustPrivilegesResult AdjustTokenPrivileges(Handle token, std::uint64_t privilege,
                                               std::uint32_t attributes) override;
  // GetUserNameW and the group membership functions act on
  // FakeSystem::accounts; the latter bind from ADVAPI32.DLL.
  std::optional<std::u16string> GetUserNameWide(std::uint32_t maxChars) override;
  AllocateAndInitializeSidFunction BindAllocateAndInitializeSid(Handle library) override;
  FreeSidFunction BindFreeSid(Handle library) override;
  CheckTokenMembershipFunction BindCheckTokenMembership(Handle library) override;

  // Closes a process, token or snapshot handle; false for any other handle.
  bool CloseObject(Handle handle);
  // Process, token and snapshot handles open now.
  std::size_t OpenObjectCount() const {
    return processHandles_.size() + tokens_.size() + snapshots_.size();
  }

 private:
  struct Snapshot {
    std::vector<ProcessEntry<std::u16string>> processes;
    std::vector<ModuleEntry<std::u16string>> modules;
    std::size_t next = 0;
  };
  // A check that a function bound from `library` runs while it is loaded,
  // or nothing when the library is not a loaded `dll` exporting `function`.
  std::optional<std::function<void()>> LibraryBinding(Handle library, std::u16string_view dll,
                                                      std::string_view function);
  struct ProcessHandle {
    std::uint32_t id = 0;
    std::uint32_t access = 0;
  };
  // The process behind an open process handle (that grants `neededAccess`),
  // or nullptr.
  FakeProcess* ProcessOf(Handle process, std::uint32_t neededAccess = 0);
  template <typename Entry>
  std::optional<Entry> Step(Handle snapshot, std::string_view exportName);

  FakeSystem& system_;
  std::map<Handle, ProcessHandle> processHandles_;
  std::set<Handle> tokens_;
  std::map<Handle, Snapshot> snapshots_;
};

class FakeNetworkArea final : public Network {
 public:
  explicit FakeNetworkArea(FakeSystem& system) : system_(system) {}

  WsaStartupFunction BindWsaStartup(Handle library) override;
  WsaCleanupFunction BindWsaCleanup(Handle library) override;
  GetHostNameFunction BindGetHostName(Handle library) override;
  GetHostByNameFunction BindGetHostByName(Handle library) override;
  // From NETAPI32.DLL, acting on FakeSystem::accounts (fake_netapi.cpp).
  NetUserGetInfoFunction BindNetUserGetInfo(Handle library) override;
  NetApiBufferFreeFunction BindNetApiBufferFree(Handle library) override;

 private:
  FakeSystem& system_;
};

// The areas of one FakeSystem, made before the System that hands them out.
struct FakeAreas {
  explicit FakeAreas(FakeSystem& system)
      : runtimeArea(system),
        resourcesArea(system),
        uiArea(system),
        foldersArea(system),
        filesArea(system),
        registryArea(system),
        profileFilesArea(system),
        processesArea(system),
        networkArea(system) {}

  FakeRuntimeArea runtimeArea;
  FakeResourcesArea resourcesArea;
  FakeUserInterfaceArea uiArea;
  FakeFoldersArea foldersArea;
  FakeFilesArea filesArea;
  FakeRegistryArea registryArea;
  FakeProfileFilesArea profileFilesArea;
  FakeProcessesArea processesArea;
  FakeNetworkArea networkArea;
};

}  // namespace platform::fake
