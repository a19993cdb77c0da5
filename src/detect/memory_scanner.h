// The memory scanner: reads the loaded image of every module of every
// process and searches it for MEM signatures. A DLL is read once per run, the
// first time its path is met; a process's main executable is read in every
// process that runs it. The search runs over windows of 64 KB, each
// overlapping the one before by 1 KB; DLLs loaded away from their preferred
// base are put back to their file's bytes window by window
// (RelocationList). When some description has no MEM signature, each main
// executable is also checked on disk with the FILE signatures. Findings are
// collected during the walk and handed to the handlers after it: a
// script-described handler gets the list of all its processes in one call, a
// built-in handler one call per process it was found in, and a process counts
// once as infected however often and by whatever it was found.
//
// Reads: every ReadProcessMemory costs a round trip through the system (under
// Wine a server request), so a module is read in spans of up to sixteen
// windows (kSpanSize bytes) and the windows are cut from the span. A span read
// that fails (some page of it cannot be read) falls back to reading window
// by window from that span's start to the module's end, so the first
// unreadable window still ends the module where it would with window reads
// alone: what is found, counted and shown is the same in both read modes.
//
// Made once at program start, with its buffers; run by the scan run on the
// worker thread in phase 2, before the file scanner.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scan/malware_handler.h"
#include "scan/scanner.h"
#include "system/system_context.h"

namespace detect {

// The DLL paths read in this run, compared without regard to case.
class ScannedModuleList {
 public:
  bool Contains(std::u16string_view path) const;
  void Add(std::u16string_view path);
  void Clear() { paths_.clear(); }

 private:
  std::vector<std::u16string> paths_;  // upper case, sorted
};

// A built-in handler's match in one module of one process.
struct BuiltInFinding {
  std::u16string modulePath;
  std::uint32_t processId = 0;
  scan::MalwareHandler* handler = nullptr;
};

// A script-described handler's matches: every process it was found in, once
// per process id, with the path of the module of the first match there.
struct ScriptFinding {
  scan::MalwareHandler* handler = nullptr;
  std::vector<scan::ProcessRecord> processes;
};

class MemoryScanner final : public scan::Scanner {
 public:
  // Modules are read in windows of this size, each overlapping the one
  // before by kWindowOverlap bytes.
  static constexpr std::size_t kWindowSize = 65536;
  static constexpr std::size_t kWindowOverlap = 1024;
  // The first bytes of a module and of its file that the image size is
  // taken from.
  static constexpr std::size_t kHeaderProbeSize = 4096;
  // The buffer of the check of main executables on disk.
  static constexpr std::size_t kDiskBufferSize = 131072;
  // A span: sixteen whole windows, each after the first kWindowSize -
  // kWindowOverlap bytes after the one before (1,033,216 bytes).
  static constexpr std::size_t kSpanWindows = 16;
  static constexpr std::size_t kSpanSize =
      (kSpanWindows - 1) * (kWindowSize - kWindowOverlap) + kWindowSize;

  explicit MemoryScanner(sys::SystemContext& systemContext);
  MemoryScanner(const MemoryScanner&) = delete;
  MemoryScanner& operator=(const MemoryScanner&) = delete;

  int Phase() const override { return 2; }
  // kDone after a complete walk, found or not; kVersionQueryError,
  // kInvalidWindowsVersion, kInsufficientRights, kMemoryScannerInitError,
  // kProcessSnapshotError, kNoProcessesFound (NT: the first process cannot
  // be read) and kStoppedByUser (nothing is handed over then).
  codes::ScanResult Run(scan::ScanContext& context, const scan::DriveNameList& drives) override;

  // The findings of the last Run, as handed over.
  const std::vector<BuiltInFinding>& builtInFindings() const { return builtInFindings_; }
  const std::vector<ScriptFinding>& scriptFindings() const { return scriptFindings_; }

  // Test seam: with false, rebased windows are searched as read.
  void SetRestoreRelocations(bool restore) { restoreRelocations_ = restore; }
  // Test and benchmark seam: with false, every window is read by a call of
  // its own.
  void SetSpanReads(bool spans) { spanReads_ = spans; }

 private:
  class Walk;

  sys::SystemContext& systemContext_;
  // Taken from the system context at construction; the walker is the
  // context's (null when none could be bound).
  bool isWindows9x_ = false;
  const sys::ProcessWalker* walker_ = nullptr;
  std::unique_ptr<std::uint8_t[]> window_;
  std::unique_ptr<std::uint8_t[]> span_;
  std::unique_ptr<std::uint8_t[]> diskBuffer_;
  ScannedModuleList scannedModules_;
  std::vector<BuiltInFinding> builtInFindings_;
  std::vector<ScriptFinding> scriptFindings_;
  bool restoreRelocations_ = true;
  bool spanReads_ = true;
};

}  // namespace detect
