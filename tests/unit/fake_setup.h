// Set-ups of the fake Windows that several unit tests share.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/fake/fake_system.h"
#include "system/system_context.h"

namespace qrt_test {

// A Windows NT 4 (platform::fake::SetUpWindowsNt4) whose program carries
// `psapiImage` as its Process Status Helper resource, with the temporary
// folder C:\TEMP, into which the system context writes PSAPI.DLL.
inline void SetUpNt4WithPsapi(platform::fake::FakeSystem& system,
                              std::vector<std::uint8_t> psapiImage = {'M', 'Z', 0, 0}) {
  platform::fake::SetUpWindowsNt4(system);
  system.resourceData[{sys::kPsapiResourceType, sys::kPsapiResourceName}] = std::move(psapiImage);
  system.fileSystem.AddFolder(u"C:\\TEMP");
}

}  // namespace qrt_test
