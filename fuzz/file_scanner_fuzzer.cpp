// libFuzzer target: the file scanner's readers of PE headers, section tables
// and backup stream headers, on arbitrary bytes in the fake Windows. The
// input becomes a file (and a named stream of another file); the scanner
// must neither crash nor read past a buffer (the sanitizers watch), must
// leave no handle open, and must count each finding once. A signature cut from the input after its
// first 512 bytes gives the search something to find. The first input byte picks the stream name's
// length, the rest is the file.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "detect/file_scanner.h"
#include "platform/fake/fake_system.h"
#include "signatures/signature.h"
#include "tests/support/scan_context_stub.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::span<const std::uint8_t> input(data, size);
  const std::vector<std::uint8_t> file(input.begin() + 1, input.end());

  platform::fake::FakeSystem system;
  system.fileSystem.drives[u'D'] = platform::fake::FakeDrive{};
  system.fileSystem.AddFile(u"D:\\input.exe", file);
  system.fileSystem.AddFile(u"D:\\host.txt", {1, 2, 3}).streams = {
      platform::fake::FakeStream{std::u16string(1 + input[0] % 40, u's'), file}};

  // A signature cut from the bytes after the headers, when there are enough.
  signatures::CompiledSignature cut{};
  if (file.size() >= 0x200 + 64) {
    if (const auto compiled =
            signatures::CompileSignatureBytes(std::span(file).subspan(0x200, 64))) {
      cut = *compiled;
    }
  }
  qrt_test::RecordingHandler handler(u"Cut", signatures::SignaturePair{{}, cut});
  sys::SystemContext context(system);
  detect::FileScanner scanner(context);
  qrt_test::ScanContextStub scan(context, {&handler});
  const codes::ScanResult result = scanner.Run(scan, {u"D:"});
  Check(result == codes::ScanResult::kDone || result == codes::ScanResult::kMalwareFound);
  Check(system.fileSystem.OpenHandleCount() == 0 && system.fileSystem.OpenSearchCount() == 0);
  Check(scan.stats().infectedFiles == static_cast<int>(handler.calls.size()));
  return 0;
}
