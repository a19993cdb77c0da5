// The signature index and its searches.
//
// What is searched for. Every signature is known by a compiled record
// (signature.h): five prefix bytes, an anchor word at a known offset, a length
// and a CRC over the bytes after the prefix. The index has 65536 buckets, one
// per 16-bit word; each signature sits in the bucket of its anchor word. To
// search a buffer, read the word at every position p, look into its bucket,
// and for each entry there put the signature's start at s = p - anchor offset:
// if the signature fits in the buffer from s, its prefix equals the five bytes
// at s and the CRC of the rest equals its CRC, it is found. The positions are
// tried in increasing order and a bucket's entries in the order they were
// added, and the first match is the answer. That order is the contract; all
// the rest of this file is about doing the same work faster.
//
// Why it is fast anyway. Anchors are the rarest words of their signatures
// (signature.cpp), so nearly every position meets an empty bucket. Take the
// five script signatures and the four built-in ones, say 14 anchor words, in
// a 128 KB window of program code. Each anchor word has a count of a few
// thousand in the frequency table's 1088448090 words, so a position hits one
// of them with odds of about 14 x 3000 / 1088448090 = 1 in 26000: some five
// bucket walks per window. The cost is the one question asked at every
// position: is this word's bucket empty?
//
// Asking it cheaply, in three layers:
//
// 1. Each search has a filter of 65536 bytes, one per word: 1 when the
//    word's bucket holds something that search can match, else 0. The plain
//    search reads sixteen words, ORs their sixteen filter bytes and only
//    looks closer when the result is not 0: two loads and an OR per position
//    and one well-predicted branch per sixteen. Words that fill programs
//    (00 00, FF FF, CC CC) stay in the first-level cache; the table's rarely
//    used lines cost a miss now and then.
//
// 2. With few anchor words (up to kMaxNibbleWords), vector instructions test
//    16 or 32 positions at once without touching the filter. The words are
//    put into 8 groups, one bit each. Four 16-byte tables give, for each
//    value of a nibble, the groups in which some word has that nibble: the
//    low and the high nibble of the first byte, and of the second byte. A
//    position can only hold a word of group g when all four nibble lookups
//    have bit g: four table lookups (PSHUFB) and three ANDs for 16 or 32
//    positions. With one word per group the test is exact; with 14 words in
//    8 groups a group of two words, say 34 12 and 78 56, also lets through
//    their 14 crossings (34 56, 78 12, 74 12 ...), so about 6 x 14 = 84 of the
//    65536 words pass in vain, and the filter byte of layer 1 settles them.
//
// 3. Inside a non-empty bucket each search walks a flat array of its own
//    probes, so that entries of the other kind and empty signatures are
//    never looked at. A probe is eight bytes, the four prefix bytes as one
//    32-bit word, the anchor offset and the fifth byte; the length, CRC and
//    entry lie apart and are read only once the prefix matched. So the
//    cheap second test comes first: the four prefix bytes at s compared at
//    once, then the fifth; only a candidate whose prefix matches costs a CRC
//    over its length.
//
// Many anchors. With 10,000 signatures taken from real files the anchors
// are some 7000 distinct words, and about 1935 positions of a 128 KB window
// of code (1.5 %) meet a non-empty bucket. The nibble test would let nearly
// everything through, and so would the test of sixteen positions at once:
// about one block in five passes, at random, and each pass costs a
// mispredicted branch. So the search that expects many candidates (the
// frequency table says how many, see MakeKindTable) makes, without any
// branch, a 64-bit mask of the positions of 64 whose filter byte is set,
// lists the positions of the set bits, a chunk of 1024 positions at a time,
// and then walks their buckets. The positions stay in increasing order, so
// the first match is still the first. (The test of blocks works by chunks
// too: the positions of a block that passes are listed.) The mask is built
// as four chains of sixteen steps, each step one instruction (double and
// add the filter byte), which run side by side: a single chain of 64 ORs
// made every step wait for the one before, a cycle per position.
//
// With 100,000 signatures the anchors are some 30,000 words, and 8400
// positions of a window (6.4 %) meet a non-empty bucket, which holds 3.1
// probes on average: the walks, not the masks, take most of the time. Three
// things keep them short:
//  - the walks of a chunk go in three passes: every position's bucket
//    range is looked up and its first probes asked for (the loads of many
//    positions overlap); then the first two probes of every bucket have
//    their four prefix bytes compared without a branch; then only the
//    positions where one of those passed, or whose bucket holds more than
//    two probes, are walked in order. Half the positions meet a bucket of
//    one probe and a fifth one of two, and a loop over a bucket's probes
//    mispredicts its end about every second time.
//  - eight-byte probes: 100,000 take 800 KB instead of 2.4 MB, so that
//    most stay in the second-level cache.
//  - the CRC works eight bytes a step (signature.cpp): some 345 prefixes
//    match per window, and their CRCs cover 25 KB of it.
//
// The benchmark in bench/ measures both cases beside the plain walk; the
// figures are in bench/README.md.
//
// Layout. Entries are kept flat, bucket after bucket in the order they were
// added, with 65537 bucket starts; each search has its own probe array
// ordered the same way. Skipping the entries that a search cannot match
// keeps the order of those it can, so the first match is the one the plain
// walk finds. A test compares every strategy with the plain walk over random
// buffers and signature sets.

