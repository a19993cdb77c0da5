// An in-memory Windows for tests: every platform operation acts on state that
// a test sets up and reads back. Nothing here touches the host system.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/fake/fake_dialog.h"
#include "platform/fake/fake_files.h"
#include "platform/fake/fake_folders.h"
#include "platform/fake/fake_processes.h"
#include "platform/fake/fake_winsock.h"
#include "platform/system.h"

namespace platform::fake {

// Thrown by ExitProcess so that a test can see the status and go on.
struct ProcessExit {
  int status;
};

// One message box that the program showed.
struct MessageBoxCall {
  WindowId owner = 0;
  std::u16string text;
  std::u16string caption;
  std::uint32_t type = 0;
  // The caption was kNoCaption: the system shows its default one.
  bool defaultCaption = false;
};

// The version resource of one file: its values by sub-block, e.g.
// u"\\VarFileInfo\\Translation" (binary) or
// u"\\StringFileInfo\\040904B0\\FileVersion" (text); names compare
// without regard to case.
struct FakeVersionResource {
  std::map<std::u16string, std::vector<std::uint8_t>> binaryValues;
  std::map<std::u16string, std::u16string> textValues;
  // GetFileVersionInfoW fails although the size was answered.
  bool readFails = false;
};

class FakeSystem : public System {
 public:
  // A Windows XP SP2 system with the program's string table and no resources
  // besides it.
  FakeSystem();

  // --- What the system is; tests change these freely. ---
  // The version answer; nothing makes the query fail.
  std::optional<OsVersion> version;
  std::u16string moduleFileName = u"C:\\Program Files\\Quelvix\\QuelvixRemovalTool.exe";
  // The string table; starts as the program's own.
  std::map<std::uint32_t, std::u16string> strings;
  // Resources by (type, name), e.g. {u"SCRIPTFILE", u"#161"}.
  std::map<std::pair<std::u16string, std::u16string>, std::vector<std::uint8_t>> resources;
  // Names of the mutexes that exist; `mutexCreationFails` makes CreateNamedMutex answer no handle.
  std::set<std::u16string> mutexes;
  bool mutexCreationFails = false;
  // Names of the libraries that can be loaded (compared without regard to
  // case). A name with a backslash is a path instead: it loads when that file
  // exists in `files` and begins with "MZ".
  std::set<std::u16string> loadableLibraries = {u"RICHED20.DLL", u"shell32.dll", u"KERNEL32.DLL",
                                                u"WS2_32.DLL"};
  // The clock: local time and tick count, moved by tests.
  LocalTime localTime{2008, 5, 3, 28, 15, 11, 17, 0};
  std::uint32_t tickCount = 1000;

  // --- Message boxes: answered from the queue (the first button when it is
  // empty) and recorded. ---
  std::deque<int> messageBoxAnswers;
  std::vector<MessageBoxCall> messageBoxes;

  // --- Libraries loaded and freed, by name, in order. ---
  std::vector<std::u16string> loadedLibraries;
  std::vector<std::u16string> freedLibraries;

  // --- Dialogs: how the user acts on a dialog once it is initialised. The
  // function receives the dialog and its handler and may send events; the
  // modal run ends when the dialog is ended. Without one, or when it returns
  // without ending the dialog, the run answers kNotEnded. ---
  static constexpr int kNotEnded = -1000;
  std::function<void(FakeDialog&)> user;
  // Every dialog that was run, in order (kept after the run ends).
  std::vector<std::unique_ptr<FakeDialog>> dialogs;

  // System.
  std::optional<OsVersion> QueryVersion() override { return version; }
  std::u16string ModuleFileName() override { return moduleFileName; }
  std::optional<std::u16string> LoadStringResource(std::uint32_t id) override;
  std::optional<std::vector<std::uint8_t>> LoadResourceData(std::u16string_view type,
                                                            std::u16string_view name) override;
  int ShowMessageBox(WindowId owner, std::u16string_view text, std::u16string_view caption,
                     std::uint32_t type) override;
  MutexResult CreateNamedMutex(std::u16string_view name, bool initialOwner) override;
  [[noreturn]] void ExitProcess(int status) override { throw ProcessExit{status}; }
  Handle LoadLibraryAnsi(std::string_view name) override;
  Handle LoadLibraryWide(std::u16string_view name) override;
  void FreeLibraryHandle(Handle library) override;
  LocalTime GetLocalTime() override { return localTime; }
  std::uint32_t GetTickCount() override { return tickCount; }
  // Windows-1252, the ANSI code page of a Western system.
  std::optional<std::string> WideToAnsi(std::u16string_view wide) override;
  std::u16string AnsiToWide(std::string_view ansi) override;
  int RunModalDialog(std::uint32_t templateId, WindowId owner, DialogHandler& handler) override;

  // --- Folders and the functions bound for them. ---
  // Starts as the Windows XP layout (see fake_folders.h).
  FakeFolders folders = WindowsXpFolders();
  // Names of the functions that the bind operations do not find, e.g.
  // "SHGetSpecialFolderPathW" or "GetLongPathNameW". A function is found only
  // in its own library (shell32.dll, KERNEL32.DLL), loaded and not freed.
  std::set<std::string> missingFunctions;
  // Makes WideToAnsi fail.
  bool wideToAnsiFails = false;

