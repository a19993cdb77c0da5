// An in-memory Windows for tests: every platform operation acts on state that
// a test sets up and reads back. Nothing here touches the host system.
//
// FakeSystem holds the state; its areas (fake_areas.h) carry out the
// operations on it. Tests call the operations through the accessors of
// platform::System (`files()`, `registry()`, ...), which a FakeSystem keeps,
// and set up and read back the state in its fields (`resourceData`,
// `folderLayout`, `fileSystem`, `registryTree`, `processTable`, ...).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/fake/fake_accounts.h"
#include "platform/fake/fake_areas.h"
#include "platform/fake/fake_dialog.h"
#include "platform/fake/fake_files.h"
#include "platform/fake/fake_folders.h"
#include "platform/fake/fake_processes.h"
#include "platform/fake/fake_registry.h"
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

// The version resource of one file: the file version of its fixed file
// information (VS_FIXEDFILEINFO's dwFileVersionMS and dwFileVersionLS) and
// its values by sub-block, e.g. u"\\VarFileInfo\\Translation" (binary) or
// u"\\StringFileInfo\\040904B0\\FileVersion" (text). The version
// functions hand it out as the VS_VERSIONINFO block that the resource
// compiler makes of it, and look values up in the block as Windows does
// (platform/resource_formats.h).
struct FakeVersionResource {
  std::uint32_t fileVersionHigh = 0;
  std::uint32_t fileVersionLow = 0;
  std::map<std::u16string, std::vector<std::uint8_t>> binaryValues;
  std::map<std::u16string, std::u16string> textValues;
  // GetFileVersionInfoW fails although the size was answered.
  bool readFails = false;
};

class FakeSystem : private FakeAreas, public System {
 public:
  // A Windows XP SP2 system with the program's string table and no resources
  // besides it.
  FakeSystem();

  // --- What the system is; tests change these freely. ---
  // The version answer; nothing makes the query fail.
  std::optional<OsVersion> version;
  std::u16string moduleFileName = u"C:\\Program Files\\Quelvix\\QuelvixRemovalTool.exe";
  // The command line: the program's path in quotes, as Windows starts it.
  std::u16string commandLine = u"\"C:\\Program Files\\Quelvix\\QuelvixRemovalTool.exe\"";
  // The string table; starts as the program's own.
  std::map<std::uint32_t, std::u16string> strings;
  // Resources by (type, name), e.g. {u"SCRIPTFILE", u"#161"}.
  std::map<std::pair<std::u16string, std::u16string>, std::vector<std::uint8_t>> resourceData;
  // Names of the mutexes that exist; `mutexCreationFails` makes CreateNamedMutex answer no handle.
  std::set<std::u16string> mutexes;
  bool mutexCreationFails = false;
  // Names of the libraries that can be loaded (compared without regard to
  // case). A name with a backslash is a path instead: it loads when that file
  // exists in `files` and begins with "MZ".
  std::set<std::u16string> loadableLibraries = {u"RICHED20.DLL", u"shell32.dll",  u"KERNEL32.DLL",
                                                u"WS2_32.DLL",   u"ADVAPI32.DLL", u"NETAPI32.DLL"};
  // Called when a library is loaded by its path, before the loader opens
  // the file: lets a test look at the file as the loader finds it.
  std::function<void(std::u16string_view path)> beforeLoadLibrary;
  // The clock: local time and tick count, moved by tests.
  LocalTime localTime{2008, 5, 3, 28, 15, 11, 17, 0};
  std::uint32_t tickCount = 1000;
  // Added to the tick count after every GetTickCount, so that time passes
  // as the program asks for it.
  std::uint32_t tickStep = 0;

  // --- Threads: StartThread queues the body here (it does not run on its
  // own); RunPendingThreads runs the queue in order on the calling thread,
  // and WaitForThread runs a thread that has not run yet. With
  // `threadCreationFails` StartThread answers 0. ---
  struct PendingThread {
    Handle handle = 0;
    std::function<void()> body;
  };
  std::deque<PendingThread> pendingThreads;
  bool threadCreationFails = false;
  // Threads started, and threads waited for, by handle. WaitForThreads
  // (which refuses more than kMaximumWaitObjects handles) runs the threads
  // of its group in their order and records the group's size.
  std::vector<Handle> startedThreads;
  std::vector<Handle> waitedThreads;
  std::vector<std::size_t> threadWaitGroups;
  void RunPendingThreads();