#include "signatures/signature_index.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>
#include <utility>

#include "signatures/signature.h"
#include "signatures/vector_level.h"
#include "signatures/word_frequency.h"

#if defined(__GNUC__) && defined(__x86_64__)
#define QRT_HAVE_X86_VECTORS 1
#include <immintrin.h>
#else
#define QRT_HAVE_X86_VECTORS 0
#endif
// Not on Windows: the compiler there cannot align the 32-byte values it
// spills to the stack.
#if QRT_HAVE_X86_VECTORS && !defined(_WIN32)
#define QRT_HAVE_AVX2_SCAN 1
#else
#define QRT_HAVE_AVX2_SCAN 0
#endif

namespace signatures {

// What the walk of one bucket reads of an entry, for one kind: eight bytes,
// so that 100,000 of them take 800 KB. The rest, needed only once the
// prefix matched, is in a ProbeTail of the same index.
struct SignatureIndex::Probe {
  std::uint32_t prefix4;  // prefix bytes 0 to 3 as a native 32-bit word
  std::uint16_t anchorOffset;
  std::uint8_t prefix5;
  std::uint8_t unused = 0;
};
static_assert(sizeof(SignatureIndex::Probe) == 8);
static_assert(std::is_same_v<decltype(CompiledSignature::anchorOffset), std::uint16_t>,
              "a probe keeps the anchor offset in 16 bits");

// Up to this many distinct anchor words, a search tests positions with the
// vector nibble filter; beyond, with the filter bytes.
inline constexpr std::size_t kMaxNibbleWords = 24;

// From this many expected candidates per 1024 positions on, a search builds
// masks of 64 positions instead of testing blocks of sixteen (measured: the
// two cost the same at about 1 in 500 positions).
inline constexpr double kMaskCandidatesPer1024 = 2.0;

// What a probe whose prefix matched needs besides.
struct ProbeTail {
  std::uint32_t length;
  std::uint32_t crc;
  std::uint32_t entry;  // index into entries_
};

// Everything one search (FILE or MEM) reads.
struct SignatureIndex::KindTable {
  enum class Scan : std::uint8_t { kFilterBytes, kMasks, kNibbles };

  std::uint8_t bit = 0;
  // Per word: 1 when its bucket holds a probe of this kind, else 0.
  std::vector<std::uint8_t> filter;
  // Probes of bucket w: probes[start[w]] up to probes[start[w + 1]].
  std::vector<std::uint32_t> start;
  std::vector<Probe> probes;
  std::vector<ProbeTail> tails;  // one per probe
  Scan scan = Scan::kFilterBytes;
  // Groups of each nibble value: low and high nibble of a word's first byte,
  // then of its second byte.
  alignas(16) std::array<std::uint8_t, 16> nibbles[4] = {};
};

namespace {

using Probe = SignatureIndex::Probe;
using KindTable = SignatureIndex::KindTable;

std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

// The word at position p: the byte at p in the low half.
std::uint16_t WordAt(const std::uint8_t* data, std::size_t p) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint16_t word;
    std::memcpy(&word, data + p, sizeof word);
    return word;
  }
  return static_cast<std::uint16_t>(data[p] | (data[p + 1] << 8));
}

