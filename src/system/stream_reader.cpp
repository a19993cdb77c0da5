#include "system/stream_reader.h"

namespace sys {

bool StreamReader::Bind(platform::System& system) {
  Unbind();
  const platform::Handle module = system.runtime().GetModuleHandleWide(u"KERNEL32.DLL");
  if (module == 0) return false;
  auto read = system.files().BindBackupRead(module);
  auto seek = system.files().BindBackupSeek(module);
  if (!read || !seek) return false;
  module_ = module;
  backupRead_ = std::move(read);
  backupSeek_ = std::move(seek);
  return true;
}

void StreamReader::Unbind() {
  module_ = 0;
  backupRead_ = nullptr;
  backupSeek_ = nullptr;
}

}  // namespace sys
