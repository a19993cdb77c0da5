// Small PE32 and PE32+ files for the scanner tests: a DOS header, PE headers
// and a section table, sections with chosen sizes, raw pointers and virtual
// addresses, an entry point, and bytes planted at chosen places. Nothing
// built here is a working program.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "scan/pe_headers.h"

namespace qrt_test {

// Bytes to write at an offset.
struct Planted {
  std::uint64_t offset = 0;
  std::vector<std::uint8_t> bytes;
};

struct SampleSection {
  std::uint32_t virtualAddress = 0;  // 0: after the previous section (0x1000 aligned)
  std::uint32_t virtualSize = 0;     // 0: the raw size
  std::uint32_t rawSize = 0x200;
  std::uint32_t rawPointer = 0;  // 0: after the previous section's raw data (0x200 aligned)
  // Planted within the section's raw data (offsets from its start).
  std::vector<Planted> planted;
};

struct PeSample {
  bool pe32Plus = false;
  // 0: the first section's virtual address.
  std::uint32_t entryPoint = 0;
  // 0: the standard size (224 for PE32, 240 for PE32+).
  std::uint16_t optionalHeaderSize = 0;
  // The header's section count; without it, the number of sections.
  std::optional<std::uint16_t> declaredSectionCount;
  std::uint32_t peHeaderOffset = 0x80;  // e_lfanew
  std::vector<SampleSection> sections = {SampleSection{}};
  // Planted at file offsets, after the sections' own.
  std::vector<Planted> planted;
  std::uint8_t filler = 0;
  // The file's size: cut or padded to it; else it ends after the last
  // section's raw data (or the headers).
  std::optional<std::uint64_t> fileSize;

  // The file offset of section `index`'s raw data as laid out.
  std::uint32_t RawPointerOf(std::size_t index) const;
  std::vector<std::uint8_t> Build() const;
};

// The headers of `file` as the file scanner publishes them while it scans
// it: DOS header, PE headers and section table, each as far as the file
// holds it.
scan::PeFileHeaders HeadersOf(const std::vector<std::uint8_t>& file);

// The header of the first section of `file` named `name` (at most 8
// characters), or nothing.
std::optional<scan::SectionHeader> SectionNamed(const std::vector<std::uint8_t>& file,
                                                std::string_view name);

}  // namespace qrt_test