// What one search needs, taken out of the index once per call.
struct SearchContext {
  const KindTable* table;
  const std::uint8_t* filter;
  const std::uint32_t* start;
  const Probe* probes;
  const ProbeTail* tails;
  const SignatureIndexEntry* entries;
  const std::uint8_t* data;
  std::size_t size;  // at least kSignaturePrefixLength
};

// The rest of the test of probe i, whose prefix matched at s: the whole
// signature inside the buffer and its CRC.
[[gnu::noinline]] const SignatureIndexEntry* MatchTail(const SearchContext& c, std::uint32_t i,
                                                       std::size_t s) {
  const ProbeTail& tail = c.tails[i];
  if (static_cast<std::uint64_t>(s) + tail.length > c.size) return nullptr;
  const std::size_t rest =
      tail.length > kSignaturePrefixLength ? tail.length - kSignaturePrefixLength : 0;
  if (SignatureCrc(kSignatureCrcPreset, {c.data + s + kSignaturePrefixLength, rest}) != tail.crc) {
    return nullptr;
  }
  return &c.entries[tail.entry];
}

// Walks probes `from` to `to` (those of one bucket) for the word at position p.
inline const SignatureIndexEntry* WalkProbes(const SearchContext& c, std::size_t p,
                                             std::uint32_t from, std::uint32_t to,
                                             std::size_t& start) {
  // Where a prefix may start: it must lie inside the buffer (only a length
  // below five lets it run past the signature, and bytes past the buffer's
  // end never match). A signature that would start before the buffer wraps
  // s around to far above the limit.
  const std::size_t limit = c.size - kSignaturePrefixLength;
  for (std::uint32_t i = from; i < to; ++i) {
    const Probe probe = c.probes[i];
    const std::size_t s = p - probe.anchorOffset;
    if (s > limit) continue;
    if (Load32(c.data + s) != probe.prefix4 || c.data[s + 4] != probe.prefix5) continue;
    if (const SignatureIndexEntry* found = MatchTail(c, i, s)) {
      start = s;
      return found;
    }
  }
  return nullptr;
}

// Walks the probes of the bucket of the word at position p.
inline const SignatureIndexEntry* WalkBucket(const SearchContext& c, std::size_t p,
                                             std::size_t& start) {
  const std::uint16_t word = WordAt(c.data, p);
  return WalkProbes(c, p, c.start[word], c.start[word + 1], start);
}

// Positions are collected a chunk at a time, and their buckets walked after
// the chunk; a chunk lists at most all its positions and those of one more
// block or group.
constexpr std::size_t kChunk = 1024;
constexpr std::size_t kMaxCollected = kChunk + 64;

// Whether the prefix of probe `probe` may match for position p: bit 0 of
// the answer, without a branch. A signature that cannot start inside the
// buffer reads the buffer's first bytes instead and never passes.
inline std::uint32_t PrefixMayMatch(const SearchContext& c, std::size_t p, const Probe& probe) {
  const std::size_t s = p - probe.anchorOffset;
  const auto inside = static_cast<std::uint32_t>(s <= c.size - kSignaturePrefixLength);
  const std::size_t at = s & (std::size_t{0} - inside);
  return inside & static_cast<std::uint32_t>(Load32(c.data + at) == probe.prefix4);
}

