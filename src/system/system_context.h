// The system context: what the program knows about the running Windows, one
// per process. It records the Windows version and holds the optional system
// functions that are bound by name at run time, so that the rest of the
// program asks it rather than the system whether a function exists.
//
// Built once by the program's start-up, as part of the scanner table, over the
// platform it is given, before any scan thread exists; passed down to whoever
// needs it and read without locks afterwards. Its destruction releases the
// libraries it loaded.
//
// It holds the version flags, the folder functions (SHGetSpecialFolderPathW
// from shell32.dll, GetLongPathNameW from KERNEL32.DLL), the process walker
// (Tool Help, or on Windows NT 4 the program's own Process Status Helper
// written out to the temporary folder) and the stream reader. State of one scan (buffers, the
// headers of the file being scanned) belongs to the scanners.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/resource_names.h"
#include "platform/system.h"
#include "system/process_enumeration.h"
#include "system/stream_reader.h"

namespace sys {

// The Process Status Helper image that the program carries: type RCDATA,
// integer id QRT_IDR_PSAPI.
inline constexpr const char16_t* kPsapiResourceType = resources::kRcDataType;
inline constexpr char16_t kPsapiResourceName[] = QRT_RESOURCE_NAME(QRT_IDR_PSAPI);

class SystemContext {
 public:
  // Queries the version and binds the optional functions, in this order:
  //   1. GetVersionExW; when it fails, nothing is bound (versionQueryFailed);
  //   2. the Windows 9x and NT 4 flags;
  //   3. SHGetSpecialFolderPathW from shell32.dll (the library is released
  //      again when the function is missing);
  //   4. the process walker: on NT 4 the Process Status Helper that the
  //      program carries, written to the temporary folder as PSAPI.DLL on
  //      every start and loaded from there; elsewhere Tool Help from
  //      KERNEL32.DLL (narrow on 9x, wide otherwise);
  //   5. GetLongPathNameW from KERNEL32.DLL (loaded if not held yet);
  //   6. the stream reader.
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
  const platform::Folders::SpecialFolderPathFunction& specialFolderPath() const {
    return specialFolderPath_;
  }
  const platform::Folders::LongPathNameFunction& longPathName() const { return longPathName_; }

  // The process walker of the system; null when one of the five functions
  // of its set is missing.
  const ProcessWalker* processWalker() const { return processWalker_.get(); }
  // NT 4: the path of the PSAPI.DLL written and loaded (empty otherwise).
  const std::u16string& psapiPath() const { return psapiPath_; }

  // The stream reader, bound at creation; streamReaderBound() tells whether
  // it could be.
  StreamReader& streamReader() { return streamReader_; }
  bool streamReaderBound() const { return streamReader_.bound(); }

 private:
  // The process walker of the system: the Process Status Helper on NT 4,
  // else Tool Help. Leaves none (and its library released) when a step
  // fails.
  void BindPsapi();
  void BindToolHelp();

  platform::System& system_;
  bool versionQueryFailed_ = false;
  bool isWindows9x_ = false;
  bool isWindowsNt4_ = false;

  // Library handles (0 when not held).
  platform::Handle shell32_ = 0;
  platform::Handle kernel32_ = 0;
  platform::Handle psapi_ = 0;
  std::unique_ptr<ProcessWalker> processWalker_;
  std::u16string psapiPath_;

  platform::Folders::SpecialFolderPathFunction specialFolderPath_;
  platform::Folders::LongPathNameFunction longPathName_;
  StreamReader streamReader_;
};

}  // namespace sys
