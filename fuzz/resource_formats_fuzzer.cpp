// libFuzzer target: the readers of the string table's blocks and of version
// resources on arbitrary bytes. The input is read as: one byte n, then
// n % 64 bytes of a path (UTF-16LE, an odd last byte dropped), then the
// block. Every string of the block and the value at the path, at "\" and at
// the usual paths are looked up; it aborts when an answer places its text or
// value outside the block (or, for a version value, past the root's length).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "platform/resource_formats.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckVersionValue(std::span<const std::uint8_t> block, std::u16string_view path) {
  const platform::VersionQueryResult result = platform::QueryVersionBlock(block, path);
  if (result.status != platform::VersionQueryStatus::kFound) return;
  // The root's wLength bounds every value, of bytes or of UTF-16 units (at
  // least as many bytes).
  const std::size_t root = block[0] | (block[1] << 8);
  Check(root <= block.size());
  Check(result.offset <= root && result.valueLength <= root - result.offset);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t pathBytes = std::min<std::size_t>(data[0] % 64, size - 1);
  std::u16string path;
  for (std::size_t i = 1; i + 1 < 1 + pathBytes; i += 2) {
    path.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  const std::span<const std::uint8_t> block(data + 1 + pathBytes, size - 1 - pathBytes);

  for (std::uint32_t id = 0; id < 16; ++id) {
    if (const auto found = platform::FindStringInBlock(block, id)) {
      Check(found->offset <= block.size() && found->length <= (block.size() - found->offset) / 2);
    }
  }
  for (std::u16string_view p : {std::u16string_view(path), std::u16string_view(u"\\"),
                                std::u16string_view(u"\\VarFileInfo\\Translation"),
                                std::u16string_view(u"\\StringFileInfo\\040904B0\\FileVersion")}) {
    CheckVersionValue(block, p);
  }
  return 0;
}