// Walks the buckets of collected positions (offsets from `base`, in
// increasing order). First every position's bucket is looked up and its
// first probes asked for, so that the loads of many buckets overlap. Then
// the first two probes of each bucket have their first four prefix bytes
// compared without a branch (most buckets that a position meets hold one or
// two probes, and a loop over them would mispredict its end half the time):
// only the positions where one of them passes, or whose bucket holds more,
// are walked, in their order.
const SignatureIndexEntry* WalkCandidates(const SearchContext& c, std::size_t base,
                                          const std::uint32_t* candidates, std::size_t count,
                                          std::size_t& start) {
  std::uint32_t from[kMaxCollected];
  std::uint32_t to[kMaxCollected];
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint16_t word = WordAt(c.data, base + candidates[i]);
    std::uint32_t range[2];
    std::memcpy(range, &c.start[word], sizeof range);
    from[i] = range[0];
    to[i] = range[1];
    __builtin_prefetch(&c.probes[range[0]]);
  }
  std::uint32_t walk[kMaxCollected];
  std::size_t walks = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t p = base + candidates[i];
    // The probes after the last bucket's end one probe that never matches.
    const std::uint32_t more = static_cast<std::uint32_t>(to[i] - from[i] >= 2);
    const std::uint32_t hit = PrefixMayMatch(c, p, c.probes[from[i]]) |
                              (more & PrefixMayMatch(c, p, c.probes[from[i] + 1]));
    walk[walks] = static_cast<std::uint32_t>(i);
    walks += hit | static_cast<std::uint32_t>(to[i] - from[i] > 2);
    // Without a hit, the walk of a longer bucket begins at its third probe.
    from[i] += 2 * (hit ^ 1);
  }
  for (std::size_t k = 0; k < walks; ++k) {
    const std::size_t i = walk[k];
    if (const SignatureIndexEntry* found =
            WalkProbes(c, base + candidates[i], from[i], to[i], start)) {
      return found;
    }
  }
  return nullptr;
}

constexpr std::size_t kBlock = 16;

// Whether any of the sixteen positions from d holds a word whose bucket is
// not empty.
bool AnyInBlock(const std::uint8_t* filter, const std::uint8_t* d) {
  return [&]<std::size_t... J>(std::index_sequence<J...>) {
    return (filter[WordAt(d, J)] | ...) != 0;
  }
  (std::make_index_sequence<kBlock>{});
}

// Appends the positions of a block whose buckets are not empty, without
// branches, and asks for their bucket starts ahead of the walk. Kept apart
// so that the test of every block keeps no values alive for it.
[[gnu::noinline]] std::size_t CollectBlock(const SearchContext& c, const std::uint8_t* d,
                                           std::uint32_t offset, std::uint32_t* candidates,
                                           std::size_t count) {
  const std::size_t first = count;
  [&]<std::size_t... J>(std::index_sequence<J...>) {
    ((candidates[count] = offset + J, count += c.filter[WordAt(d, J)]), ...);
  }
  (std::make_index_sequence<kBlock>{});
  for (std::size_t i = first; i < count; ++i) {
    __builtin_prefetch(&c.start[WordAt(d, candidates[i] - offset)]);
  }
  return count;
}

// Positions from `p` to the last one (size - 2). Sixteen positions at a
// time are tested by ORing their filter bytes; the positions of a block that
// passes are collected, a chunk at a time, and their buckets walked after
// the chunk.
const SignatureIndexEntry* ScanFilterBytes(const SearchContext& c, std::size_t p,
                                           std::size_t& start) {
  const std::uint8_t* filter = c.filter;
  std::uint32_t candidates[kMaxCollected];
  // A block starting at p reads bytes p to p + 16.
  while (p + kBlock + 1 <= c.size) {
    const std::size_t base = p;
    const std::size_t end = std::min(p + kChunk, c.size - kBlock);
    std::size_t count = 0;
    for (; p < end; p += kBlock) {
      const std::uint8_t* d = c.data + p;
      if (!AnyInBlock(filter, d)) continue;
      count = CollectBlock(c, d, static_cast<std::uint32_t>(p - base), candidates, count);
    }
    if (const SignatureIndexEntry* found = WalkCandidates(c, base, candidates, count, start)) {
      return found;
    }
  }
  for (; p + 1 < c.size; ++p) {
    if (filter[WordAt(c.data, p)] == 0) continue;
    if (const SignatureIndexEntry* found = WalkBucket(c, p, start)) return found;
  }
  return nullptr;
}

constexpr std::size_t kGroup = 64;

