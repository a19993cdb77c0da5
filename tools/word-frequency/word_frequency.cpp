// word-frequency: counts the 16-bit words at every byte position of a sample
// of files and writes the table that the signature compiler consults when it
// chooses a signature's anchor (src/signatures/word_frequency.h).
//
//   word-frequency OUTPUT PATH...
//
// Every PATH is a file or a directory (read recursively; symbolic links are
// not followed). For each file of n bytes, the words at positions 0 to n - 2
// are counted, the byte at p in the low half and the byte at p + 1 in the
// high half. No word spans two files. Counts of words never seen become 1,
// so that every count is at least 1; a count that would pass 2^32 - 1 stays
// there. OUTPUT receives 65536 counts as unsigned 32-bit little-endian
// integers, in word order (262144 bytes). A short summary goes to the
// standard output.
//
// The committed table and the command that made it: docs/word-frequency.md.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <system_error>
#include <vector>

namespace {

constexpr std::size_t kWords = 65536;
using Counts = std::array<std::uint64_t, kWords>;

struct Totals {
  std::uint64_t files = 0;
  std::uint64_t bytes = 0;
  std::uint64_t unreadable = 0;
};

void CountFile(const std::filesystem::path& path, Counts& counts, Totals& totals) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ++totals.unreadable;
    return;
  }
  std::vector<char> chunk(1 << 20);
  bool havePrevious = false;
  std::uint8_t previous = 0;
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    for (std::size_t i = 0; i < got; ++i) {
      const auto byte = static_cast<std::uint8_t>(chunk[i]);
      if (havePrevious) ++counts[previous | (static_cast<std::size_t>(byte) << 8)];
      previous = byte;
      havePrevious = true;
    }
    totals.bytes += got;
  }
  ++totals.files;
}

void CountPath(const std::filesystem::path& path, Counts& counts, Totals& totals) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(path, error);
  if (error) {
    ++totals.unreadable;
    return;
  }
  if (std::filesystem::is_regular_file(status)) {
    CountFile(path, counts, totals);
    return;
  }
  if (!std::filesystem::is_directory(status)) return;
  for (auto it = std::filesystem::recursive_directory_iterator(
           path, std::filesystem::directory_options::skip_permission_denied, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file(error) && !it->is_symlink(error)) CountFile(it->path(), counts, totals);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: word-frequency OUTPUT PATH...\n";
    return 2;
  }
  auto counts = std::make_unique<Counts>();
  counts->fill(0);
  Totals totals;
  for (int i = 2; i < argc; ++i) CountPath(argv[i], *counts, totals);

  std::vector<std::uint8_t> out(kWords * 4);
  std::uint64_t sum = 0;
  std::size_t raised = 0;
  std::size_t rarest = 0;
  std::size_t commonest = 0;
  std::array<std::uint32_t, kWords> table{};
  for (std::size_t w = 0; w < kWords; ++w) {
    std::uint64_t c = (*counts)[w];
    if (c == 0) {
      c = 1;
      ++raised;
    }
    table[w] = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(c, std::numeric_limits<std::uint32_t>::max()));
    sum += table[w];
    if (table[w] < table[rarest]) rarest = w;
    if (table[w] > table[commonest]) commonest = w;
    for (int b = 0; b < 4; ++b) out[w * 4 + b] = static_cast<std::uint8_t>(table[w] >> (8 * b));
  }
  std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(out.data()), static_cast<std::streamsize>(out.size()));
  if (!file) {
    std::cerr << "word-frequency: cannot write " << argv[1] << "\n";
    return 1;
  }
  std::printf("files %llu, bytes %llu, unreadable %llu\n",
              static_cast<unsigned long long>(totals.files),
              static_cast<unsigned long long>(totals.bytes),
              static_cast<unsigned long long>(totals.unreadable));
  std::printf("sum of counts %llu; %zu words never seen (counted as 1)\n",
              static_cast<unsigned long long>(sum), raised);
  std::printf("rarest word 0x%04zX (%u), commonest 0x%04zX (%u)\n", rarest, table[rarest],
              commonest, table[commonest]);
  for (std::size_t w : {0x0000u, 0xFFFFu, 0x0065u, 0x6500u, 0x0001u, 0x0020u, 0x2020u, 0xCCCCu,
                        0x9090u, 0x4550u, 0x5A4Du}) {
    std::printf("  word 0x%04zX: %u\n", w, table[w]);
  }
  return 0;
}