  std::optional<std::u16string> SystemDirectory() override { return folders.systemDirectory; }
  std::optional<std::u16string> WindowsDirectory() override { return folders.windowsDirectory; }
  std::optional<std::u16string> TempPath() override { return folders.tempPath; }
  SpecialFolderPathFunction BindSpecialFolderPath(Handle library) override;
  LongPathNameFunction BindLongPathName(Handle library) override;
  // --- Version resources, by file path (without regard to case). The
  // program's own file has the resource of the program: translation
  // 0409/04B0 and file version "3, 0, 1, 16". ---
  std::map<std::u16string, FakeVersionResource> versionResources;
  std::uint16_t userDefaultLanguage = 0x0409;

  std::uint32_t GetFileVersionInfoSizeWide(std::u16string_view path) override;
  std::optional<std::vector<std::uint8_t>> GetFileVersionInfoWide(std::u16string_view path,
                                                                  std::uint32_t size) override;
  std::optional<std::vector<std::uint8_t>> VerQueryValueBytes(
      const std::vector<std::uint8_t>& block, std::u16string_view subBlock) override;
  std::optional<std::u16string> VerQueryValueText(const std::vector<std::uint8_t>& block,
                                                  std::u16string_view subBlock) override;
  std::uint16_t GetUserDefaultLangID() override { return userDefaultLanguage; }

  // --- Windows Sockets: WS2_32.DLL, bound from a loaded library of that
  // name. A bound function called after its library was freed is a fault
  // of the program (std::logic_error). ---
  FakeWinsock winsock;

  WsaStartupFunction BindWsaStartup(Handle library) override;
  WsaCleanupFunction BindWsaCleanup(Handle library) override;
  GetHostNameFunction BindGetHostName(Handle library) override;
  GetHostByNameFunction BindGetHostByName(Handle library) override;
  // Whether `library` is a loaded library named `name`.
  bool IsLibraryLoaded(Handle library, std::u16string_view name) const;

  // --- Files: the folders "C:\" and the program's folder exist. ---
  FakeFileSystem files;

  bool SetFileAttributesWide(std::u16string_view path, std::uint32_t attributes) override {
    return files.SetAttributes(path, attributes);
  }
  FileOpenResult CreateFileWide(std::u16string_view path, std::uint32_t access, std::uint32_t,
                                std::uint32_t creationDisposition,
                                std::uint32_t flagsAndAttributes) override {
    return files.Open(path, access, creationDisposition, flagsAndAttributes);
  }
  std::optional<std::uint64_t> SetFilePointer(Handle file, std::int64_t distance,
                                              std::uint32_t moveMethod) override {
    return files.Seek(file, distance, moveMethod);
  }
  bool SetEndOfFile(Handle file) override { return files.Truncate(file); }
  std::optional<std::uint32_t> WriteFile(Handle file,
                                         std::span<const std::uint8_t> bytes) override {
    return files.Write(file, bytes);
  }
  // Closes a process, token or snapshot handle, else a file handle.
  bool CloseHandle(Handle handle) override;

  // --- Processes and modules (see fake_processes.h). ---
  FakeProcesses processes;
  // Modules every process has loaded, for GetModuleHandleW (compared
  // without regard to case).
  std::set<std::u16string> residentModules = {u"KERNEL32.DLL", u"ntdll.dll"};
  // Makes AnsiToWide fail (it answers an empty text, as the platform does).
  bool ansiToWideFails = false;

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
  Handle OpenProcessToken(std::uint32_t access) override;
  std::optional<std::uint64_t> LookupPrivilegeValueWide(std::u16string_view name) override;
  AdjustPrivilegesResult AdjustTokenPrivileges(Handle token, std::uint64_t privilege,
                                               std::uint32_t attributes) override;
  Handle GetModuleHandleWide(std::u16string_view name) override;
  // The stream functions bind from KERNEL32.DLL; reading streams is not
  // modelled yet: BackupRead fails as for ERROR_NOT_SUPPORTED and BackupSeek
  // skips nothing.
  BackupReadFunction BindBackupRead(Handle module) override;
  BackupSeekFunction BindBackupSeek(Handle module) override;
  // Process, token and snapshot handles open now.
  std::size_t OpenProcessObjectCount() const {
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
  // The process behind an open process handle, or nullptr.
  FakeProcess* ProcessOf(Handle process);
  template <typename Entry>
  std::optional<Entry> Step(Handle snapshot, std::string_view exportName);

  std::map<Handle, std::uint32_t> processHandles_;
  std::set<Handle> tokens_;
  std::map<Handle, Snapshot> snapshots_;

 private:
  // Whether `library` is a loaded handle of `dll` that exports `function`.
  bool Exports(Handle library, std::u16string_view dll, const std::string& function) const;

  std::map<Handle, std::u16string> libraries_;
  Handle nextHandle_ = 0x1000;
};

}  // namespace platform::fake