  // --- Restarting Windows: every ExitWindowsEx call's flags, in order. A
  // call succeeds unless `exitWindowsRefused` is set or, on the NT family,
  // the shutdown privilege (processTable.privileges' "SeShutdownPrivilege")
  // is not among the enabled privileges of the program's token. ---
  std::vector<std::uint32_t> exitWindowsCalls;
  bool exitWindowsRefused = false;
  // The next start of Windows, as far as files go: WININIT.INI on Windows
  // 9x/ME, the delayed moves on the NT family (FakeFileSystem::StartAgain).
  void StartAgain();

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

  // --- Folders and the functions bound for them. ---
  // Starts as the Windows XP layout (see fake_folders.h).
  FakeFolders folderLayout = WindowsXpFolders();
  // Names of the functions that the bind operations do not find, e.g.
  // "SHGetSpecialFolderPathW" or "GetLongPathNameW". A function is found only
  // in its own library (shell32.dll, KERNEL32.DLL), loaded and not freed.
  std::set<std::string> missingFunctions;
  // Makes WideToAnsi fail.
  bool wideToAnsiFails = false;
  // The paths of the profile files whose cache was flushed, in order (the
  // fake's profile functions read and write the file at once and cache
  // nothing).
  std::vector<std::u16string> profileCacheFlushes;

  // --- Version resources, by file path (without regard to case). The
  // program's own file has the resource of the program (resources/app.rc):
  // file version 3.0.1.16, translation 0409/04B0 and its texts. ---
  std::map<std::u16string, FakeVersionResource> versionResources;
  std::uint16_t userDefaultLanguage = 0x0409;

  // --- Windows Sockets: WS2_32.DLL, bound from a loaded library of that
  // name. A bound function called after its library was freed is a fault
  // of the program (std::logic_error). ---
  FakeWinsock winsock;

  // Whether the Win32 backend refuses `text` on this system: on Windows
  // 9x/ME it hands text to the narrow functions in the ANSI code page, and a
  // text without an exact form there fails the call with
  // kErrorNoUnicodeTranslation (platform/win32/text_api.h).
  bool RefusedByNarrowPath(std::u16string_view text) const;

  // Whether `library` is a loaded library named `name`.
  bool IsLibraryLoaded(Handle library, std::u16string_view name) const;

  // --- The user and the token's groups (see fake_accounts.h). ---
  FakeAccounts accounts;

  // --- Files: the folders "C:\" and the program's folder exist. ---
  FakeFileSystem fileSystem;

  // --- The registry (see fake_registry.h). ---
  FakeRegistry registryTree;
  // Registry key handles not yet closed.
  std::size_t OpenRegistryKeyCount() const { return registryArea.OpenKeyCount(); }

  // --- Processes and modules (see fake_processes.h). Lowering, ending and
  // waiting for processes follow the clock: see FakeProcess. ---
  FakeProcesses processTable;
  // Modules every process has loaded, for GetModuleHandleW (compared
  // without regard to case).
  std::set<std::u16string> residentModules = {u"KERNEL32.DLL", u"ntdll.dll"};
  // Makes AnsiToWide fail (it answers an empty text, as the platform does).
  bool ansiToWideFails = false;

  // Process, token and snapshot handles open now.
  std::size_t OpenProcessObjectCount() const { return processesArea.OpenObjectCount(); }
  // Thread handles not yet closed.
  std::size_t OpenThreadCount() const { return threadHandles_.size(); }

 private:
  friend class FakeRuntimeArea;
  friend class FakeResourcesArea;
  friend class FakeUserInterfaceArea;
  friend class FakeFoldersArea;
  friend class FakeFilesArea;
  friend class FakeRegistryArea;
  friend class FakeProcessesArea;
  friend class FakeNetworkArea;

  // A new handle for a mutex, a library, a dialog window or (above the base
  // of their own) a process object.
  Handle NextHandle() { return nextHandle_++; }

  // Thread handles not yet closed.
  std::set<Handle> threadHandles_;
  // Loaded libraries by handle, with the names they were loaded by.
  std::map<Handle, std::u16string> libraries_;
  Handle nextHandle_ = 0x1000;
};

}  // namespace platform::fake
