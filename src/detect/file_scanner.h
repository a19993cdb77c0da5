// The file scanner: walks the chosen drives, looks at every file larger than
// 312 bytes and every named NTFS stream, and searches Windows executables for
// FILE signatures where signatures live (ExecutableSearch: section data, a
// large section only at its ends, the entry point). Everything else is
// opened and dropped after its first two bytes. The first match closes the
// file and hands it to the owning handler's Remove.
//
// On the NT family the walk follows junctions and mount points; it remembers
// every folder walked on a drive by its volume serial number and file index
// and skips one met again, so that no loop traps it. A path longer than the
// system's 259 characters is walked and opened there in its "\\?\" form,
// which is also the path a handler receives. Windows 9x/ME have neither
// reparse points nor such a form: there a folder or file whose path is too
// long is named in the output as not scanned.
//
// Made once at program start, when it binds the stream reader and allocates
// its read buffer; run by the scan run on the worker thread, in phase 1 after
// the memory scanner.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "scan/scanner.h"
#include "system/system_context.h"

namespace detect {

// A drive to scan: its name as given ("C:") and its GetDriveTypeW answer.
struct DriveEntry {
  std::u16string name;
  std::uint32_t type = 0;
};

// One named stream of a file, as the backup interface reports it, with its
// name less the ":$DATA" that names the stream type (":s.exe"), so that the
// file's path followed by the name opens the stream.
struct StreamEntry {
  std::uint32_t id = 0;
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
  std::u16string name;
};

// The named, non-empty streams of the file at `path`, in reverse order of
// appearance; empty when the stream reader is not bound or the file cannot be
// opened. The unnamed main data stream is never listed. `unsupported` (when
// given) is set when a BackupRead failed because the system cannot read
// streams at all there (ERROR_INVALID_FUNCTION, ERROR_NOT_SUPPORTED or
// ERROR_CALL_NOT_IMPLEMENTED), not merely those of this file.
std::vector<StreamEntry> ListNamedStreams(platform::System& system, const sys::StreamReader& reader,
                                          std::u16string_view path, bool* unsupported = nullptr);

class FileScanner final : public scan::Scanner {
 public:
  // The drive table's capacity.
  static constexpr std::size_t kMaxDrives = 50;
  // Files of at most this many bytes (as listed) are not opened.
  static constexpr std::uint32_t kMinimumFileSize = 312;
  // The read buffer (detect/executable_search.h tells what is read).
  static constexpr std::size_t kBufferSize = 131072;
  // The status text shows the current file at most once in this many ms.
  static constexpr std::uint32_t kStatusInterval = 50;

  // Binds the stream reader of `systemContext` and allocates the buffer.
  explicit FileScanner(sys::SystemContext& systemContext);
  // Unbinds the stream reader.
  ~FileScanner() override;
  FileScanner(const FileScanner&) = delete;
  FileScanner& operator=(const FileScanner&) = delete;

  int Phase() const override { return 1; }
  // Scans `drives` (all fixed drives when empty): kMalwareFound when a file
  // matched, kDone when none did, kStoppedByUser after a stop request,
  // kNoDrivesFound when the system's drive strings cannot be read.
  codes::ScanResult Run(scan::ScanContext& context, const scan::DriveNameList& drives) override;

  // The drives of the last Run, in scan order.
  const std::vector<DriveEntry>& drives() const { return drives_; }

 private:
  class Walk;

  sys::SystemContext& systemContext_;
  std::vector<DriveEntry> drives_;
  std::unique_ptr<std::uint8_t[]> buffer_;
  bool streamReaderBound_ = false;
  std::uint32_t lastStatusTick_ = 0;
};

}  // namespace detect