// The filter bytes of sixteen positions from d + 16 K as bits, the first in
// bit 16 K: the last position first, each step doubling and adding (one
// instruction on x86).
template <std::size_t K>
std::uint64_t QuarterMask(const std::uint8_t* filter, const std::uint8_t* d) {
  std::uint32_t bits = 0;
  [&]<std::size_t... J>(std::index_sequence<J...>) {
    ((bits = 2 * bits + filter[WordAt(d, 16 * K + 15 - J)]), ...);
  }
  (std::make_index_sequence<16>{});
  return static_cast<std::uint64_t>(bits) << (16 * K);
}

// Bit j set when the word at position j from d has a filter byte set: reads
// bytes d[0] to d[64], branch-free. Four chains of sixteen steps run side
// by side, where a single chain of 64 would wait for every step.
std::uint64_t GroupMask(const std::uint8_t* filter, const std::uint8_t* d) {
  static_assert(kGroup == 64);
  return (QuarterMask<0>(filter, d) | QuarterMask<1>(filter, d)) |
         (QuarterMask<2>(filter, d) | QuarterMask<3>(filter, d));
}

// Positions from 0 to the last one, for many candidates: a mask per 64
// positions, the positions of its set bits listed a chunk at a time, their
// buckets walked after the chunk. The last positions go to ScanFilterBytes.
const SignatureIndexEntry* ScanMasks(const SearchContext& c, std::size_t& start) {
  std::uint32_t candidates[kMaxCollected];
  std::size_t p = 0;
  // A group starting at p reads bytes p to p + 64.
  while (p + kGroup + 1 <= c.size) {
    const std::size_t base = p;
    const std::size_t end = std::min(p + kChunk, c.size - kGroup);
    std::size_t count = 0;
    for (; p < end; p += kGroup) {
      std::uint64_t mask = GroupMask(c.filter, c.data + p);
      const auto offset = static_cast<std::uint32_t>(p - base);
      while (mask != 0) {
        candidates[count++] = offset + static_cast<std::uint32_t>(std::countr_zero(mask));
        mask &= mask - 1;
      }
    }
    if (const SignatureIndexEntry* found = WalkCandidates(c, base, candidates, count, start)) {
      return found;
    }
  }
  return ScanFilterBytes(c, p, start);
}

#if QRT_HAVE_X86_VECTORS

// The candidates of one block: bit i of `mask` stands for position p + i.
template <typename Mask>
const SignatureIndexEntry* CheckCandidates(const SearchContext& c, std::size_t p, Mask mask,
                                           std::size_t& start) {
  while (mask != 0) {
    const std::size_t q = p + static_cast<std::size_t>(__builtin_ctzll(mask));
    mask &= mask - 1;
    if (c.filter[WordAt(c.data, q)] == 0) continue;
    if (const SignatureIndexEntry* found = WalkBucket(c, q, start)) return found;
  }
  return nullptr;
}

__attribute__((target("ssse3"))) const SignatureIndexEntry* ScanNibbles16(const SearchContext& c,
                                                                          std::size_t& start) {
  const auto* tables = reinterpret_cast<const __m128i*>(c.table->nibbles);
  const __m128i low0 = _mm_load_si128(tables), high0 = _mm_load_si128(tables + 1);
  const __m128i low1 = _mm_load_si128(tables + 2), high1 = _mm_load_si128(tables + 3);
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i zero = _mm_setzero_si128();
  std::size_t p = 0;
  // A block tests positions p to p + 15 and reads bytes p to p + 16.
  for (; p + 17 <= c.size; p += 16) {
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c.data + p));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c.data + p + 1));
    __m128i groups =
        _mm_and_si128(_mm_shuffle_epi8(low0, _mm_and_si128(first, nibble)),
                      _mm_shuffle_epi8(high0, _mm_and_si128(_mm_srli_epi16(first, 4), nibble)));
    groups = _mm_and_si128(groups, _mm_shuffle_epi8(low1, _mm_and_si128(second, nibble)));
    groups = _mm_and_si128(
        groups, _mm_shuffle_epi8(high1, _mm_and_si128(_mm_srli_epi16(second, 4), nibble)));
    const auto empty = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(groups, zero)));
    if (empty == 0xFFFF) continue;
    if (const SignatureIndexEntry* found = CheckCandidates(c, p, ~empty & 0xFFFFu, start)) {
      return found;
    }
  }
  return ScanFilterBytes(c, p, start);
}

