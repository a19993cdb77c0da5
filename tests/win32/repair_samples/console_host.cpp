// A tiny console program of ours for the file infector's repair test: it
// prints one line and ends. Section .room of its file is room that nothing
// reads, where the test forges the virus body: the program itself does not
// depend on it. No C runtime; it imports only from KERNEL32.DLL.
#include <windows.h>

extern "C" {

// Non-zero at the start, so that the section has raw data in the file.
__attribute__((section(".room"), used)) const char kRoom[8192] = {1};

void HostMain() {
  static const char kLine[] = "console host ran to its end\r\n";
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), kLine, sizeof kLine - 1, &written, nullptr);
  ::ExitProcess(written == sizeof kLine - 1 ? 0 : 1);
}

}  // extern "C"
