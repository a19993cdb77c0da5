// The stream reader: BackupRead and BackupSeek of KERNEL32.DLL, bound at run
// time, with which the file scanner lists a file's named streams. Binding it
// again is harmless; unbinding forgets the functions, after which the listing
// finds no streams. The listing itself belongs to the file scanner.
#pragma once

#include "platform/system.h"

namespace sys {

class StreamReader {
 public:
  // Finds KERNEL32.DLL with GetModuleHandleW and both functions in it;
  // answers whether both were found (a reader without both is unbound).
  bool Bind(platform::System& system);
  void Unbind();
  bool bound() const { return module_ != 0; }

  // Empty while unbound.
  const platform::BackupReadFunction& backupRead() const { return backupRead_; }
  const platform::BackupSeekFunction& backupSeek() const { return backupSeek_; }

 private:
  platform::Handle module_ = 0;
  platform::BackupReadFunction backupRead_;
  platform::BackupSeekFunction backupSeek_;
};

}  // namespace sys