#if QRT_HAVE_AVX2_SCAN
__attribute__((target("avx2"))) const SignatureIndexEntry* ScanNibbles32(const SearchContext& c,
                                                                         std::size_t& start) {
  // The byte shuffle looks up within each 16-byte half: both halves get the table.
  const auto* tables = reinterpret_cast<const __m128i*>(c.table->nibbles);
  const __m256i low0 = _mm256_broadcastsi128_si256(_mm_load_si128(tables));
  const __m256i high0 = _mm256_broadcastsi128_si256(_mm_load_si128(tables + 1));
  const __m256i low1 = _mm256_broadcastsi128_si256(_mm_load_si128(tables + 2));
  const __m256i high1 = _mm256_broadcastsi128_si256(_mm_load_si128(tables + 3));
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  const __m256i zero = _mm256_setzero_si256();
  std::size_t p = 0;
  // A block tests positions p to p + 31 and reads bytes p to p + 32.
  for (; p + 33 <= c.size; p += 32) {
    const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c.data + p));
    const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c.data + p + 1));
    __m256i groups = _mm256_and_si256(
        _mm256_shuffle_epi8(low0, _mm256_and_si256(first, nibble)),
        _mm256_shuffle_epi8(high0, _mm256_and_si256(_mm256_srli_epi16(first, 4), nibble)));
    groups = _mm256_and_si256(groups, _mm256_shuffle_epi8(low1, _mm256_and_si256(second, nibble)));
    groups = _mm256_and_si256(
        groups, _mm256_shuffle_epi8(high1, _mm256_and_si256(_mm256_srli_epi16(second, 4), nibble)));
    const auto empty =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(groups, zero)));
    if (empty == 0xFFFFFFFFu) continue;
    if (const SignatureIndexEntry* found = CheckCandidates(c, p, ~empty, start)) return found;
  }
  return ScanFilterBytes(c, p, start);
}
#endif

VectorLevel DetectVectorLevel() {
  __builtin_cpu_init();
  const ProcessorVectorFlags processor{__builtin_cpu_supports("ssse3") != 0,
                                       __builtin_cpu_supports("avx2") != 0};
  // Every 64-bit system saves the SSE registers (the x86-64 calling
  // convention passes values in them); the run-time library reports AVX
  // only when the system has enabled its state in XCR0.
  const SystemVectorState system{true, __builtin_cpu_supports("avx") != 0};
  return SelectVectorLevel(processor, system,
                           QRT_HAVE_AVX2_SCAN ? VectorLevel::kAvx2 : VectorLevel::kSsse3);
}

VectorLevel CurrentVectorLevel() {
  static const VectorLevel level = DetectVectorLevel();
  return level;
}

// Puts the words into the 8 groups of the nibble filter.
void MakeNibbleTables(KindTable& table, std::vector<std::uint16_t> words) {
  // Words sorted by first byte share groups with their neighbours, which
  // tend to share nibbles too.
  std::sort(words.begin(), words.end(), [](std::uint16_t a, std::uint16_t b) {
    return ((a & 0xFF) << 8 | a >> 8) < ((b & 0xFF) << 8 | b >> 8);
  });
  for (std::size_t i = 0; i < words.size(); ++i) {
    const auto group = static_cast<std::uint8_t>(1u << (i * 8 / words.size()));
    const unsigned first = words[i] & 0xFF;
    const unsigned second = words[i] >> 8;
    table.nibbles[0][first & 0x0F] |= group;
    table.nibbles[1][first >> 4] |= group;
    table.nibbles[2][second & 0x0F] |= group;
    table.nibbles[3][second >> 4] |= group;
  }
}

#endif  // QRT_HAVE_X86_VECTORS

