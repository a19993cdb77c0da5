#include "tests/support/signature_samples.h"

#include <algorithm>
#include <array>

#include "common/text.h"

namespace qrt_test {

using signatures::CompiledSignature;
using signatures::kSignatureCrcPreset;
using signatures::SignatureCrc;
using signatures::SignatureIndexEntry;

std::optional<std::vector<std::uint8_t>> ForgeSignature(const CompiledSignature& record,
                                                        std::uint8_t filler) {
  const std::size_t length = record.length;
  const std::size_t anchor = record.anchorOffset;
  if (length < 11 || anchor + 2 > length) return std::nullopt;
  std::vector<std::uint8_t> bytes(length, filler);
  std::vector<bool> fixed(length, false);
  for (std::size_t i = 0; i < 5; ++i) {
    bytes[i] = record.prefix[i];
    fixed[i] = true;
  }
  const std::array<std::uint8_t, 2> word = {static_cast<std::uint8_t>(record.anchorWord & 0xFF),
                                            static_cast<std::uint8_t>(record.anchorWord >> 8)};
  for (std::size_t i = 0; i < 2; ++i) {
    if (fixed[anchor + i] && bytes[anchor + i] != word[i]) return std::nullopt;
    bytes[anchor + i] = word[i];
    fixed[anchor + i] = true;
  }
  // Four consecutive free bytes, as late as possible.
  std::size_t free = length;
  for (std::size_t k = length - 4; k >= 5 && free == length; --k) {
    if (!fixed[k] && !fixed[k + 1] && !fixed[k + 2] && !fixed[k + 3]) free = k;
  }
  if (free == length) return std::nullopt;

  // The CRC is affine in the free bits: crc(x) = base ^ sum of the columns of
  // the bits set in x. Solve for the 32 bits over GF(2).
  const auto crcOf = [&] { return SignatureCrc(kSignatureCrcPreset, std::span(bytes).subspan(5)); };
  for (std::size_t i = 0; i < 4; ++i) bytes[free + i] = 0;
  const std::uint32_t base = crcOf();
  std::array<std::uint32_t, 32> columns{};
  for (int bit = 0; bit < 32; ++bit) {
    bytes[free + bit / 8] = static_cast<std::uint8_t>(1u << (bit % 8));
    columns[bit] = crcOf() ^ base;
    bytes[free + bit / 8] = 0;
  }
  // Rows of the augmented system: row r holds bit r of every column, then the
  // wanted bit r of (target ^ base).
  std::array<std::uint64_t, 32> rows{};
  const std::uint32_t wanted = record.crc ^ base;
  for (int r = 0; r < 32; ++r) {
    for (int c = 0; c < 32; ++c) rows[r] |= static_cast<std::uint64_t>((columns[c] >> r) & 1) << c;
    rows[r] |= static_cast<std::uint64_t>((wanted >> r) & 1) << 32;
  }
  for (int c = 0; c < 32; ++c) {
    int pivot = c;
    while (pivot < 32 && ((rows[pivot] >> c) & 1) == 0) ++pivot;
    if (pivot == 32) return std::nullopt;
    std::swap(rows[c], rows[pivot]);
    for (int r = 0; r < 32; ++r) {
      if (r != c && ((rows[r] >> c) & 1)) rows[r] ^= rows[c];
    }
  }
  for (int bit = 0; bit < 32; ++bit) {
    if ((rows[bit] >> 32) & 1) bytes[free + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
  }
  return bytes;
}

signatures::SignaturePair SignaturesOf(const CompiledSignature& memory,
                                       const CompiledSignature& file) {
  return signatures::SignaturePair{memory, file};
}

FixedHandler::FixedHandler(std::u16string baseName, std::u16string variantName,
                           const signatures::SignaturePair& signatures)
    : MalwareHandler(signatures),
      baseName_(std::move(baseName)),
      variantName_(std::move(variantName)) {}

void PrintTo(const Found& found, std::ostream* out) {
  if (found.owner == nullptr) {
    *out << "nothing";
    return;
  }
  *out << "handler " << text::ToUtf8(found.owner->BaseName()) << "."
       << text::ToUtf8(found.owner->VariantName()) << " kinds " << int{found.kinds} << " at "
       << found.offset;
}

Found FoundOf(const SignatureIndexEntry* entry, std::size_t offset) {
  if (entry == nullptr) return Found{};
  return Found{&scan::HandlerOf(*entry), entry->kinds, offset};
}

ReferenceIndex::ReferenceIndex(std::span<scan::MalwareHandler* const> handlers)
    : heads_(65536, nullptr) {
  for (scan::MalwareHandler* h : handlers) {
    SignatureIndexEntry file;
    file.owner = h;
    file.kinds = signatures::kFileKind;
    const CompiledSignature& f = h->signatures().file;
    const CompiledSignature& m = h->signatures().memory;
    file.filePrefix = f.prefix;
    file.fileLength = f.length;
    file.fileAnchorOffset = f.anchorOffset;
    file.fileCrc = f.crc;
    SignatureIndexEntry memory;
    memory.owner = h;
    memory.kinds = signatures::kMemoryKind;
    memory.memoryPrefix = m.prefix;
    memory.memoryLength = m.length;
    memory.memoryAnchorOffset = m.anchorOffset;
    memory.memoryCrc = m.crc;
    if (f.crc == m.crc && m.length == f.length && m.length != 0 &&
        m.anchorOffset == f.anchorOffset) {
      SignatureIndexEntry both = file;
      both.kinds = 3;
      both.memoryPrefix = memory.memoryPrefix;
      both.memoryLength = memory.memoryLength;
      both.memoryAnchorOffset = memory.memoryAnchorOffset;
      both.memoryCrc = memory.memoryCrc;
      Append(f.anchorWord, both);
    } else {
      if (f.length > 0) Append(f.anchorWord, file);
      if (m.length > 0) Append(m.anchorWord, memory);
    }
  }
}

ReferenceIndex::~ReferenceIndex() {
  for (Node* node : heads_) {
    while (node != nullptr) {
      Node* next = node->next;
      delete node;
      node = next;
    }
  }
}

void ReferenceIndex::Append(std::uint16_t word, const SignatureIndexEntry& entry) {
  Node** tail = &heads_[word];
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = new Node{entry, nullptr};
}

std::vector<SignatureIndexEntry> ReferenceIndex::Bucket(std::uint16_t word) const {
  std::vector<SignatureIndexEntry> entries;
  for (const Node* node = heads_[word]; node != nullptr; node = node->next) {
    entries.push_back(node->entry);
  }
  return entries;
}

Found ReferenceIndex::Walk(std::span<const std::uint8_t> buffer, bool file) const {
  const std::size_t n = buffer.size();
  if (n <= 2) return Found{};
  for (std::size_t p = 0; p + 1 < n; ++p) {
    const std::uint16_t w = static_cast<std::uint16_t>(buffer[p] | (buffer[p + 1] << 8));
    for (const Node* node = heads_[w]; node != nullptr; node = node->next) {
      const SignatureIndexEntry& e = node->entry;
      const std::uint64_t length = file ? e.fileLength : e.memoryLength;
      if (length == 0) continue;
      const std::uint64_t offset = file ? e.fileAnchorOffset : e.memoryAnchorOffset;
      if (p < offset || p - offset + length > n) continue;
      const std::size_t s = static_cast<std::size_t>(p - offset);
      if ((e.kinds & (file ? signatures::kFileKind : signatures::kMemoryKind)) == 0) continue;
      // The prefix is compared only where it lies inside the buffer.
      if (s + 5 > n) continue;
      const auto& prefix = file ? e.filePrefix : e.memoryPrefix;
      if (!std::equal(prefix.begin(), prefix.end(),
                      buffer.begin() + static_cast<std::ptrdiff_t>(s)))
        continue;
      const std::size_t rest = length > 5 ? static_cast<std::size_t>(length) - 5 : 0;
      if (SignatureCrc(kSignatureCrcPreset, buffer.subspan(s + 5, rest)) ==
          (file ? e.fileCrc : e.memoryCrc)) {
        return Found{&scan::HandlerOf(e), e.kinds, file ? s : 0};
      }
    }
  }
  return Found{};
}

Found ReferenceIndex::FindMemory(std::span<const std::uint8_t> buffer) const {
  return Walk(buffer, false);
}

Found ReferenceIndex::FindFile(std::span<const std::uint8_t> buffer) const {
  return Walk(buffer, true);
}

}  // namespace qrt_test
