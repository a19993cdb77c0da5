// The removal operations over a fake Windows XP or Windows 98, for the tests
// of the file, system-file and other removal operations: the Windows and
// system folders (with drivers\etc) exist, and the operations count into
// the statistics of a scan context of their own.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fake/fake_system.h"
#include "removal/system_operations.h"
#include "system/system_context.h"
#include "tests/support/scan_context_stub.h"

namespace qrt_test {

enum class Windows { kXp, k98 };

inline std::vector<std::uint8_t> Bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

class RemovalRun {
 public:
  explicit RemovalRun(Windows windows = Windows::kXp) {
    if (windows == Windows::k98) {
      platform::fake::SetUpWindows98(system);
    } else {
      platform::fake::SetUpWindowsXp(system);
    }
    files().AddFolder(*system.folderLayout.windowsDirectory);
    files().AddFolder(*system.folderLayout.systemDirectory + u"\\drivers\\etc");
    systemContext = std::make_unique<sys::SystemContext>(system);
    context =
        std::make_unique<ScanContextStub>(*systemContext, std::vector<scan::MalwareHandler*>{});
    operations = std::make_unique<removal::SystemRemovalOperations>(
        *systemContext, context->statistics(), context->rebootRequired());
  }

  platform::fake::FakeFileSystem& files() { return system.fileSystem; }
  const scan::ScanStatistics& stats() const { return context->stats(); }
  bool rebootRequired() { return context->rebootRequired(); }

  // The operations' answers by their numbers.
  int RemoveFile(std::u16string_view path) { return codes::ToInt(operations->RemoveFile(path)); }
  int RenameFile(std::u16string_view oldPath, std::u16string_view newPath) {
    return codes::ToInt(operations->RenameFile(oldPath, newPath));
  }
  int CleanIniFile(std::u16string_view fileName, int which) {
    return codes::ToInt(operations->CleanIniFile(fileName, which));
  }
  int RestoreHosts() { return codes::ToInt(operations->RestoreHosts()); }
  int RemoveFromHosts(std::u16string_view name) {
    return codes::ToInt(operations->RemoveFromHosts(name));
  }

  platform::fake::FakeSystem system;
  std::unique_ptr<sys::SystemContext> systemContext;
  std::unique_ptr<ScanContextStub> context;
  std::unique_ptr<removal::SystemRemovalOperations> operations;
};

}  // namespace qrt_test
