// Test helpers of the signature engine, shared by the unit tests, the fuzz
// target and the benchmark:
//  - ForgeSignature makes signature bytes from a compiled record alone;
//  - FixedHandler is a handler with given names and compiled signatures;
//  - ReferenceIndex is the index and its searches written the plain way (a
//    chain per bucket, every position, every entry), against which the fast
//    searches are compared.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "scan/malware_handler.h"
#include "signatures/signature.h"
#include "signatures/signature_index.h"

namespace qrt_test {

// Bytes of the record's length whose first five are its prefix, whose word at
// the anchor offset is its anchor word and whose SignatureCrc after the prefix
// is its CRC. The CRC is steered by four consecutive free bytes (outside the
// prefix and the anchor word); every other byte is `filler`. Nothing when the
// record cannot be met: a length below 11, an anchor past the end, or an
// anchor that overlaps the prefix with other bytes.
std::optional<std::vector<std::uint8_t>> ForgeSignature(const signatures::CompiledSignature& record,
                                                        std::uint8_t filler = 0x00);

// A handler's signatures from two compiled records.
signatures::SignaturePair SignaturesOf(const signatures::CompiledSignature& memory,
                                       const signatures::CompiledSignature& file);

// A handler with fixed names and signatures; Remove only counts its calls.
class FixedHandler final : public scan::MalwareHandler {
 public:
  FixedHandler(std::u16string baseName, std::u16string variantName,
               const signatures::SignaturePair& signatures);

  std::u16string_view BaseName() const override { return baseName_; }
  std::u16string_view VariantName() const override { return variantName_; }
  void Remove(scan::ScanContext&, const scan::Finding&) override { ++removeCalls; }

  int removeCalls = 0;

 private:
  std::u16string baseName_;
  std::u16string variantName_;
};

// What a search found: the entry's owner and kinds, and for the file search
// the start of the signature. A search that found nothing gives no owner.
struct Found {
  const scan::MalwareHandler* owner = nullptr;
  std::uint8_t kinds = 0;
  std::size_t offset = 0;

  friend bool operator==(const Found&, const Found&) = default;
};

// For test messages: "handler H.a kinds 3 at 17", or "nothing".
void PrintTo(const Found& found, std::ostream* out);

Found FoundOf(const signatures::SignatureIndexEntry* entry, std::size_t offset = 0);

// The index as plain chains, built and searched step by step.
class ReferenceIndex {
 public:
  explicit ReferenceIndex(std::span<scan::MalwareHandler* const> handlers);
  ~ReferenceIndex();
  ReferenceIndex(const ReferenceIndex&) = delete;
  ReferenceIndex& operator=(const ReferenceIndex&) = delete;

  Found FindMemory(std::span<const std::uint8_t> buffer) const;
  Found FindFile(std::span<const std::uint8_t> buffer) const;

  // The entries of one bucket in chain order.
  std::vector<signatures::SignatureIndexEntry> Bucket(std::uint16_t word) const;

 private:
  struct Node {
    signatures::SignatureIndexEntry entry;
    Node* next = nullptr;
  };
  void Append(std::uint16_t word, const signatures::SignatureIndexEntry& entry);
  Found Walk(std::span<const std::uint8_t> buffer, bool file) const;

  std::vector<Node*> heads_;
};

}  // namespace qrt_test
