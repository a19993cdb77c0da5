// The fixups of a DLL that the loader placed away from its preferred base,
// read from the module's own relocation directory in the process, so that
// the memory scanner can put each window it reads back to the bytes of the
// module's file before searching it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/system.h"

namespace detect {

class RelocationList {
 public:
  // A relocation directory larger than this is not read.
  static constexpr std::uint32_t kMaxDirectorySize = 2 * 1024 * 1024;

  // One fixup: where it is (relative to the module's base) and its width (4
  // for a 32-bit HIGHLOW fixup, 8 for a 64-bit DIR64 one).
  struct Fixup {
    std::uint32_t offset = 0;
    std::uint8_t width = 0;
  };

  // The list of the module at `base` of `size` bytes in `process`: nothing
  // when the module is no DLL, sits at its preferred base, has no relocation
  // directory, or when its headers or its directory are damaged (a block or
  // an entry outside the directory, a directory outside the module or over
  // 2 MB) or cannot be read. The headers are read by their magic: 32-bit
  // (PE32) and 64-bit (PE32+) modules alike.
  static std::optional<RelocationList> Build(platform::Processes& processes,
                                             platform::Handle process, std::uint64_t base,
                                             std::uint32_t size);

  // Restores the fixups that lie wholly in `window`, which was read at
  // `windowStart` of the module at `base`: each gets (preferred base - actual
  // base) added. A fixup that runs past the window's end is left alone (the
  // next window, overlapping this one, holds it whole).
  void Restore(std::uint64_t windowStart, std::span<std::uint8_t> window) const;

  std::uint64_t preferredBase() const { return preferredBase_; }
  std::uint64_t base() const { return base_; }
  // Sorted by offset.
  const std::vector<Fixup>& fixups() const { return fixups_; }

 private:
  std::uint64_t base_ = 0;
  std::uint64_t preferredBase_ = 0;
  std::vector<Fixup> fixups_;
};

}  // namespace detect