const SignatureIndexEntry* Search(const SignatureIndex::KindTable& table,
                                  const SignatureIndexEntry* entries,
                                  std::span<const std::uint8_t> buffer, std::size_t& start) {
  // A prefix needs five bytes.
  if (buffer.size() < kSignaturePrefixLength || table.tails.empty()) return nullptr;
  const SearchContext c{
      &table,  table.filter.data(), table.start.data(), table.probes.data(), table.tails.data(),
      entries, buffer.data(),       buffer.size()};
#if QRT_HAVE_X86_VECTORS
  if (table.scan == KindTable::Scan::kNibbles) {
#if QRT_HAVE_AVX2_SCAN
    if (CurrentVectorLevel() == VectorLevel::kAvx2) return ScanNibbles32(c, start);
#endif
    return ScanNibbles16(c, start);
  }
#endif
  if (table.scan == KindTable::Scan::kMasks) return ScanMasks(c, start);
  return ScanFilterBytes(c, 0, start);
}

// How many of 1024 positions of ordinary data meet one of `words`, by the
// frequency table.
double ExpectedCandidatesPer1024(const std::vector<std::uint16_t>& words) {
  const WordFrequencyTable& counts = BuiltInWordFrequencies();
  double all = 0, met = 0;
  for (const std::uint32_t count : counts) all += count;
  for (const std::uint16_t word : words) met += counts[word];
  return 1024 * met / all;
}

// The probes of one search, bucket after bucket, and how it tests positions.
KindTable MakeKindTable(const std::vector<SignatureIndexEntry>& entries,
                        const std::vector<std::uint32_t>& bucketStart, std::uint8_t bit,
                        SearchStrategy strategy) {
  const bool file = bit == kFileKind;
  KindTable table;
  table.bit = bit;
  table.filter.assign(SignatureIndex::kBucketCount, 0);
  table.start.assign(SignatureIndex::kBucketCount + 1, 0);
  std::vector<std::uint16_t> words;
  for (std::size_t word = 0; word < SignatureIndex::kBucketCount; ++word) {
    table.start[word] = static_cast<std::uint32_t>(table.probes.size());
    for (std::uint32_t i = bucketStart[word]; i < bucketStart[word + 1]; ++i) {
      const SignatureIndexEntry& e = entries[i];
      const std::uint32_t length = file ? e.fileLength : e.memoryLength;
      if ((e.kinds & bit) == 0 || length == 0) continue;
      const auto& prefix = file ? e.filePrefix : e.memoryPrefix;
      table.probes.push_back(Probe{
          Load32(prefix.data()),
          static_cast<std::uint16_t>(file ? e.fileAnchorOffset : e.memoryAnchorOffset), prefix[4]});
      table.tails.push_back(ProbeTail{length, file ? e.fileCrc : e.memoryCrc, i});
    }
    if (table.start[word] != table.probes.size()) {
      table.filter[word] = 1;
      words.push_back(static_cast<std::uint16_t>(word));
    }
  }
  table.start[SignatureIndex::kBucketCount] = static_cast<std::uint32_t>(table.probes.size());
  // Behind the last bucket, a probe that the branch-free test of two probes
  // per bucket may read (WalkCandidates).
  table.probes.push_back(Probe{0, 0, 0});
  switch (strategy) {
    case SearchStrategy::kBlocks:
      return table;
    case SearchStrategy::kMasks:
      table.scan = KindTable::Scan::kMasks;
      return table;
    case SearchStrategy::kBest:
#if QRT_HAVE_X86_VECTORS
      if (!words.empty() && words.size() <= kMaxNibbleWords &&
          CurrentVectorLevel() != VectorLevel::kNone) {
        table.scan = KindTable::Scan::kNibbles;
        MakeNibbleTables(table, std::move(words));
        return table;
      }
#endif
      [[fallthrough]];
    case SearchStrategy::kPortable:
      if (ExpectedCandidatesPer1024(words) >= kMaskCandidatesPer1024) {
        table.scan = KindTable::Scan::kMasks;
      }
      return table;
  }
  return table;
}

}  // namespace

SignatureIndex::SignatureIndex() = default;
SignatureIndex::~SignatureIndex() = default;
SignatureIndex::SignatureIndex(SignatureIndex&&) noexcept = default;
SignatureIndex& SignatureIndex::operator=(SignatureIndex&&) noexcept = default;

