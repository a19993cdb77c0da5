// The infection lab's waiting program: a tiny program of ours that the lab
// runs as the infected process. It signals the named event
// "QrtLabWaiterReady" (when the starter made it), then waits, and ends by
// itself after ten minutes at the most, so that nothing of a lab run lingers.
// Section .room of its file holds bytes that nothing reads: the lab writes a
// signature there in the copy that it runs, the program itself does not
// depend on them. No C runtime, no window, no console; it imports only from
// KERNEL32.DLL.
#include <windows.h>

extern "C" {

// Non-zero at the start, so that the section has raw data in the file.
__attribute__((section(".room"), used)) const char kRoom[4096] = {1};

void WaitMain() {
  HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, L"QrtLabWaiterReady");
  if (ready != nullptr) {
    ::SetEvent(ready);
    ::CloseHandle(ready);
  }
  for (int second = 0; second < 600; ++second) ::Sleep(1000);
  ::ExitProcess(0);
}

}  // extern "C"
