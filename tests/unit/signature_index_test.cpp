#include "signatures/signature_index.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "signatures/hex_codec.h"
#include "signatures/signature.h"
#include "tests/support/signature_samples.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using qrt_test::FixedHandler;
using qrt_test::Found;
using qrt_test::FoundOf;
using scan::MalwareHandler;
using signatures::CompiledSignature;
using signatures::SearchStrategy;
using signatures::SignaturePair;

constexpr SearchStrategy kStrategies[] = {SearchStrategy::kBest, SearchStrategy::kPortable,
                                          SearchStrategy::kBlocks, SearchStrategy::kMasks};

Bytes RandomBytes(std::mt19937& random, std::size_t n, int alphabet = 256) {
  Bytes bytes(n);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random() % alphabet);
  return bytes;
}

CompiledSignature Compile(const Bytes& bytes) { return *signatures::CompileSignatureBytes(bytes); }

// Handlers made from signature bytes, and the index over them.
class Handlers {
 public:
  FixedHandler& Add(const std::optional<Bytes>& memory, const std::optional<Bytes>& file) {
    const CompiledSignature none;
    return AddCompiled(memory ? Compile(*memory) : none, file ? Compile(*file) : none);
  }
  FixedHandler& AddCompiled(const CompiledSignature& memory, const CompiledSignature& file) {
    return AddFields(qrt_test::SignaturesOf(memory, file));
  }
  FixedHandler& AddFields(const SignaturePair& fields) {
    owned_.push_back(
        std::make_unique<FixedHandler>(u"H", std::u16string(1, u'a' + owned_.size() % 26), fields));
    pointers_.push_back(owned_.back().get());
    return *owned_.back();
  }
  std::span<MalwareHandler* const> list() const { return pointers_; }
  signatures::SignatureIndex Build(SearchStrategy strategy = SearchStrategy::kBest) const {
    return signatures::BuildSignatureIndex(scan::SignatureOwnersOf(pointers_), strategy);
  }

 private:
  std::vector<std::unique_ptr<FixedHandler>> owned_;
  std::vector<MalwareHandler*> pointers_;
};

// The searches get a copy of `buffer` in a heap block of exactly its size, so
// that the address sanitizer sees a read past either end (a vector built by
// appending may hold spare room behind its bytes).
Found FindFile(const signatures::SignatureIndex& index, std::span<const std::uint8_t> buffer) {
  const Bytes own(buffer.begin(), buffer.end());
  std::size_t offset = 12345;
  const signatures::SignatureIndexEntry* entry = signatures::FindFileSignature(index, own, offset);
  if (entry == nullptr) {
    EXPECT_EQ(offset, 0u);
  }
  return FoundOf(entry, offset);
}

