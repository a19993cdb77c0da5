// A child process for the tests of process enumeration: cmd.exe waiting on
// its standard input (a pipe) until the test ends it.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace win32_test {

class WaitingChild {
 public:
  WaitingChild() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    ::CreatePipe(&read, &write_, &inherit, 0);
    ::SetHandleInformation(write_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = read;
    startup.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    wchar_t command[] = L"cmd.exe /q /k";
    ::CreateProcessW(nullptr, command, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &info_);
    ::CloseHandle(read);
    ::WaitForInputIdle(info_.hProcess, 5000);
    ::Sleep(300);  // until its modules are loaded
  }
  ~WaitingChild() {
    ::TerminateProcess(info_.hProcess, 0);
    ::WaitForSingleObject(info_.hProcess, 5000);
    ::CloseHandle(info_.hProcess);
    ::CloseHandle(info_.hThread);
    ::CloseHandle(write_);
  }
  DWORD id() const { return info_.dwProcessId; }

 private:
  HANDLE write_ = nullptr;
  PROCESS_INFORMATION info_{};
};

}  // namespace win32_test
