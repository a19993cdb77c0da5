#include "platform/fake/fake_system.h"

#include "common/string_table.h"
#include "common/text.h"

namespace platform::fake {

FakeSystem::FakeSystem()
    : FakeAreas(*this),
      System(runtimeArea, resourcesArea, uiArea, foldersArea, filesArea, registryArea,
             profileFilesArea, processesArea, networkArea) {
  version = OsVersion{kPlatformWin32Nt, 5, 1, 2600, u"Service Pack 2"};
  for (const strings::Entry& entry : strings::Table()) {
    strings.emplace(entry.id, std::u16string(entry.text));
  }
  // As resources/app.rc has it.
  FakeVersionResource own;
  own.fileVersionHigh = 0x00030000;
  own.fileVersionLow = 0x00010010;
  own.binaryValues[u"\\VarFileInfo\\Translation"] = {0x09, 0x04, 0xB0, 0x04};
  const std::u16string texts = u"\\StringFileInfo\\040904B0\\";
  own.textValues[texts + u"CompanyName"] = u"Quelvix";
  own.textValues[texts + u"FileDescription"] = u"Quelvix Removal Tool";
  own.textValues[texts + u"FileVersion"] = u"3, 0, 1, 16";
  own.textValues[texts + u"InternalName"] = u"QuelvixRemovalTool";
  own.textValues[texts + u"LegalCopyright"] = u"Copyright (C) Quelvix";
  own.textValues[texts + u"OriginalFilename"] = u"QuelvixRemovalTool.exe";
  own.textValues[texts + u"ProductName"] = u"Quelvix Removal Tool";
  own.textValues[texts + u"ProductVersion"] = u"3, 0, 1, 16";
  versionResources[moduleFileName] = own;
  fileSystem.AddFolder(u"C:\\");
  fileSystem.AddFolder(moduleFileName.substr(0, moduleFileName.rfind(u'\\')));
}

void FakeSystem::StartAgain() {
  const bool windows9x = version && version->platformId == kPlatformWin32Windows;
  fileSystem.StartAgain(windows9x, folderLayout.windowsDirectory.value_or(u"C:\\WINDOWS"));
}

bool FakeSystem::IsLibraryLoaded(Handle library, std::u16string_view name) const {
  const auto it = libraries_.find(library);
  return it != libraries_.end() && text::EqualsNoCase(it->second, name);
}

}  // namespace platform::fake

namespace platform::fake {

void FakeSystem::RunPendingThreads() {
  while (!pendingThreads.empty()) {
    auto body = std::move(pendingThreads.front().body);
    pendingThreads.pop_front();
    body();
  }
}

}  // namespace platform::fake
