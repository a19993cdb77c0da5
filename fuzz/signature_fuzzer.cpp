// libFuzzer target: the hex decoders and the signature searches on arbitrary
// bytes. It aborts when
//  - the lenient decoder gives another result than the strict one on text
//    the strict one accepts, or more than one byte per two characters;
//  - a search of any strategy answers differently from the plain walk of
//    the tests (tests/support/signature_samples.h).
// The input is read as: one byte of handler count (1 to 8); per handler a
// descriptor of 8 bytes; then the buffer searched. Each handler's signatures
// are slices of the buffer (so that they are found), with anchors and kinds
// taken from the descriptor, and now and then with lengths and offsets no
// compiler makes (short, past the end).
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "signatures/hex_codec.h"
#include "signatures/signature.h"
#include "signatures/signature_index.h"
#include "tests/support/signature_samples.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckDecoders(std::span<const std::uint8_t> data) {
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  const std::vector<std::uint8_t> lenient = signatures::HexDecodeLenient(text, nullptr);
  Check(lenient.size() <= text.size() / 2);
  if (const auto strict = signatures::HexDecode(text)) Check(*strict == lenient);
}

// The compiled record of buffer[start, start + length) with the anchor at
// `anchor` (or the record's own anchor when it does not fit).
signatures::CompiledSignature RecordOf(std::span<const std::uint8_t> buffer, std::size_t start,
                                       std::size_t length, std::size_t anchor) {
  signatures::CompiledSignature r;
  const auto slice = buffer.subspan(start, length);
  for (std::size_t i = 0; i < 5 && i < slice.size(); ++i) r.prefix[i] = slice[i];
  r.length = static_cast<std::uint16_t>(length);
  if (anchor + 1 < slice.size()) {
    r.anchorOffset = static_cast<std::uint16_t>(anchor);
    r.anchorWord = static_cast<std::uint16_t>(slice[anchor] | slice[anchor + 1] << 8);
  }
  r.crc = signatures::SignatureCrc(signatures::kSignatureCrcPreset,
                                   slice.size() > 5 ? slice.subspan(5) : slice.subspan(0, 0));
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  CheckDecoders(input);
  if (size < 1) return 0;

  const std::size_t count = 1 + input[0] % 8;
  if (size < 1 + 8 * count) return 0;
  // The searched bytes in a heap block of their own, so that the address
  // sanitizer sees a read before their start as well as one past their end.
  const auto tail = input.subspan(1 + 8 * count);
  const std::vector<std::uint8_t> buffer(tail.begin(), tail.end());

  std::vector<std::unique_ptr<qrt_test::FixedHandler>> owned;
  std::vector<scan::MalwareHandler*> handlers;
  for (std::size_t h = 0; h < count; ++h) {
    const auto d = input.subspan(1 + 8 * h, 8);
    signatures::CompiledSignature records[2];
    for (int kind = 0; kind < 2; ++kind) {
      const std::size_t start = buffer.empty() ? 0 : d[kind * 3] % buffer.size();
      const std::size_t room = buffer.size() - start;
      const std::size_t length = room == 0 ? 0 : 1 + d[kind * 3 + 1] % room;
      records[kind] = RecordOf(buffer, start, length, d[kind * 3 + 2]);
    }
    const std::uint8_t flags = d[6];
    if (flags & 1) records[1] = records[0];  // one and the same signature
    if (flags & 2) records[0] = {};          // no memory signature
    if (flags & 4) records[1] = {};          // no file signature
    if (flags & 8) records[0].anchorOffset = static_cast<std::uint16_t>(d[7]);  // anywhere
    owned.push_back(std::make_unique<qrt_test::FixedHandler>(
        u"F", u"z", qrt_test::SignaturesOf(records[0], records[1])));
    handlers.push_back(owned.back().get());
  }

  const qrt_test::ReferenceIndex reference(handlers);
  const qrt_test::Found file = reference.FindFile(buffer);
  const qrt_test::Found memory = reference.FindMemory(buffer);
  for (const auto strategy :
       {signatures::SearchStrategy::kBest, signatures::SearchStrategy::kPortable,
        signatures::SearchStrategy::kBlocks, signatures::SearchStrategy::kMasks}) {
    const signatures::SignatureIndex index =
        signatures::BuildSignatureIndex(scan::SignatureOwnersOf(handlers), strategy);
    std::size_t offset = 0;
    Check(qrt_test::FoundOf(signatures::FindFileSignature(index, buffer, offset), offset) == file);
    Check(qrt_test::FoundOf(signatures::FindMemorySignature(index, buffer)) == memory);
  }
  return 0;
}
