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

// Section .qrtbig: 80 KB of bytes that occur nowhere else, so that the
// module's image runs past its first two memory windows (64 KB each, the
// second from 63 KB on). The tests take 32 bytes at 0xFD00 from the start of
// the image, inside the 1 KB that both windows hold, as a MEM signature.
struct SampleFill {
  unsigned char bytes[0x14000];
};

constexpr SampleFill MakeSampleFill() {
  SampleFill fill{};
  unsigned state = 0x2545F491u;
  for (unsigned i = 0; i < sizeof fill.bytes; ++i) {
    state = state * 1664525u + 1013904223u;
    fill.bytes[i] = static_cast<unsigned char>(state >> 24);
  }
  return fill;
}

__attribute__((section(".qrtbig"), used)) const SampleFill kSampleFill = MakeSampleFill();

BOOL WINAPI SampleEntry(HINSTANCE, DWORD, LPVOID) { return TRUE; }

}  // extern "C"