std::span<const SignatureIndexEntry> SignatureIndex::Bucket(std::uint16_t word) const {
  if (bucketCount_ == 0) return {};
  return std::span(entries_).subspan(bucketStart_[word],
                                     bucketStart_[word + 1] - bucketStart_[word]);
}

SignatureIndex BuildSignatureIndex(std::span<SignatureOwner* const> owners,
                                   SearchStrategy strategy) {
  // The entries in the order they are added, each with its bucket.
  std::vector<std::pair<std::uint16_t, SignatureIndexEntry>> added;
  for (SignatureOwner* owner : owners) {
    const CompiledSignature& fileSignature = owner->signatures().file;
    const CompiledSignature& memorySignature = owner->signatures().memory;
    SignatureIndexEntry file;
    file.owner = owner;
    file.kinds = kFileKind;
    file.filePrefix = fileSignature.prefix;
    file.fileLength = fileSignature.length;
    file.fileAnchorOffset = fileSignature.anchorOffset;
    file.fileCrc = fileSignature.crc;

    SignatureIndexEntry memory;
    memory.owner = owner;
    memory.kinds = kMemoryKind;
    memory.memoryPrefix = memorySignature.prefix;
    memory.memoryLength = memorySignature.length;
    memory.memoryAnchorOffset = memorySignature.anchorOffset;
    memory.memoryCrc = memorySignature.crc;

    if (file.fileCrc == memory.memoryCrc && memory.memoryLength == file.fileLength &&
        memory.memoryLength != 0 && memory.memoryAnchorOffset == file.fileAnchorOffset) {
      SignatureIndexEntry both = file;
      both.kinds = kFileKind | kMemoryKind;
      both.memoryPrefix = memory.memoryPrefix;
      both.memoryLength = memory.memoryLength;
      both.memoryAnchorOffset = memory.memoryAnchorOffset;
      both.memoryCrc = memory.memoryCrc;
      added.emplace_back(fileSignature.anchorWord, both);
      continue;
    }
    if (file.fileLength > 0) added.emplace_back(fileSignature.anchorWord, file);
    if (memory.memoryLength > 0) added.emplace_back(memorySignature.anchorWord, memory);
  }

  SignatureIndex index;
  index.bucketCount_ = SignatureIndex::kBucketCount;
  index.bucketStart_.assign(SignatureIndex::kBucketCount + 1, 0);
  for (const auto& [word, entry] : added) ++index.bucketStart_[word + 1];
  for (std::size_t w = 0; w < SignatureIndex::kBucketCount; ++w) {
    index.bucketStart_[w + 1] += index.bucketStart_[w];
  }
  // A stable placement: within a bucket the entries keep the order added.
  index.entries_.resize(added.size());
  std::vector<std::uint32_t> next(index.bucketStart_.begin(), index.bucketStart_.end() - 1);
  for (const auto& [word, entry] : added) index.entries_[next[word]++] = entry;

  index.kinds_.push_back(MakeKindTable(index.entries_, index.bucketStart_, kFileKind, strategy));
  index.kinds_.push_back(MakeKindTable(index.entries_, index.bucketStart_, kMemoryKind, strategy));
  return index;
}

void FreeSignatureIndex(SignatureIndex& index) { index = SignatureIndex(); }

const SignatureIndexEntry* FindMemorySignature(const SignatureIndex& index,
                                               std::span<const std::uint8_t> buffer) {
  if (index.bucketCount_ == 0) return nullptr;
  std::size_t start = 0;
  return Search(index.kinds_[1], index.entries_.data(), buffer, start);
}

const SignatureIndexEntry* FindFileSignature(const SignatureIndex& index,
                                             std::span<const std::uint8_t> buffer,
                                             std::size_t& offset) {
  offset = 0;
  if (index.bucketCount_ == 0) return nullptr;
  std::size_t start = 0;
  const SignatureIndexEntry* found = Search(index.kinds_[0], index.entries_.data(), buffer, start);
  if (found != nullptr) offset = start;
  return found;
}

}  // namespace signatures
