#include "tests/support/pe_samples.h"

#include <algorithm>

namespace qrt_test {
namespace {

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;

std::uint32_t AlignUp(std::uint64_t value, std::uint32_t alignment) {
  return static_cast<std::uint32_t>((value + alignment - 1) / alignment * alignment);
}

void Put(std::vector<std::uint8_t>& bytes, std::uint64_t offset, std::uint64_t value, int size) {
  for (int i = 0; i < size; ++i) {
    if (offset + i < bytes.size()) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

void Plant(std::vector<std::uint8_t>& bytes, std::uint64_t offset,
           const std::vector<std::uint8_t>& what) {
  if (bytes.size() < offset + what.size()) bytes.resize(offset + what.size());
  std::copy(what.begin(), what.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

struct Layout {
  std::uint32_t rawPointer;
  std::uint32_t virtualAddress;
};

std::vector<Layout> LayOut(const PeSample& sample) {
  const std::uint16_t optional =
      sample.optionalHeaderSize != 0 ? sample.optionalHeaderSize : (sample.pe32Plus ? 240 : 224);
  std::uint32_t raw =
      AlignUp(std::uint64_t{sample.peHeaderOffset} + 24 + optional + 40 * sample.sections.size(),
              kFileAlignment);
  std::uint32_t virtualAddress = kSectionAlignment;
  std::vector<Layout> layout;
  for (const SampleSection& section : sample.sections) {
    Layout l{section.rawPointer != 0 ? section.rawPointer : raw,
             section.virtualAddress != 0 ? section.virtualAddress : virtualAddress};
    layout.push_back(l);
    raw = std::max(raw, AlignUp(std::uint64_t{l.rawPointer} + section.rawSize, kFileAlignment));
    const std::uint32_t size = section.virtualSize != 0 ? section.virtualSize : section.rawSize;
    virtualAddress = AlignUp(std::uint64_t{l.virtualAddress} + std::max<std::uint32_t>(size, 1),
                             kSectionAlignment);
  }
  return layout;
}

}  // namespace

std::uint32_t PeSample::RawPointerOf(std::size_t index) const {
  return LayOut(*this).at(index).rawPointer;
}

std::vector<std::uint8_t> PeSample::Build() const {
  const std::uint16_t optional =
      optionalHeaderSize != 0 ? optionalHeaderSize : (pe32Plus ? 240 : 224);
  const std::vector<Layout> layout = LayOut(*this);
  const std::uint64_t tableOffset = std::uint64_t{peHeaderOffset} + 24 + optional;
  std::uint64_t end = AlignUp(tableOffset + 40 * sections.size(), kFileAlignment);
  for (std::size_t i = 0; i < sections.size(); ++i) {
    end = std::max<std::uint64_t>(end, std::uint64_t{layout[i].rawPointer} + sections[i].rawSize);
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(end), filler);
  std::fill_n(bytes.begin(),
              std::min<std::size_t>(bytes.size(), tableOffset + 40 * sections.size()), 0);

  // DOS header.
  Put(bytes, 0, 'M', 1);
  Put(bytes, 1, 'Z', 1);
  Put(bytes, 60, peHeaderOffset, 4);
  // PE signature and file header.
  const std::uint64_t pe = peHeaderOffset;
  if (bytes.size() < pe + 24 + optional) bytes.resize(pe + 24 + optional, 0);
  Put(bytes, pe, 0x00004550, 4);  // "PE\0\0"
  Put(bytes, pe + 4, pe32Plus ? 0x8664 : 0x14C, 2);
  Put(bytes, pe + 6, declaredSectionCount.value_or(static_cast<std::uint16_t>(sections.size())), 2);
  Put(bytes, pe + 20, optional, 2);
  Put(bytes, pe + 22, 0x0102, 2);  // executable, 32-bit machine
  // Optional header: the fields at the same offsets in both formats, then
  // those whose place differs.
  const std::uint64_t opt = pe + 24;
  const std::uint32_t entry =
      entryPoint != 0 ? entryPoint : (layout.empty() ? 0 : layout.front().virtualAddress);
  Put(bytes, opt, pe32Plus ? 0x20B : 0x10B, 2);
  Put(bytes, opt + 16, entry, 4);
  Put(bytes, opt + 32, kSectionAlignment, 4);
  Put(bytes, opt + 36, kFileAlignment, 4);
  Put(bytes, opt + 60, AlignUp(tableOffset + 40 * sections.size(), kFileAlignment), 4);
  Put(bytes, opt + 68, 2, 2);  // Windows GUI subsystem
  if (pe32Plus) {
    Put(bytes, opt + 24, 0x140000000ull, 8);
    Put(bytes, opt + 108, 16, 4);
  } else {
    Put(bytes, opt + 28, 0x400000, 4);
    Put(bytes, opt + 92, 16, 4);
  }
  // Section table and the sections' planted bytes.
  std::uint32_t imageEnd = kSectionAlignment;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    const SampleSection& s = sections[i];
    const std::uint64_t h = tableOffset + 40 * i;
    Put(bytes, h, '.', 1);
    Put(bytes, h + 1, 's', 1);
    Put(bytes, h + 2, '0' + static_cast<int>(i % 10), 1);
    const std::uint32_t virtualSize = s.virtualSize != 0 ? s.virtualSize : s.rawSize;
    Put(bytes, h + 8, virtualSize, 4);
    Put(bytes, h + 12, layout[i].virtualAddress, 4);
    Put(bytes, h + 16, s.rawSize, 4);
    Put(bytes, h + 20, layout[i].rawPointer, 4);
    Put(bytes, h + 36, 0x60000020, 4);  // code, readable, executable
    imageEnd = std::max(imageEnd, AlignUp(std::uint64_t{layout[i].virtualAddress} + virtualSize,
                                          kSectionAlignment));
    for (const Planted& p : s.planted) Plant(bytes, layout[i].rawPointer + p.offset, p.bytes);
  }
  Put(bytes, opt + 56, imageEnd, 4);
  for (const Planted& p : planted) Plant(bytes, p.offset, p.bytes);
  if (fileSize) bytes.resize(static_cast<std::size_t>(*fileSize), filler);
  return bytes;
}

scan::PeFileHeaders HeadersOf(const std::vector<std::uint8_t>& file) {
  scan::PeFileHeaders headers;
  const auto copy = [&file](std::uint64_t offset, std::uint8_t* to, std::size_t count) {
    for (std::size_t i = 0; i < count && offset + i < file.size(); ++i) to[i] = file[offset + i];
  };
  copy(0, headers.dosHeader.data(), headers.dosHeader.size());
  copy(headers.PeHeaderOffset(), headers.peHeaders.data(), headers.peHeaders.size());
  headers.sections.resize(headers.NumberOfSections());
  for (std::size_t i = 0; i < headers.sections.size(); ++i) {
    copy(headers.SectionTableOffset() + i * scan::kSectionHeaderSize,
         headers.sections[i].bytes.data(), scan::kSectionHeaderSize);
  }
  return headers;
}

std::optional<scan::SectionHeader> SectionNamed(const std::vector<std::uint8_t>& file,
                                                std::string_view name) {
  for (const scan::SectionHeader& section : HeadersOf(file).sections) {
    const std::string_view field(reinterpret_cast<const char*>(section.bytes.data()), 8);
    if (field.substr(0, field.find('\0')) == name) return section;
  }
  return std::nullopt;
}

}  // namespace qrt_test
