// The headers of an executable file as the file search reads them: the
// 64-byte DOS header, the first 248 bytes of the PE headers (signature, file
// header, optional header of a 32-bit image) and the section table. A file
// finding carries them to its handler (the file infector's repair reads
// them).
//
// The fields are read little-endian from the bytes, at the offsets of the PE
// format; the accessors never read past the arrays.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/bytes.h"

namespace scan {

inline constexpr std::size_t kDosHeaderSize = 64;
inline constexpr std::size_t kPeHeadersSize = 248;
inline constexpr std::size_t kSectionHeaderSize = 40;

struct SectionHeader {
  std::array<std::uint8_t, kSectionHeaderSize> bytes{};

  std::uint32_t VirtualSize() const { return bytes::LittleEndianAt<4>(bytes, 8); }
  std::uint32_t VirtualAddress() const { return bytes::LittleEndianAt<4>(bytes, 12); }
  std::uint32_t SizeOfRawData() const { return bytes::LittleEndianAt<4>(bytes, 16); }
  std::uint32_t PointerToRawData() const { return bytes::LittleEndianAt<4>(bytes, 20); }
};

struct PeFileHeaders {
  std::array<std::uint8_t, kDosHeaderSize> dosHeader{};
  std::array<std::uint8_t, kPeHeadersSize> peHeaders{};
  // Empty while no PE file is being scanned.
  std::vector<SectionHeader> sections;

  // e_lfanew: the file offset of the PE headers.
  std::uint32_t PeHeaderOffset() const { return bytes::LittleEndianAt<4>(dosHeader, 60); }
  std::uint16_t NumberOfSections() const {
    return static_cast<std::uint16_t>(bytes::LittleEndianAt<2>(peHeaders, 6));
  }
  std::uint16_t SizeOfOptionalHeader() const {
    return static_cast<std::uint16_t>(bytes::LittleEndianAt<2>(peHeaders, 20));
  }
  // The same offset in 32-bit and 64-bit images.
  std::uint32_t AddressOfEntryPoint() const { return bytes::LittleEndianAt<4>(peHeaders, 40); }
  // Where the section table starts in the file: right after the optional
  // header, whatever its size (248 bytes after e_lfanew for a standard
  // 32-bit image, 264 for a 64-bit one).
  std::uint64_t SectionTableOffset() const {
    return std::uint64_t{PeHeaderOffset()} + 24 + SizeOfOptionalHeader();
  }
};

// The file offset of the entry point: from the first section, in table
// order, whose virtual range (by its virtual size or by its raw size)
// contains the entry point's relative address; 0 when none does. Computed
// without 32-bit wrap-around.
inline std::uint64_t EntryPointFileOffset(std::uint32_t entryPoint,
                                          const std::vector<SectionHeader>& sections) {
  for (const SectionHeader& section : sections) {
    const std::uint64_t start = section.VirtualAddress();
    if (entryPoint < start) continue;
    if (entryPoint < start + section.VirtualSize() ||
        entryPoint < start + section.SizeOfRawData()) {
      return std::uint64_t{section.PointerToRawData()} + (entryPoint - start);
    }
  }
  return 0;
}

}  // namespace scan
