// Speed of the signature searches over real program code.
//
// Data: 128 KB windows of the code sections of Windows libraries (the ones
// Wine installs), which is what the scanners read. Signature sets:
//  - "script": the program's handler list, the built-in handlers and the
//    built-in description script's blocks;
//  - "10k" and "100k": 10,000 and 100,000 slices of 32 to 255 bytes taken
//    anywhere in other libraries, so that their anchors are what real
//    signatures give (the first 10,000 of the larger set are the smaller one).
// No window holds any of the signatures (slices found in a window are
// dropped), so every search reads its whole window.
//
// Cases: FindFileSignature and FindMemorySignature with each strategy, the
// plain walk of the tests (one bucket chain per word, every position) as the
// baseline, and memchr over the same windows as the ceiling. bench/README.md tells how to run it.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "descriptions/builtin_script.h"
#include "descriptions/script_loading.h"
#include "descriptions/script_parser.h"
#include "engine/handler_list.h"
#include "engine/malware_database.h"
#include "handlers/builtin_handlers.h"
#include "platform/fake/fake_system.h"
#include "signatures/hex_codec.h"
#include "signatures/signature.h"
#include "signatures/signature_index.h"
#include "system/system_context.h"
#include "tests/support/signature_samples.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

constexpr std::size_t kWindowSize = 128 * 1024;
constexpr std::size_t kWindowCount = 4;
// The sizes of the synthetic signature sets.
constexpr std::size_t kSyntheticCounts[] = {10000, 100000};
constexpr char kLibraryFolder[] = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows";
// Libraries with large code sections, for the windows.
constexpr const char* kWindowLibraries[] = {
    "ntdll.dll",    "kernelbase.dll", "user32.dll",  "gdi32.dll",  "ole32.dll",   "shell32.dll",
    "comctl32.dll", "ucrtbase.dll",   "wininet.dll", "msvcrt.dll", "combase.dll", "rpcrt4.dll"};

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t Read32(const Bytes& b, std::size_t at) {
  return at + 4 <= b.size() ? b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
                                  static_cast<std::uint32_t>(b[at + 3]) << 24
                            : 0;
}
std::uint16_t Read16(const Bytes& b, std::size_t at) {
  return at + 2 <= b.size() ? static_cast<std::uint16_t>(b[at] | b[at + 1] << 8) : 0;
}

// File offset and size of the first executable section of a PE file.
std::optional<std::pair<std::size_t, std::size_t>> CodeSection(const Bytes& file) {
  if (file.size() < 0x40 || file[0] != 'M' || file[1] != 'Z') return std::nullopt;
  const std::size_t pe = Read32(file, 0x3C);
  if (Read32(file, pe) != 0x00004550) return std::nullopt;
  const std::size_t sections = Read16(file, pe + 6);
  const std::size_t table = pe + 24 + Read16(file, pe + 20);
  for (std::size_t i = 0; i < sections; ++i) {
    const std::size_t header = table + 40 * i;
    if ((Read32(file, header + 36) & 0x20000000) == 0) continue;
    const std::size_t size = Read32(file, header + 16), offset = Read32(file, header + 20);
    if (offset + size <= file.size() && size > 0) return std::pair(offset, size);
  }
  return std::nullopt;
}

// Whether a slice is mostly one byte value (padding, tables of zeros).
bool IsDull(std::span<const std::uint8_t> slice) {
  std::array<int, 256> counts{};
  for (std::uint8_t b : slice) ++counts[b];
  return *std::max_element(counts.begin(), counts.end()) * 3 > static_cast<int>(slice.size());
}

// A handler list of owned handlers with one signature each, used for both kinds.
struct SignatureSet {
  engine::HandlerList program;
  std::vector<std::unique_ptr<qrt_test::FixedHandler>> owned;
  std::vector<scan::MalwareHandler*> list;

  void Add(const signatures::CompiledSignature& record) {
    owned.push_back(std::make_unique<qrt_test::FixedHandler>(
        u"Bench", u"x", qrt_test::SignaturesOf(record, record)));
    list.push_back(owned.back().get());
  }
};

