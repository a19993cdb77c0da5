// The signature index and the two searches that every scanner calls for every
// byte it reads. How it works, with figures: signature_index.cpp.
//
// An index is built once from the handler list and only read afterwards: the
// searches keep no state, allocate nothing, never copy the buffer and may run
// on any thread while nobody rebuilds or frees the index.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "signatures/signature.h"

namespace signatures {

// The bits of SignatureIndexEntry::kinds.
inline constexpr std::uint8_t kFileKind = 1;
inline constexpr std::uint8_t kMemoryKind = 2;

// The two compiled signatures of one malware, each all zero when missing.
struct SignaturePair {
  CompiledSignature memory;
  CompiledSignature file;

  friend bool operator==(const SignaturePair&, const SignaturePair&) = default;
};

// Whatever owns signatures in an index (the malware handlers derive from it).
// The index reads the owner's two signatures when it is built and hands the
// owner back, as it was given, with every entry that a search finds; it
// never changes an owner itself.
class SignatureOwner {
 public:
  explicit SignatureOwner(const SignaturePair& signatures) : signatures_(signatures) {}
  SignatureOwner(const SignatureOwner&) = delete;
  SignatureOwner& operator=(const SignatureOwner&) = delete;

  const SignaturePair& signatures() const { return signatures_; }

 protected:
  ~SignatureOwner() = default;

 private:
  SignaturePair signatures_;
};

// One signature of an owner in the index, or both of them when they are one
// and the same (kinds 3). The fields of a kind the entry does not carry are 0.
struct SignatureIndexEntry {
  SignatureOwner* owner = nullptr;  // not owned
  std::uint8_t kinds = 0;
  std::array<std::uint8_t, 5> memoryPrefix{};
  std::array<std::uint8_t, 5> filePrefix{};
  std::uint32_t memoryLength = 0;
  std::uint32_t fileLength = 0;
  std::uint32_t memoryAnchorOffset = 0;
  std::uint32_t fileAnchorOffset = 0;
  std::uint32_t memoryCrc = 0;
  std::uint32_t fileCrc = 0;
};

// How the searches find the positions worth a look. Every strategy gives the
// same answers. kBest uses vector instructions where the processor has them
// and few anchor words make them pay, and otherwise does what kPortable does;
// kPortable is plain C++ on every machine and picks, by how often the
// frequency table says the anchor words occur, between testing blocks of
// sixteen positions (few candidates) and building masks of 64 (many).
// kBlocks and kMasks always take that one plain way (tests and benchmarks).
enum class SearchStrategy : std::uint8_t { kBest, kPortable, kBlocks, kMasks };

// The index: 65536 buckets numbered by anchor word, each holding its entries
// in the order they were added. Movable, not copyable.
class SignatureIndex {
 public:
  static constexpr std::size_t kBucketCount = 256 * 256;

  SignatureIndex();
  ~SignatureIndex();
  SignatureIndex(SignatureIndex&&) noexcept;
  SignatureIndex& operator=(SignatureIndex&&) noexcept;
  SignatureIndex(const SignatureIndex&) = delete;
  SignatureIndex& operator=(const SignatureIndex&) = delete;

  // kBucketCount once built; 0 for an index never built or freed.
  std::size_t bucketCount() const { return bucketCount_; }
  // The entries of one bucket in their order; empty when there are none.
  std::span<const SignatureIndexEntry> Bucket(std::uint16_t word) const;
  std::size_t entryCount() const { return entries_.size(); }

  // What a search of one kind walks, laid out for speed (signature_index.cpp).
  struct Probe;
  struct KindTable;

 private:
  friend SignatureIndex BuildSignatureIndex(std::span<SignatureOwner* const> owners,
                                            SearchStrategy strategy);
  friend void FreeSignatureIndex(SignatureIndex& index);
  friend const SignatureIndexEntry* FindMemorySignature(const SignatureIndex& index,
                                                        std::span<const std::uint8_t> buffer);
  friend const SignatureIndexEntry* FindFileSignature(const SignatureIndex& index,
                                                      std::span<const std::uint8_t> buffer,
                                                      std::size_t& offset);

  std::size_t bucketCount_ = 0;
  // Every entry, bucket after bucket; bucket w is [bucketStart_[w], bucketStart_[w + 1]).
  std::vector<SignatureIndexEntry> entries_;
  std::vector<std::uint32_t> bucketStart_;
  std::vector<KindTable> kinds_;  // [0] FILE, [1] MEM
};

// Builds the index from the owners in the order given. An owner whose two
// signatures have equal CRC, length and anchor offset (length not 0) adds one
// entry of kinds 3 to the bucket of its file anchor word; otherwise its file
// signature (length not 0) adds an entry of kinds 1 to the bucket of its file
// anchor word, and then its memory signature one of kinds 2 to the bucket of
// its memory anchor word. The owners must outlive the index.
SignatureIndex BuildSignatureIndex(std::span<SignatureOwner* const> owners,
                                   SearchStrategy strategy = SearchStrategy::kBest);

// Releases every entry and bucket; the index is then empty and finds nothing.
void FreeSignatureIndex(SignatureIndex& index);

// The first entry with a memory signature found in `buffer`, or nullptr.
// "First" means: the lowest position p (0 to size - 2) whose word
// buffer[p] + 256 x buffer[p + 1] names a bucket holding an entry that
// matches there, and within that bucket the entry added first. An entry
// matches at p when its signature, starting at s = p - anchor offset, lies
// wholly inside the buffer, its five prefix bytes equal buffer[s..s+4], and
// SignatureCrc over buffer[s+5..s+length-1] equals its CRC. Buffers of two
// bytes or less never match.
const SignatureIndexEntry* FindMemorySignature(const SignatureIndex& index,
                                               std::span<const std::uint8_t> buffer);

// The same with the file signatures; `offset` receives s, where the matching
// signature starts in the buffer (0 when nothing matches).
const SignatureIndexEntry* FindFileSignature(const SignatureIndex& index,
                                             std::span<const std::uint8_t> buffer,
                                             std::size_t& offset);

}  // namespace signatures
