// The sample DLL of the memory scanner's tests. It does nothing: its entry
// point answers TRUE and it imports nothing. Its section .qrtmem holds a
// table of three of the module's own addresses between two markers; in the
// file they are the addresses at the preferred base (the link gives a fixed
// one, see CMakeLists.txt), and the relocation directory lists them, so the
// loader rewrites them whenever it places the module elsewhere. The tests
// take the section's bytes from the file as a MEM signature: it matches the
// module in memory at the preferred base, and elsewhere only once the
// scanner has put the table back.
#include <windows.h>

extern "C" {

int SampleFunction() { return 1; }

const char kSampleText[] = "memory scanner sample";

struct SampleTable {
  char head[8];
  int (*function)();
  const char* text;
  const SampleTable* self;
  char tail[8];
};

__attribute__((section(".qrtmem"), used))
const SampleTable kSampleTable = {{'Q', 'R', 'T', 'm', 'e', 'm', '<', '['},
                                  &SampleFunction,
                                  kSampleText,
                                  &kSampleTable,
                                  {']', '>', 'm', 'e', 'm', 'Q', 'R', 'T'}};

BOOL WINAPI SampleEntry(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"