Found FindMemory(const signatures::SignatureIndex& index, std::span<const std::uint8_t> buffer) {
  const Bytes own(buffer.begin(), buffer.end());
  return FoundOf(signatures::FindMemorySignature(index, own));
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// --- Building -------------------------------------------------------------

TEST(BuildSignatureIndexTest, EntriesPerBucketInTheOrderAdded) {
  std::mt19937 random(1);
  const Bytes a = RandomBytes(random, 40), b = RandomBytes(random, 50), c = RandomBytes(random, 60);
  Handlers handlers;
  FixedHandler& fileOnly = handlers.Add(std::nullopt, a);
  FixedHandler& both = handlers.Add(b, c);
  FixedHandler& same = handlers.Add(a, a);
  handlers.Add(std::nullopt, std::nullopt);
  FixedHandler& memoryOnly = handlers.Add(c, std::nullopt);

  const signatures::SignatureIndex index = handlers.Build();
  EXPECT_EQ(index.bucketCount(), 65536u);
  EXPECT_EQ(index.entryCount(), 5u);

  const CompiledSignature ca = Compile(a), cb = Compile(b), cc = Compile(c);
  // Bucket of a's anchor: the file-only handler, then the one whose two
  // signatures are the same (kinds 3, both kinds' fields filled).
  const auto bucketA = index.Bucket(ca.anchorWord);
  ASSERT_EQ(bucketA.size(), 2u);
  EXPECT_EQ(bucketA[0].owner, &fileOnly);
  EXPECT_EQ(bucketA[0].kinds, 1);
  EXPECT_EQ(bucketA[0].fileLength, 40u);
  EXPECT_EQ(bucketA[0].memoryLength, 0u);
  EXPECT_EQ(bucketA[0].memoryCrc, 0u);
  EXPECT_EQ(bucketA[1].owner, &same);
  EXPECT_EQ(bucketA[1].kinds, 3);
  EXPECT_EQ(bucketA[1].memoryCrc, ca.crc);
  EXPECT_EQ(bucketA[1].fileCrc, ca.crc);
  EXPECT_EQ(bucketA[1].memoryAnchorOffset, ca.anchorOffset);
  EXPECT_EQ(bucketA[1].filePrefix, ca.prefix);
  EXPECT_EQ(bucketA[1].memoryPrefix, ca.prefix);

  // c's bucket: the FILE entry of `both` (added before its MEM entry, which
  // went to b's bucket), then the MEM-only handler.
  const auto bucketC = index.Bucket(cc.anchorWord);
  ASSERT_EQ(bucketC.size(), 2u);
  EXPECT_EQ(bucketC[0].owner, &both);
  EXPECT_EQ(bucketC[0].kinds, 1);
  EXPECT_EQ(bucketC[1].owner, &memoryOnly);
  EXPECT_EQ(bucketC[1].kinds, 2);
  EXPECT_EQ(bucketC[1].fileLength, 0u);
  const auto bucketB = index.Bucket(cb.anchorWord);
  ASSERT_EQ(bucketB.size(), 1u);
  EXPECT_EQ(bucketB[0].owner, &both);
  EXPECT_EQ(bucketB[0].kinds, 2);
  EXPECT_EQ(bucketB[0].memoryLength, 50u);
}

TEST(BuildSignatureIndexTest, OneEntryWhenCrcLengthAndOffsetAgree) {
  // Equal CRC, length and anchor offset make one entry in the FILE anchor's
  // bucket, even if the prefixes and anchor words differ.
  CompiledSignature memory{{1, 2, 3, 4, 5}, 0x1111, 40, 7, 0xABCD};
  CompiledSignature file{{9, 9, 9, 9, 9}, 0x2222, 40, 7, 0xABCD};
  Handlers handlers;
  handlers.AddCompiled(memory, file);
  CompiledSignature otherOffset = file;
  otherOffset.anchorOffset = 8;
  handlers.AddCompiled(memory, otherOffset);
  CompiledSignature otherCrc = file;
  otherCrc.crc = 1;
  handlers.AddCompiled(memory, otherCrc);

  const signatures::SignatureIndex index = handlers.Build();
  const auto fileBucket = index.Bucket(0x2222);
  ASSERT_EQ(fileBucket.size(), 3u);
  EXPECT_EQ(fileBucket[0].kinds, 3);
  EXPECT_EQ(fileBucket[0].memoryPrefix, memory.prefix);
  EXPECT_EQ(fileBucket[1].kinds, 1);
  EXPECT_EQ(fileBucket[2].kinds, 1);
  EXPECT_EQ(index.Bucket(0x1111).size(), 2u);
}

TEST(BuildSignatureIndexTest, BucketsAgreeWithPlainChains) {
  std::mt19937 random(2);
  Handlers handlers;
  // Few distinct bytes: many signatures share buckets.
  for (int i = 0; i < 300; ++i) {
    const bool memory = random() % 3 != 0, file = random() % 3 != 0;
    const Bytes m = RandomBytes(random, 32 + random() % 40, 3);
    handlers.Add(
        memory ? std::optional(m) : std::nullopt,
        file ? std::optional(random() % 4 == 0 ? m : RandomBytes(random, 33, 3)) : std::nullopt);
  }
  const signatures::SignatureIndex index = handlers.Build();
  const qrt_test::ReferenceIndex reference(handlers.list());
  for (std::size_t w = 0; w < 65536; ++w) {
    const auto ours = index.Bucket(static_cast<std::uint16_t>(w));
    const auto plain = reference.Bucket(static_cast<std::uint16_t>(w));
    ASSERT_EQ(ours.size(), plain.size()) << w;
    for (std::size_t i = 0; i < ours.size(); ++i) {
      EXPECT_EQ(ours[i].owner, plain[i].owner);
      EXPECT_EQ(ours[i].kinds, plain[i].kinds);
      EXPECT_EQ(ours[i].memoryCrc, plain[i].memoryCrc);
      EXPECT_EQ(ours[i].fileCrc, plain[i].fileCrc);
    }
  }
}

TEST(BuildSignatureIndexTest, FreedIndexIsEmptyAndFindsNothing) {
  std::mt19937 random(3);
  const Bytes sig = RandomBytes(random, 40);
  Handlers handlers;
  handlers.Add(sig, sig);
  signatures::SignatureIndex index = handlers.Build();
  ASSERT_NE(FindFile(index, sig).owner, nullptr);
  signatures::FreeSignatureIndex(index);
  EXPECT_EQ(index.bucketCount(), 0u);
  EXPECT_EQ(index.entryCount(), 0u);
  EXPECT_EQ(FindFile(index, sig), Found{});
  EXPECT_EQ(FindMemory(index, sig), Found{});
  EXPECT_TRUE(index.Bucket(Compile(sig).anchorWord).empty());
}

// --- The search rules -----------------------------------------------------

class SearchRulesTest : public testing::TestWithParam<SearchStrategy> {};
INSTANTIATE_TEST_SUITE_P(Strategies, SearchRulesTest, testing::ValuesIn(kStrategies));

TEST_P(SearchRulesTest, WhereASignatureIsFound) {
  std::mt19937 random(4);
  const Bytes sig = RandomBytes(random, 64);
  const Bytes before = RandomBytes(random, 37), after = RandomBytes(random, 50);
  Handlers handlers;
  FixedHandler& h = handlers.Add(std::nullopt, sig);
  const signatures::SignatureIndex index = handlers.Build(GetParam());
  const std::size_t anchor = Compile(sig).anchorOffset;

  Bytes badPrefix = sig;
  badPrefix[2] ^= 1;
  Bytes badTail = sig;
  badTail.back() ^= 0x80;
  const Bytes inside = Concat({before, sig, after});
  const struct {
    const char* label;
    Bytes buffer;
    Found found;
  } cases[] = {
      {"exactly the signature", sig, {&h, 1, 0}},
      {"inside other bytes", inside, {&h, 1, before.size()}},
      {"start cut off (the anchor is inside)", Bytes(sig.begin() + 1, sig.end()), {}},
      {"end cut off (the anchor is inside)", Bytes(sig.begin(), sig.end() - 1), {}},
      {"a prefix byte differs", badPrefix, {}},
      {"a byte under the CRC differs", badTail, {}},
      {"only the anchor word", Bytes(sig.begin() + anchor, sig.begin() + anchor + 2), {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindFile(index, c.buffer), c.found) << c.label;
    EXPECT_EQ(FindMemory(index, c.buffer), Found{}) << c.label << " (a FILE signature)";
  }
}

TEST_P(SearchRulesTest, BuffersOfTwoBytesOrLessNeverMatch) {
  // Odd handlers whose fields could otherwise fit tiny buffers.
  Handlers handlers;
  SignaturePair fields;
  fields.file.length = fields.memory.length = 2;
  fields.file.anchorWord = fields.memory.anchorWord = 0x0000;
  fields.file.crc = fields.memory.crc = signatures::kSignatureCrcPreset;
  handlers.AddFields(fields);
  const signatures::SignatureIndex index = handlers.Build(GetParam());
  for (std::size_t n = 0; n <= 2; ++n) {
    const Bytes zeros(n, 0);
    EXPECT_EQ(FindFile(index, zeros), Found{}) << n;
    EXPECT_EQ(FindMemory(index, zeros), Found{}) << n;
  }
}

TEST_P(SearchRulesTest, LowestAnchorPositionWinsThenTheEntryAddedFirst) {
  std::mt19937 random(5);
  const Bytes first = RandomBytes(random, 80), second = RandomBytes(random, 40);
  const std::size_t firstAnchor = Compile(first).anchorOffset;
  const std::size_t secondAnchor = Compile(second).anchorOffset;
  Handlers handlers;
  FixedHandler& a = handlers.Add(first, first);
  FixedHandler& b = handlers.Add(second, second);
  // The same signature again in a later handler: never reported.
  handlers.Add(second, second);
  const signatures::SignatureIndex index = handlers.Build(GetParam());

  // `first` then `second`: first's anchor comes first.
  const Bytes buffer = Concat({first, second});
  const std::size_t secondAnchorAt = first.size() + secondAnchor;
  ASSERT_GT(secondAnchorAt, firstAnchor);
  EXPECT_EQ(FindFile(index, buffer), (Found{&a, 3, 0}));
  EXPECT_EQ(FindMemory(index, buffer), (Found{&a, 3, 0}));

  // Pad `second` in front so far that `first`'s anchor comes after second's.
  const Bytes padded = Concat({second, Bytes(200, 0x00), first});
  const std::size_t firstAnchorAt = second.size() + 200 + firstAnchor;
  ASSERT_LT(secondAnchor, firstAnchorAt);
  EXPECT_EQ(FindFile(index, padded), (Found{&b, 3, 0}));
  EXPECT_EQ(FindMemory(index, padded), (Found{&b, 3, 0}));
}

TEST_P(SearchRulesTest, LaterStartEarlierAnchorWins) {
  // Two signatures whose anchors are set by hand: `late` starts 20 bytes
  // after `early` but anchors at its own start (position 40), while `early`
  // anchors 30 bytes in (position 50).
  std::mt19937 random(6);
  Bytes buffer = RandomBytes(random, 200);
  const Bytes early(buffer.begin() + 20, buffer.begin() + 60);
  const Bytes late(buffer.begin() + 40, buffer.begin() + 100);
  const auto record = [](const Bytes& bytes, std::uint16_t anchor) {
    CompiledSignature r = Compile(bytes);
    r.anchorOffset = anchor;
    r.anchorWord = static_cast<std::uint16_t>(bytes[anchor] | bytes[anchor + 1] << 8);
    return r;
  };
  Handlers handlers;
  FixedHandler& e = handlers.AddCompiled(CompiledSignature{}, record(early, 30));
  FixedHandler& l = handlers.AddCompiled(CompiledSignature{}, record(late, 0));
  const signatures::SignatureIndex index = handlers.Build(GetParam());
  EXPECT_EQ(FindFile(index, buffer), (Found{&l, 1, 40}));
  // With `late` damaged past the end of `early`, `early` is found.
  buffer[80] ^= 0xFF;
  EXPECT_EQ(FindFile(index, buffer), (Found{&e, 1, 20}));
}

TEST_P(SearchRulesTest, EachSearchSeesOnlyItsKind) {
  std::mt19937 random(7);
  const Bytes m = RandomBytes(random, 48), f = RandomBytes(random, 48),
              both = RandomBytes(random, 48);
  Handlers handlers;
  FixedHandler& hm = handlers.Add(m, std::nullopt);
  FixedHandler& hf = handlers.Add(std::nullopt, f);
  FixedHandler& hb = handlers.Add(both, both);
  const signatures::SignatureIndex index = handlers.Build(GetParam());
  EXPECT_EQ(FindMemory(index, m), (Found{&hm, 2, 0}));
  EXPECT_EQ(FindFile(index, m), Found{});
  EXPECT_EQ(FindFile(index, f), (Found{&hf, 1, 0}));
  EXPECT_EQ(FindMemory(index, f), Found{});
  EXPECT_EQ(FindMemory(index, both), (Found{&hb, 3, 0}));
  EXPECT_EQ(FindFile(index, both), (Found{&hb, 3, 0}));
}

// --- The fast searches against the plain walk -----------------------------

// A random signature set and buffers with planted, damaged and cut signatures.
struct RandomCase {
  Handlers handlers;
  std::vector<Bytes> signatures;
  std::vector<Bytes> buffers;
};

void MakeRandomCase(RandomCase& c, std::mt19937& random, int handlerCount, int alphabet,
                    std::size_t bufferLimit = 700) {
  for (int i = 0; i < handlerCount; ++i) {
    const int shape = static_cast<int>(random() % 10);
    Bytes m = RandomBytes(random, 32 + random() % 100, alphabet);
    Bytes f = shape < 3 ? m : RandomBytes(random, 32 + random() % 100, alphabet);
    c.signatures.push_back(m);
    c.signatures.push_back(f);
    if (shape == 9) {
      // Fields no compiler makes: short lengths, anchors past the end.
      SignaturePair odd = qrt_test::SignaturesOf(Compile(m), Compile(f));
      odd.file.length = static_cast<std::uint16_t>(random() % 8);
      odd.memory.anchorOffset = static_cast<std::uint16_t>(odd.memory.length + random() % 4);
      c.handlers.AddFields(odd);
    } else {
      c.handlers.Add(shape == 8 ? std::nullopt : std::optional(m),
                     shape == 7 ? std::nullopt : std::optional(f));
    }
  }
  for (int b = 0; b < 40; ++b) {
    Bytes buffer = RandomBytes(random, random() % bufferLimit, alphabet);
    const int plants = static_cast<int>(random() % 4);
    for (int k = 0; k < plants && !c.signatures.empty(); ++k) {
      const Bytes& sig = c.signatures[random() % c.signatures.size()];
      const std::size_t at = buffer.empty() ? 0 : random() % (buffer.size() + 1);
      Bytes piece = sig;
      switch (random() % 4) {
        case 0:  // damaged somewhere
          piece[random() % piece.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
          break;
        case 1:  // cut at the front
          piece.erase(piece.begin(), piece.begin() + 1 + random() % 6);
          break;
        default:
          break;
      }
      buffer.insert(buffer.begin() + static_cast<std::ptrdiff_t>(at), piece.begin(), piece.end());
    }
    c.buffers.push_back(std::move(buffer));
  }
}

// Compares every search; answers how many pieces held a match, so that a
// test can make sure its cases are not all empty.
int ExpectSameAsPlainWalk(const RandomCase& c, const std::string& label) {
  int matches = 0;
  const qrt_test::ReferenceIndex reference(c.handlers.list());
  std::vector<signatures::SignatureIndex> indexes;
  for (const SearchStrategy strategy : kStrategies) indexes.push_back(c.handlers.Build(strategy));
  for (std::size_t b = 0; b < c.buffers.size(); ++b) {
    const Bytes& buffer = c.buffers[b];
    // The whole buffer, and pieces cut near its ends, where blocks of eight,
    // sixteen, thirty-two and sixty-four positions end.
    for (std::size_t from : {0, 1, 2}) {
      for (std::size_t cut : {0, 1, 2, 3, 5, 8, 13, 17, 21, 31, 33, 34, 63, 65, 66}) {
        if (from + cut > buffer.size()) continue;
        // A buffer of its own, so that a read past the piece's ends leaves
        // its heap block.
        const Bytes piece(buffer.begin() + static_cast<std::ptrdiff_t>(from),
                          buffer.end() - static_cast<std::ptrdiff_t>(cut));
        const Found file = reference.FindFile(piece), memory = reference.FindMemory(piece);
        matches += (file.owner != nullptr) + (memory.owner != nullptr);
        for (std::size_t i = 0; i < indexes.size(); ++i) {
          const Found fastFile = FindFile(indexes[i], piece);
          const Found fastMemory = FindMemory(indexes[i], piece);
          if (fastFile != file || fastMemory != memory) {
            ADD_FAILURE() << label << " strategy " << i << " buffer " << b << " from " << from
                          << " cut " << cut << ": file " << testing::PrintToString(fastFile)
                          << " instead of " << testing::PrintToString(file) << ", memory "
                          << testing::PrintToString(fastMemory) << " instead of "
                          << testing::PrintToString(memory);
            return matches;
          }
        }
      }
    }
  }
  return matches;
}

TEST(SearchAgainstPlainWalkTest, FewSignatures) {
  std::mt19937 random(10);
  for (int round = 0; round < 12; ++round) {
    RandomCase c;
    MakeRandomCase(c, random, 1 + round, round % 2 == 0 ? 256 : 4);
    EXPECT_GT(ExpectSameAsPlainWalk(c, "round " + std::to_string(round)), 100);
  }
}

TEST(SearchAgainstPlainWalkTest, ManySignaturesInCrowdedBuckets) {
  std::mt19937 random(11);
  // Too many anchor words for the vector test; then few words, long buckets.
  const struct {
    int handlers;
    int alphabet;
  } rounds[] = {{300, 256}, {100, 3}};
  for (const auto& round : rounds) {
    RandomCase c;
    MakeRandomCase(c, random, round.handlers, round.alphabet);
    EXPECT_GT(ExpectSameAsPlainWalk(c, "alphabet " + std::to_string(round.alphabet)), 100);
  }
}

TEST(SearchAgainstPlainWalkTest, LongBuffersAcrossChunks) {
  // Buffers of several chunks of 1024 positions, so that signatures lie
  // across a chunk's end and the first match may come in a later chunk.
  std::mt19937 random(13);
  for (const int alphabet : {256, 5}) {
    RandomCase c;
    MakeRandomCase(c, random, 200, alphabet, 3500);
    EXPECT_GT(ExpectSameAsPlainWalk(c, "alphabet " + std::to_string(alphabet)), 100);
  }
}

TEST(SearchAgainstPlainWalkTest, AnchorsAtBothEndsOfSignaturesAndBuffers) {
  // Hand-set anchors at offset 0 and at length - 2, signatures flush with
  // the buffer's start and end.
  std::mt19937 random(12);
  RandomCase c;
  for (int i = 0; i < 6; ++i) {
    Bytes sig = RandomBytes(random, 32 + i * 7);
    CompiledSignature r = Compile(sig);
    r.anchorOffset = static_cast<std::uint16_t>(i % 2 == 0 ? 0 : sig.size() - 2);
    r.anchorWord = static_cast<std::uint16_t>(sig[r.anchorOffset] | sig[r.anchorOffset + 1] << 8);
    c.handlers.AddCompiled(r, r);
    c.signatures.push_back(sig);
    c.buffers.push_back(sig);
    c.buffers.push_back(Concat({RandomBytes(random, 33), sig}));
    c.buffers.push_back(Concat({sig, RandomBytes(random, 17)}));
  }
  EXPECT_GT(ExpectSameAsPlainWalk(c, "anchors at the ends"), 100);
}

// --- Forged samples -------------------------------------------------------

TEST(ForgeSignatureTest, ForgedBytesMatchTheirRecord) {
  std::mt19937 random(13);
  for (int i = 0; i < 30; ++i) {
    // Records compiled from signature texts, as the script's are.
    const std::string text = signatures::HexEncode(RandomBytes(random, 32 + random() % 200));
    const Bytes recordBytes = *signatures::HexDecode(*signatures::CompileSignature(text));
    const CompiledSignature record =
        CompiledSignature::FromBytes(std::span<const std::uint8_t, 15>(recordBytes.data(), 15));
    const std::optional<Bytes> forged = qrt_test::ForgeSignature(record, 0x90);
    ASSERT_TRUE(forged.has_value());
    ASSERT_EQ(forged->size(), record.length);
    EXPECT_NE(*forged, *signatures::HexDecode(text));

    Handlers handlers;
    FixedHandler& h = handlers.AddCompiled(record, record);
    const signatures::SignatureIndex index = handlers.Build();
    const Bytes sample = Concat({RandomBytes(random, 100), *forged, RandomBytes(random, 10)});
    EXPECT_EQ(FindFile(index, sample), (Found{&h, 3, 100}));
    EXPECT_EQ(FindMemory(index, sample), (Found{&h, 3, 0}));
  }
}

TEST(ForgeSignatureTest, RecordsThatCannotBeMet) {
  CompiledSignature tooShort{{1, 2, 3, 4, 5}, 0x0000, 10, 6, 0};
  EXPECT_FALSE(qrt_test::ForgeSignature(tooShort).has_value());
  CompiledSignature anchorPastEnd{{1, 2, 3, 4, 5}, 0x0000, 40, 39, 0};
  EXPECT_FALSE(qrt_test::ForgeSignature(anchorPastEnd).has_value());
  CompiledSignature clashesWithPrefix{{1, 2, 3, 4, 5}, 0x0302, 40, 0, 0};  // bytes 02 03 at 0
  EXPECT_FALSE(qrt_test::ForgeSignature(clashesWithPrefix).has_value());
  CompiledSignature insidePrefix{{1, 2, 3, 4, 5}, 0x0302, 40, 1, 0x12345678};
  const auto forged = qrt_test::ForgeSignature(insidePrefix);
  ASSERT_TRUE(forged.has_value());
  EXPECT_EQ(
      signatures::SignatureCrc(signatures::kSignatureCrcPreset, std::span(*forged).subspan(5)),
      0x12345678u);
}

}  // namespace
