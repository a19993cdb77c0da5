// The fake's runtime: version, the program's module, process exit, restarting
// Windows, mutexes, libraries, the clock, the ANSI code page and CloseHandle.
#include <algorithm>

#include "common/text.h"
#include "platform/fake/fake_case.h"
#include "platform/fake/fake_system.h"

namespace platform::fake {
namespace {

// Windows-1252 bytes 0x80 to 0x9F; the five bytes without a character map to
// the control character of the same value, as Windows does.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::optional<OsVersion> FakeRuntimeArea::QueryVersion() { return system_.version; }

std::u16string FakeRuntimeArea::ModuleFileName() { return system_.moduleFileName; }
std::u16string FakeRuntimeArea::CommandLine() { return system_.commandLine; }

MutexResult FakeRuntimeArea::CreateNamedMutex(std::u16string_view name, bool) {
  if (system_.mutexCreationFails) return MutexResult{0, 5};
  const bool existed = !system_.mutexes.insert(std::u16string(name)).second;
  return MutexResult{system_.NextHandle(), existed ? kErrorAlreadyExists : 0u};
}

void FakeRuntimeArea::ExitProcess(int status) { throw ProcessExit{status}; }

bool FakeRuntimeArea::ExitWindowsEx(std::uint32_t flags) {
  system_.exitWindowsCalls.push_back(flags);
  if (system_.exitWindowsRefused) return false;
  if (system_.version && system_.version->platformId == kPlatformWin32Nt) {
    const auto& table = system_.processTable;
    const auto shutdown = table.privileges.find(u"SeShutdownPrivilege");
    return shutdown != table.privileges.end() && table.enabledPrivileges.count(shutdown->second);
  }
  return true;
}

Handle FakeRuntimeArea::LoadLibraryAnsi(std::string_view name) {
  return LoadLibraryWide(AnsiToWide(name));
}

Handle FakeRuntimeArea::LoadLibraryWide(std::u16string_view name) {
  // A path loads the file of that name when it exists and is an image, and
  // the loader's own open of it succeeds: the NT loader opens an image for
  // reading and executing, sharing read and delete access only (as
  // LdrpCreateDllSection in ReactOS's loader does), so a handle that writes
  // to the file, or does not share reading, keeps it from loading.
  if (name.find(u'\\') != std::u16string_view::npos) {
    if (system_.beforeLoadLibrary) system_.beforeLoadLibrary(name);
    const FakeFile* file = system_.fileSystem.Find(name);
    if (file == nullptr || file->bytes.size() < 2 || file->bytes[0] != 'M' ||
        file->bytes[1] != 'Z') {
      return 0;
    }
    const FileOpenResult loaderOpen = system_.fileSystem.Open(name, kGenericRead, kOpenExisting, 0,
                                                              kFileShareRead | kFileShareDelete);
    if (loaderOpen.handle == 0) return 0;
    system_.fileSystem.Close(loaderOpen.handle);
    system_.loadedLibraries.emplace_back(name);
    const Handle handle = system_.NextHandle();
    system_.libraries_[handle] = std::u16string(name);
    return handle;
  }
  for (const std::u16string& loadable : system_.loadableLibraries) {
    if (text::EqualsNoCase(loadable, name)) {
      system_.loadedLibraries.emplace_back(name);
      const Handle handle = system_.NextHandle();
      system_.libraries_[handle] = std::u16string(name);
      return handle;
    }
  }
  return 0;
}

void FakeRuntimeArea::FreeLibraryHandle(Handle library) {
  const auto it = system_.libraries_.find(library);
  if (it == system_.libraries_.end()) return;
  system_.freedLibraries.push_back(it->second);
  system_.libraries_.erase(it);
}

Handle FakeRuntimeArea::GetModuleHandleWide(std::u16string_view name) {
  Handle handle = 0x7C000000;
  for (const std::u16string& resident : system_.residentModules) {
    if (text::EqualsNoCase(resident, name)) return handle;
    handle += 0x100000;
  }
  return 0;
}

LocalTime FakeRuntimeArea::GetLocalTime() { return system_.localTime; }

std::uint32_t FakeRuntimeArea::GetTickCount() {
  const std::uint32_t now = system_.tickCount;
  system_.tickCount += system_.tickStep;
  return now;
}

bool FakeSystem::RefusedByNarrowPath(std::u16string_view text) const {
  if (!version || version->platformId != kPlatformWin32Windows) return false;
  return std::any_of(text.begin(), text.end(), [](char16_t c) {
    return c > 0xFF || (c >= 0x80 && c < 0xA0 &&
                        std::find(std::begin(kHighControls), std::end(kHighControls), c) ==
                            std::end(kHighControls));
  });
}

std::optional<std::string> FakeRuntimeArea::WideToAnsi(std::u16string_view wide) {
  if (system_.wideToAnsiFails) return std::nullopt;
  std::string out;
  out.reserve(wide.size());
  for (char16_t c : wide) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char mapped = '?';
    for (int i = 0; i < 32; ++i) {
      if (kHighControls[i] == c) mapped = static_cast<char>(0x80 + i);
    }
    out.push_back(mapped);
  }
  return out;
}

std::u16string FakeRuntimeArea::AnsiToWide(std::string_view ansi) {
  if (system_.ansiToWideFails) return {};
  std::u16string out;
  out.reserve(ansi.size());
  for (char c : ansi) {
    const auto byte = static_cast<unsigned char>(c);
    out.push_back(byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80]
                                              : static_cast<char16_t>(byte));
  }
  return out;
}

std::u16string FakeRuntimeArea::UpperCaseTable() {
  const bool windows9x = system_.version && system_.version->platformId == kPlatformWin32Windows;
  return fake::UpperCaseTable(windows9x);
}

Handle FakeRuntimeArea::StartThread(std::function<void()> body) {
  if (system_.threadCreationFails) return 0;
  const Handle handle = system_.NextHandle();
  system_.pendingThreads.push_back(FakeSystem::PendingThread{handle, std::move(body)});
  system_.startedThreads.push_back(handle);
  system_.threadHandles_.insert(handle);
  return handle;
}

bool FakeRuntimeArea::WaitForThread(Handle thread) {
  if (system_.threadHandles_.count(thread) == 0) return false;
  system_.waitedThreads.push_back(thread);
  for (auto it = system_.pendingThreads.begin(); it != system_.pendingThreads.end(); ++it) {
    if (it->handle == thread) {
      auto body = std::move(it->body);
      system_.pendingThreads.erase(it);
      body();
      break;
    }
  }
  return true;
}

bool FakeRuntimeArea::WaitForThreads(std::span<const Handle> threads) {
  if (threads.empty() || threads.size() > kMaximumWaitObjects) return false;
  for (Handle thread : threads) {
    if (system_.threadHandles_.count(thread) == 0) return false;
  }
  system_.threadWaitGroups.push_back(threads.size());
  for (Handle thread : threads) WaitForThread(thread);
  return true;
}

bool FakeRuntimeArea::CloseHandle(Handle handle) {
  if (system_.threadHandles_.erase(handle) != 0) return true;
  if (system_.processesArea.CloseObject(handle)) return true;
  return system_.fileSystem.Close(handle);
}

}  // namespace platform::fake
