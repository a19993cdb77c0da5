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
    context = std::make_unique<ScanContextStub>(*systemContext,
                                                std::vector<const scan::MalwareHandler*>{});
  }

  platform::fake::FakeFileSystem& files() { return system.fileSystem; }
  const scan::ScanStatistics& stats() const { return context->stats(); }
  bool rebootRequired() { return context->rebootRequired(); }

  int RemoveFile(std::u16string_view path) { return operations.RemoveFile(*context, path); }
  int RenameFile(std::u16string_view oldPath, std::u16string_view newPath) {
    return operations.RenameFile(*context, oldPath, newPath);
  }
  int CleanIniFile(std::u16string_view fileName, int which) {
    return operations.CleanIniFile(*context, fileName, which);
  }
  int RestoreHosts() { return operations.RestoreHosts(*context); }
  int RemoveFromHosts(std::u16string_view name) {
    return operations.RemoveFromHosts(*context, name);
  }

  platform::fake::FakeSystem system;
  std::unique_ptr<sys::SystemContext> systemContext;
  std::unique_ptr<ScanContextStub> context;
  removal::SystemRemovalOperations operations;
};

}  // namespace qrt_test
