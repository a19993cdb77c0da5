// libFuzzer target: the memory scanner's readers of in-memory headers and
// relocation directories, on arbitrary bytes in the fake Windows. The input
// becomes the image of a DLL loaded away from its preferred base (the marks
// that lead to the relocation reader are set; everything else, sizes and
// directory included, is the input's), and of a main executable. The scanner
// must neither crash nor read or write past a buffer (the sanitizers
// watch), and must leave no process handle open.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "detect/memory_scanner.h"
#include "platform/fake/fake_system.h"
#include "signatures/signature.h"
#include "tests/support/scan_context_stub.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void Put(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 0x200 || size > 0x40000) return 0;
  std::vector<std::uint8_t> image(data, data + size);
  // "MZ", e_lfanew 0x40, "PE\0\0", a DLL, PE32 or PE32+ by the input's
  // first byte.
  image[0] = 'M';
  image[1] = 'Z';
  Put(image, 60, 0x40, 4);
  Put(image, 0x40, 0x00004550, 4);
  image[0x40 + 23] |= 0x20;
  Put(image, 0x40 + 24, (data[0] & 1) != 0 ? 0x20B : 0x10B, 2);

  platform::fake::FakeSystem system;
  platform::fake::FakeProcess process;
  process.id = 10;
  process.modules = {
      platform::fake::FakeModule{
          u"C:\\a.exe", 0x400000, static_cast<std::uint32_t>(size), 0, 0, image, {}},
      platform::fake::FakeModule{
          u"C:\\b.dll", 0x00A40000, static_cast<std::uint32_t>(size), 0, 0, image, {}}};
  system.processTable.processes = {process};

  signatures::CompiledSignature cut{};
  if (const auto compiled =
          signatures::CompileSignatureBytes(std::span(image).subspan(0x180, 48))) {
    cut = *compiled;
  }
  qrt_test::RecordingHandler handler(u"Cut", signatures::SignaturePair{cut, {}});
  sys::SystemContext context(system);
  detect::MemoryScanner scanner(context);
  qrt_test::ScanContextStub scan(context, {&handler});
  Check(scanner.Run(scan, {}) == codes::ScanResult::kDone);
  Check(system.OpenProcessObjectCount() == 0);
  return 0;
}