// The program's handler list: the built-in handlers and those of the
// built-in description script, parsed as the program parses it (on the fake
// system, whose folders do not matter here).
void AddScriptSignatures(SignatureSet& set) {
  static platform::fake::FakeSystem system;
  static sys::SystemContext context(system);
  const auto bytes = descriptions::BuiltInScriptBytes();
  static descriptions::ScriptParser parser(context, descriptions::ScriptTextFromBytes(bytes));
  if (!parser.ParseScript()) {
    std::cerr << "the built-in script does not parse\n";
    std::exit(1);
  }
  bool lacksMemorySignature = false;
  set.program = engine::MakeHandlerList(handlers::CreateBuiltInHandlers(), parser.records(),
                                        lacksMemorySignature);
  const auto handlers = set.program.handlers();
  set.list.assign(handlers.begin(), handlers.end());
}

void AddSyntheticSignatures(SignatureSet& set, const std::vector<fs::path>& others,
                            std::size_t count) {
  std::mt19937 random(7);
  std::vector<Bytes> files;
  for (const fs::path& path : others) {
    files.push_back(ReadFile(path));
    if (files.back().size() < 4096) files.pop_back();
  }
  while (set.list.size() < count && !files.empty()) {
    const Bytes& file = files[random() % files.size()];
    const std::size_t length = 32 + random() % 224;
    const auto slice = std::span(file).subspan(random() % (file.size() - length), length);
    if (IsDull(slice)) continue;
    set.Add(*signatures::CompileSignatureBytes(slice));
  }
}

// Drops the signatures that some window holds, so that every search reads
// its whole window: the first one found in each window, round after round.
int DropSignaturesFoundIn(SignatureSet& set, const std::vector<Bytes>& windows) {
  int dropped = 0;
  for (bool again = true; again;) {
    again = false;
    const signatures::SignatureIndex index =
        signatures::BuildSignatureIndex(scan::SignatureOwnersOf(set.list));
    for (const Bytes& window : windows) {
      if (const auto* found = signatures::FindMemorySignature(index, window)) {
        dropped += static_cast<int>(std::erase(set.list, found->owner));
        again = true;
      }
    }
  }
  return dropped;
}

struct Corpus {
  std::vector<Bytes> windows;
  SignatureSet script;
  SignatureSet synthetic[std::size(kSyntheticCounts)];
};

const Corpus& TheCorpus() {
  static const Corpus corpus = [] {
    Corpus c;
    std::vector<fs::path> libraries;
    for (const auto& entry : fs::directory_iterator(kLibraryFolder)) {
      if (entry.path().extension() == ".dll") libraries.push_back(entry.path());
    }
    std::sort(libraries.begin(), libraries.end());
    std::vector<fs::path> others;
    for (const fs::path& path : libraries) {
      const bool forWindows = std::find(std::begin(kWindowLibraries), std::end(kWindowLibraries),
                                        path.filename().string()) != std::end(kWindowLibraries);
      if (!forWindows) {
        others.push_back(path);
        continue;
      }
      if (c.windows.size() == kWindowCount) continue;
      const Bytes file = ReadFile(path);
      const auto code = CodeSection(file);
      if (!code || code->first + kWindowSize > file.size()) continue;
      c.windows.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(code->first),
                             file.begin() + static_cast<std::ptrdiff_t>(code->first + kWindowSize));
    }
    AddScriptSignatures(c.script);
    if (DropSignaturesFoundIn(c.script, c.windows) != 0) {
      std::cerr << "a window holds a signature of the built-in script\n";
    }
    std::cerr << "windows: " << c.windows.size() << " x " << kWindowSize / 1024 << " KB; "
              << "script signatures: " << c.script.list.size();
    for (std::size_t i = 0; i < std::size(kSyntheticCounts); ++i) {
      AddSyntheticSignatures(c.synthetic[i], others, kSyntheticCounts[i]);
      DropSignaturesFoundIn(c.synthetic[i], c.windows);
      std::cerr << "; synthetic signatures: " << c.synthetic[i].list.size();
    }
    std::cerr << "\n";
    return c;
  }();
  return corpus;
}

