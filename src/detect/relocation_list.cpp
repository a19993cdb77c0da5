#include "detect/relocation_list.h"

#include <algorithm>
#include <array>

#include "common/bytes.h"

namespace detect {
namespace {

// Relocation entry types (the top four bits of an entry).
constexpr unsigned kRelocationHighLow = 3;
constexpr unsigned kRelocationDir64 = 10;
constexpr std::uint16_t kFileDll = 0x2000;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
// The base relocation directory is data directory 5.
constexpr std::uint32_t kRelocationDirectoryIndex = 5;
constexpr std::size_t kPeHeadersRead = 248;

bool ReadAll(platform::Processes& processes, platform::Handle process, std::uint64_t address,
             std::span<std::uint8_t> buffer) {
  const auto got = processes.ReadProcessMemory(process, address, buffer);
  return got && *got == buffer.size();
}

}  // namespace

std::optional<RelocationList> RelocationList::Build(platform::Processes& processes,
                                                    platform::Handle process, std::uint64_t base,
                                                    std::uint32_t size) {
  if (size <= 63) return std::nullopt;
  std::array<std::uint8_t, 64> dos{};
  if (!ReadAll(processes, process, base, dos) || dos[0] != 'M' || dos[1] != 'Z') {
    return std::nullopt;
  }
  const std::uint64_t peOffset = bytes::LittleEndian(dos, 60, 4);
  if (peOffset + kPeHeadersRead > size) return std::nullopt;
  std::array<std::uint8_t, kPeHeadersRead> pe{};
  if (!ReadAll(processes, process, base + peOffset, pe)) return std::nullopt;
  if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0) return std::nullopt;
  if ((bytes::LittleEndian(pe, 22, 2) & kFileDll) == 0) return std::nullopt;

  // The optional header starts 24 bytes into the PE headers.
  const auto magic = static_cast<std::uint16_t>(bytes::LittleEndian(pe, 24, 2));
  std::uint64_t preferredBase = 0;
  std::uint32_t directoryCount = 0;
  std::size_t directories = 0;
  if (magic == kMagicPe32) {
    preferredBase = bytes::LittleEndian(pe, 24 + 28, 4);
    directoryCount = static_cast<std::uint32_t>(bytes::LittleEndian(pe, 24 + 92, 4));
    directories = 24 + 96;
  } else if (magic == kMagicPe32Plus) {
    preferredBase = bytes::LittleEndian(pe, 24 + 24, 8);
    directoryCount = static_cast<std::uint32_t>(bytes::LittleEndian(pe, 24 + 108, 4));
    directories = 24 + 112;
  } else {
    return std::nullopt;
  }
  if (directoryCount <= kRelocationDirectoryIndex || preferredBase == base) return std::nullopt;
  const std::size_t entry = directories + 8 * kRelocationDirectoryIndex;
  const std::uint64_t directory = bytes::LittleEndian(pe, entry, 4);
  const std::uint64_t directorySize = bytes::LittleEndian(pe, entry + 4, 4);
  if (directorySize == 0 || directorySize > kMaxDirectorySize || directory + directorySize > size) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> blocks(static_cast<std::size_t>(directorySize));
  if (!ReadAll(processes, process, base + directory, blocks)) return std::nullopt;

  RelocationList list;
  list.base_ = base;
  list.preferredBase_ = preferredBase;
  std::size_t at = 0;
  while (at < blocks.size()) {
    // A block is its page address, its size and its 16-bit entries; a block
    // or an entry outside the directory abandons the list.
    if (blocks.size() - at < 8) return std::nullopt;
    const std::uint64_t page = bytes::LittleEndian(blocks, at, 4);
    const std::uint64_t blockSize = bytes::LittleEndian(blocks, at + 4, 4);
    if (blockSize < 8 || blockSize > blocks.size() - at) return std::nullopt;
    for (std::size_t e = at + 8; e + 2 <= at + blockSize; e += 2) {
      const auto value = static_cast<std::uint16_t>(bytes::LittleEndian(blocks, e, 2));
      const unsigned type = value >> 12;
      if (type != kRelocationHighLow && type != kRelocationDir64) continue;
      const std::uint64_t offset = page + (value & 0x0FFFu);
      const std::uint8_t width = type == kRelocationHighLow ? 4 : 8;
      if (offset + width > size) continue;  // a fixup outside the module changes nothing read
      list.fixups_.push_back(Fixup{static_cast<std::uint32_t>(offset), width});
    }
    at += static_cast<std::size_t>(blockSize);
  }
  if (list.fixups_.empty()) return std::nullopt;
  std::sort(list.fixups_.begin(), list.fixups_.end(),
            [](const Fixup& a, const Fixup& b) { return a.offset < b.offset; });
  return list;
}

void RelocationList::Restore(std::uint64_t windowStart, std::span<std::uint8_t> window) const {
  if (window.empty() || windowStart < base_) return;
  const std::uint64_t first = windowStart - base_;
  const std::uint64_t end = first + window.size();
  const std::uint64_t delta = preferredBase_ - base_;
  auto it = std::lower_bound(fixups_.begin(), fixups_.end(), first,
                             [](const Fixup& f, std::uint64_t o) { return f.offset < o; });
  for (; it != fixups_.end() && it->offset < end; ++it) {
    if (it->offset + it->width > end) continue;
    const auto at = static_cast<std::size_t>(it->offset - first);
    const std::uint64_t value = bytes::LittleEndian(window, at, it->width) + delta;
    for (std::size_t i = 0; i < it->width; ++i) {
      window[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
  }
}

}  // namespace detect
