// The system context: what the program knows about the running Windows, one
// per process. It records the Windows version and holds the optional system
// functions that are bound by name at run time, so that the rest of the
// program asks it rather than the system whether a function exists.
//
// Created on first use by GetSystemContext(), over platform::Current(), before
// any scan thread exists; read without locks afterwards. Destroyed at exit by
// DestroySystemContext(), which releases the libraries it loaded.
//
// This holds the version flags and the folder functions (SHGetSpecialFolderPathW
// from shell32.dll, GetLongPathNameW from KERNEL32.DLL). The process and module
// enumeration sets, the work buffer of the memory scanner, the stream reader
// and the removal operations join it later, in the places marked below.
#pragma once

#include "platform/system.h"

namespace detect {

class SystemContext {
 public:
  // Queries the version and binds the optional functions, in this order:
  //   1. GetVersionExW; when it fails, nothing is bound (versionQueryFailed);
  //   2. the Windows 9x and NT 4 flags;
  //   3. SHGetSpecialFolderPathW from shell32.dll (the library is released
  //      again when the function is missing);
  //   4. the process enumeration set;
  //   5. GetLongPathNameW from KERNEL32.DLL (loaded if not held yet);
  //   6. the work buffer and the stream reader.
  explicit SystemContext(platform::System& system);
  ~SystemContext();
  SystemContext(const SystemContext&) = delete;
  SystemContext& operator=(const SystemContext&) = delete;

  platform::System& system() const { return system_; }

  // GetVersionExW failed; the engine set-up stops the program when it is set.
  bool versionQueryFailed() const { return versionQueryFailed_; }
  // Platform id 1 (Windows 95, 98, ME).
  bool isWindows9x() const { return isWindows9x_; }
  // Platform id 2 with major version 4.
  bool isWindowsNt4() const { return isWindowsNt4_; }

  // The bound functions; empty when the system does not have them.
  const platform::System::SpecialFolderPathFunction& specialFolderPath() const {
    return specialFolderPath_;
  }
  const platform::System::LongPathNameFunction& longPathName() const { return longPathName_; }

 private:
  platform::System& system_;
  bool versionQueryFailed_ = false;
  bool isWindows9x_ = false;
  bool isWindowsNt4_ = false;

  // Library handles (0 when not held).
  platform::Handle shell32_ = 0;
  platform::Handle kernel32_ = 0;
  // The process enumeration sets and the PSAPI path go here.

  platform::System::SpecialFolderPathFunction specialFolderPath_;
  platform::System::LongPathNameFunction longPathName_;
  // The work buffer, the stream reader and the current file's headers go here.
};

// The process-wide context, created over platform::Current() on the first
// call. Never fails: a failed version query is recorded in the context.
SystemContext& GetSystemContext();

// Destroys the process-wide context (releasing its libraries) if it exists;
// the next GetSystemContext() creates a new one. Called at exit, and by tests
// that install a fresh fake system.
void DestroySystemContext();

}  // namespace detect