// 0 the script's signatures, 1 the 10,000 synthetic ones, 2 the 100,000.
const SignatureSet& SetNamed(std::int64_t set) {
  return set == 0 ? TheCorpus().script : TheCorpus().synthetic[set - 1];
}

void ReportBytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(kWindowSize));
}

// Arguments: the signature set (SetNamed); 0 FILE, 1 MEM; the strategy: 0
// best, 1 portable, 2 blocks of sixteen, 3 masks of 64.
void BM_Find(benchmark::State& state) {
  const SignatureSet& set = SetNamed(state.range(0));
  const bool memory = state.range(1) != 0;
  constexpr signatures::SearchStrategy kStrategies[] = {
      signatures::SearchStrategy::kBest, signatures::SearchStrategy::kPortable,
      signatures::SearchStrategy::kBlocks, signatures::SearchStrategy::kMasks};
  const auto strategy = kStrategies[state.range(2)];
  const signatures::SignatureIndex index =
      signatures::BuildSignatureIndex(scan::SignatureOwnersOf(set.list), strategy);
  const auto& windows = TheCorpus().windows;
  // How many positions of a window meet a bucket with something of this kind.
  double candidates = 0;
  for (const Bytes& window : windows) {
    for (std::size_t p = 0; p + 1 < window.size(); ++p) {
      for (const signatures::SignatureIndexEntry& e :
           index.Bucket(static_cast<std::uint16_t>(window[p] | window[p + 1] << 8))) {
        if ((e.kinds & (memory ? signatures::kMemoryKind : signatures::kFileKind)) != 0) {
          ++candidates;
          break;
        }
      }
    }
  }
  state.counters["candidates"] = candidates / static_cast<double>(windows.size());
  std::size_t w = 0;
  for (auto _ : state) {
    const Bytes& window = windows[w++ % windows.size()];
    std::size_t offset = 0;
    const auto* found = memory ? signatures::FindMemorySignature(index, window)
                               : signatures::FindFileSignature(index, window, offset);
    benchmark::DoNotOptimize(found);
    benchmark::DoNotOptimize(offset);
  }
  ReportBytes(state);
}
BENCHMARK(BM_Find)
    ->ArgNames({"sigs", "mem", "strategy"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {0, 1, 2, 3}});

// The plain walk: a chain per bucket, every position, every entry.
void BM_ChainWalk(benchmark::State& state) {
  const SignatureSet& set = SetNamed(state.range(0));
  const bool memory = state.range(1) != 0;
  const qrt_test::ReferenceIndex index(set.list);
  const auto& windows = TheCorpus().windows;
  std::size_t w = 0;
  for (auto _ : state) {
    const Bytes& window = windows[w++ % windows.size()];
    const qrt_test::Found found = memory ? index.FindMemory(window) : index.FindFile(window);
    benchmark::DoNotOptimize(found);
  }
  ReportBytes(state);
}
BENCHMARK(BM_ChainWalk)->ArgNames({"sigs", "mem"})->ArgsProduct({{0, 1, 2}, {0, 1}});

// The ceiling: memchr through each window for its rarest byte value.
void BM_Memchr(benchmark::State& state) {
  const auto& windows = TheCorpus().windows;
  std::vector<std::uint8_t> rarest;
  for (const Bytes& window : windows) {
    std::array<std::size_t, 256> counts{};
    for (std::uint8_t b : window) ++counts[b];
    rarest.push_back(
        static_cast<std::uint8_t>(std::min_element(counts.begin(), counts.end()) - counts.begin()));
  }
  std::size_t w = 0;
  for (auto _ : state) {
    const std::size_t i = w++ % windows.size();
    const std::uint8_t* at = windows[i].data();
    const std::uint8_t* end = at + windows[i].size();
    std::size_t hits = 0;
    while (const void* hit = std::memchr(at, rarest[i], static_cast<std::size_t>(end - at))) {
      ++hits;
      at = static_cast<const std::uint8_t*>(hit) + 1;
    }
    benchmark::DoNotOptimize(hits);
  }
  ReportBytes(state);
}
BENCHMARK(BM_Memchr);

}  // namespace

BENCHMARK_MAIN();
