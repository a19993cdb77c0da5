// A host program of memory_samples/ (sample_host.cpp) run by a test: it
// loads at most one DLL, says when it is ready and waits to be asked to end.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <string>

namespace win32_test {

// One host program, running until the object goes: it is asked to end and,
// if it has not after 5 seconds, terminated.
class Host {
 public:
  // Starts `program` to load `dll` (none when empty), with 1 MB at `reserve`
  // taken first when that is not 0, and waits until it has loaded the DLL.
  Host(const std::wstring& program, std::uint64_t reserve, const std::wstring& dll) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    ready_ = ::CreateEventW(&inherit, TRUE, FALSE, nullptr);
    quit_ = ::CreateEventW(&inherit, TRUE, FALSE, nullptr);
    std::wstring command = L"\"" + program + L"\" " +
                           std::to_wstring(reinterpret_cast<ULONG_PTR>(ready_)) + L" " +
                           std::to_wstring(reinterpret_cast<ULONG_PTR>(quit_)) + L" " +
                           std::to_wstring(reserve) + L" " + dll;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          nullptr, &startup, &info_)) {
      failure_ = "cannot start, error " + std::to_string(::GetLastError());
      return;
    }
    const HANDLE waits[] = {ready_, info_.hProcess};
    const DWORD waited = ::WaitForMultipleObjects(2, waits, FALSE, 20000);
    if (waited == WAIT_OBJECT_0) return;
    DWORD code = 0;
    ::GetExitCodeProcess(info_.hProcess, &code);
    failure_ = waited == WAIT_OBJECT_0 + 1 ? "ended with exit code " + std::to_string(code)
                                           : std::string("not ready after 20 s");
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;
  ~Host() {
    ::SetEvent(quit_);
    if (info_.hProcess != nullptr) {
      if (::WaitForSingleObject(info_.hProcess, 5000) != WAIT_OBJECT_0) {
        ::TerminateProcess(info_.hProcess, 1);
        ::WaitForSingleObject(info_.hProcess, 5000);
      }
      ::CloseHandle(info_.hProcess);
      ::CloseHandle(info_.hThread);
    }
    ::CloseHandle(ready_);
    ::CloseHandle(quit_);
  }

  std::uint32_t id() const { return info_.dwProcessId; }
  HANDLE process() const { return info_.hProcess; }
  // Empty when the host is running with its DLL loaded.
  const std::string& failure() const { return failure_; }

 private:
  HANDLE ready_ = nullptr;
  HANDLE quit_ = nullptr;
  PROCESS_INFORMATION info_{};
  std::string failure_;
};

}  // namespace win32_test
