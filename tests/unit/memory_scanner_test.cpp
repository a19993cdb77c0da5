// The memory scanner against the fake Windows: its error answers and texts,
// the process walk and its counts, which modules it reads and how much of
// them, windows and overlaps, relocations put back, the check of main
// executables on disk, the findings and their hand-over, and the stop.
#include "detect/memory_scanner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "detect/relocation_list.h"
#include "platform/fake/fake_system.h"
#include "signatures/signature.h"
#include "tests/support/pe_samples.h"
#include "tests/support/scan_context_stub.h"
#include "tests/unit/fake_setup.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using codes::ScanResult;
using platform::fake::FakeModule;
using platform::fake::FakeProcess;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr std::uint32_t kPe = 0x80;  // e_lfanew of the images made here

Bytes Pattern(std::uint32_t seed, std::size_t size = 40) {
  Bytes bytes(size);
  std::uint32_t state = seed * 2654435761u + 777;
  for (auto& b : bytes) {
    state = state * 1103515245u + 12345;
    b = static_cast<std::uint8_t>(state >> 16);
  }
  return bytes;
}

void Put(Bytes& bytes, std::size_t offset, std::uint64_t value, int width) {
  for (int i = 0; i < width; ++i)
    bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

void Plant(Bytes& bytes, std::size_t offset, const Bytes& what) {
  std::copy(what.begin(), what.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

// A module image of `size` bytes with valid headers whose SizeOfImage is
// `size`.
Bytes Image(std::uint32_t size, bool pe32Plus = false) {
  qrt_test::PeSample sample;
  sample.pe32Plus = pe32Plus;
  Bytes image = sample.Build();
  image.resize(size, 0);
  Put(image, kPe + 80, size, 4);
  return image;
}

FakeModule Module(std::u16string path, std::uint64_t base, Bytes image) {
  FakeModule module;
  module.path = std::move(path);
  module.base = base;
  module.size = static_cast<std::uint32_t>(image.size());
  module.image = std::move(image);
  return module;
}

FakeProcess Process(std::uint32_t id, std::vector<FakeModule> modules) {
  FakeProcess process;
  process.id = id;
  process.modules = std::move(modules);
  return process;
}

signatures::SignaturePair MemorySignature(const Bytes& bytes) {
  return {*signatures::CompileSignatureBytes(bytes), {}};
}
signatures::SignaturePair FileSignature(const Bytes& bytes) {
  return {{}, *signatures::CompileSignatureBytes(bytes)};
}

const Bytes kSignatureA = Pattern(11);
const Bytes kSignatureB = Pattern(12);
// The FILE signature of the check of main executables on disk.
const Bytes kOnDiskSignature = Pattern(31);

// A PE file whose one section holds `signature`.
Bytes FileWith(const Bytes& signature) {
  qrt_test::PeSample sample;
  sample.sections = {
      qrt_test::SampleSection{.rawSize = 0x200, .planted = {qrt_test::Planted{0x10, signature}}}};
  return sample.Build();
}

// A DLL image at `base` whose file wants `preferred`: a table of eight
// absolute addresses at `tableOffset` that the loader relocated, between
// two runs of 16 distinctive bytes; the relocation directory at 0x3000 lists
// the table's fixups. `signature` is the table's surroundings as the file
// has them.
struct RebasedDll {
  Bytes image;
  Bytes signature;
};

RebasedDll MakeDll(bool pe32Plus, std::uint64_t base, std::uint64_t preferred,
                   std::uint32_t tableOffset = 0x2000, std::uint32_t size = 0x4000) {
  RebasedDll dll{Image(size, pe32Plus), {}};
  Bytes& image = dll.image;
  Put(image, kPe + 22, 0x2102, 2);  // a DLL
  Put(image, pe32Plus ? kPe + 48 : kPe + 52, preferred, pe32Plus ? 8 : 4);
  const int width = pe32Plus ? 8 : 4;
  const Bytes before = Pattern(21, 16);
  const Bytes after = Pattern(22, 16);
  Bytes table;
  for (int i = 0; i < 8; ++i) {
    for (int b = 0; b < width; ++b) {
      table.push_back(static_cast<std::uint8_t>((preferred + 0x1000 + 0x10 * i) >> (8 * b)));
    }
  }
  dll.signature = before;
  dll.signature.insert(dll.signature.end(), table.begin(), table.end());
  dll.signature.insert(dll.signature.end(), after.begin(), after.end());
  Plant(image, tableOffset - 16, dll.signature);
  // The loader's work: every address moved by base - preferred.
  for (int i = 0; i < 8; ++i) {
    const std::size_t at = tableOffset + i * width;
    Put(image, at, preferred + 0x1000 + 0x10 * i + (base - preferred), width);
  }
  // The relocation directory: blocks per page, entries of type 3 or 10.
  Bytes blocks;
  std::uint32_t page = ~0u;
  std::size_t blockStart = 0;
  const auto closeBlock = [&] {
    if (page == ~0u) return;
    if ((blocks.size() - blockStart) % 4 != 0) blocks.insert(blocks.end(), {0, 0});
    Put(blocks, blockStart + 4, blocks.size() - blockStart, 4);
  };
  for (int i = 0; i < 8; ++i) {
    const std::uint32_t at = tableOffset + i * width;
    if ((at & ~0xFFFu) != page) {
      closeBlock();
      page = at & ~0xFFFu;
      blockStart = blocks.size();
      blocks.resize(blocks.size() + 8);
      Put(blocks, blockStart, page, 4);
    }
    const std::uint16_t entry =
        static_cast<std::uint16_t>(((pe32Plus ? 10 : 3) << 12) | (at & 0xFFF));
    blocks.push_back(static_cast<std::uint8_t>(entry));
    blocks.push_back(static_cast<std::uint8_t>(entry >> 8));
  }
  closeBlock();
  Plant(image, 0x3000, blocks);
  const std::size_t directory = pe32Plus ? kPe + 176 : kPe + 160;
  Put(image, directory, 0x3000, 4);
  Put(image, directory + 4, blocks.size(), 4);
  return dll;
}

class MemoryScannerTest : public ::testing::Test {
 protected:
  MemoryScannerTest() {
    alpha.journal = &journal;
    beta.journal = &journal;
    script.journal = &journal;
    script.scriptDescribed = true;
    onDisk.scriptDescribed = true;
  }

  // Runs over a fresh system context, with the index of `handlers` (of
  // alpha, beta and script when none are given).
  ScanResult Run(std::vector<scan::MalwareHandler*> handlers = {}) {
    if (handlers.empty()) handlers = {&alpha, &beta, &script};
    Release();
    context_ = std::make_unique<sys::SystemContext>(*target);
    scanner_ = std::make_unique<detect::MemoryScanner>(*context_);
    scanner_->SetRestoreRelocations(restore);
    scanner_->SetSpanReads(spanReads);
    scan_ = std::make_unique<qrt_test::ScanContextStub>(*context_, handlers);
    scan_->lacksMemory = lacksMemory;
    scan_->stop = stop;
    scan_->stopAfterPolls = stopAfterPolls;
    return scanner_->Run(*scan_, {});
  }

  // Drops the scanner and the system context before their system goes.
  void Release() {
    scan_.reset();
    scanner_.reset();
    context_.reset();
  }

  const scan::ScanStatistics& Stats() const { return scan_->stats(); }
  const std::u16string& Output() const { return scan_->recorder().output; }
  FakeProcess& ProcessWithId(std::uint32_t id) { return *system.processTable.Find(id); }
  // The sizes of the reads of process `id` after each module's 4096-byte
  // header probe, in order.
  std::vector<std::size_t> WindowReads(std::uint32_t id) {
    std::vector<std::size_t> sizes;
    for (const auto& [address, size] : ProcessWithId(id).reads) sizes.push_back(size);
    return sizes;
  }

  platform::fake::FakeSystem system;
  // The system that Run scans.
  platform::fake::FakeSystem* target = &system;
  qrt_test::RecordingHandler alpha{u"Alpha", MemorySignature(kSignatureA)};
  qrt_test::RecordingHandler beta{u"Beta", MemorySignature(kSignatureB)};
  qrt_test::RecordingHandler script{u"Script", MemorySignature(Pattern(13))};
  // A script-described malware that only the check on disk finds.
  qrt_test::RecordingHandler onDisk{u"Disk", FileSignature(kOnDiskSignature)};
  std::vector<std::u16string> journal;
  bool restore = true;
  bool spanReads = true;
  bool lacksMemory = false;
  bool stop = false;
  std::optional<int> stopAfterPolls;

 private:
  std::unique_ptr<sys::SystemContext> context_;
  std::unique_ptr<detect::MemoryScanner> scanner_;
  std::unique_ptr<qrt_test::ScanContextStub> scan_;
};

TEST_F(MemoryScannerTest, FailuresBeforeTheWalkAnswerWithTheirText) {
  struct Case {
    const char* name;
    std::function<void(platform::fake::FakeSystem&)> setUp;
    ScanResult result;
    std::u16string output;
  };
  const Case cases[] = {
      {"version query fails", [](auto& s) { s.version.reset(); }, ScanResult::kVersionQueryError,
       u"error: unable to get OS version information\r\n"},
      {"unknown platform", [](auto& s) { s.version->platformId = 0; },
       ScanResult::kInvalidWindowsVersion,
       u"error: currently are only Windows 9x/ME and Windows NT/2000/XP supported\r\n"},
      {"no debug privilege", [](auto& s) { s.processTable.tokenOpenFails = true; },
       ScanResult::kInsufficientRights, u"error: insufficient access rights on system\r\n"},
      {"no enumeration functions",
       [](auto& s) { s.missingFunctions.insert("CreateToolhelp32Snapshot"); },
       ScanResult::kMemoryScannerInitError, u"error: unable to initialize memory scanner\r\n"},
      {"no process list", [](auto& s) { s.processTable.processSnapshotFails = true; },
       ScanResult::kProcessSnapshotError,
       u"Scanning memory...error: unable to get process list\r\n"},
      {"no first process on NT", [](auto&) {}, ScanResult::kNoProcessesFound,
       u"Scanning memory..."},
      {"no first process on 9x", [](auto& s) { platform::fake::SetUpWindows98(s); },
       ScanResult::kDone, u"Scanning memory... done\r\n\r\nNo malware found in memory\r\n\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto fresh = std::make_unique<platform::fake::FakeSystem>();
    target = fresh.get();
    c.setUp(*fresh);
    EXPECT_EQ(Run(), c.result);
    EXPECT_EQ(Output(), c.output);
    EXPECT_EQ(fresh->OpenProcessObjectCount(), 0u);
    Release();
    target = &system;
  }
}

TEST_F(MemoryScannerTest, WalksEveryProcessReadingMainModulesAlwaysAndDllsOnce) {
  const Bytes exe = Image(0x3000);
  const Bytes dll = Image(0x2000);
  auto& processes = system.processTable.processes;
  processes = {
      Process(0, {Module(u"[System Process]", 0x400000, exe)}),
      Process(10,
              {Module(u"C:\\app\\a.exe", 0x400000, exe), Module(u"C:\\sys\\X.dll", 0x10000000, dll),
               Module(u"C:\\sys\\y.dll", 0x10100000, dll)}),
      Process(15, {}),  // its first module cannot be read: passed over
      Process(20, {Module(u"C:\\app\\A.EXE", 0x400000, exe),
                   Module(u"c:\\SYS\\x.DLL", 0x10000000, dll)}),
      Process(30, {Module(u"C:\\app\\c.exe", 0x400000, exe)}),
      Process(40, {Module(u"C:\\app\\d.exe", 0x400000, exe)}),
  };
  ProcessWithId(30).refusesOpening = true;
  ProcessWithId(40).moduleSnapshotFails = true;

  EXPECT_EQ(Run(), ScanResult::kDone);
  EXPECT_EQ(Stats().scannedProcesses, 4);  // 10, 15, 20, 30
  EXPECT_EQ(Stats().scannedModules, 4);    // a.exe, X.dll, y.dll in 10; A.EXE in 20
  EXPECT_EQ(Stats().infectedProcesses, 0);
  // Each module: the 4096-byte probe, then the image in one window; for a
  // DLL its DOS and PE headers are read too, for relocations.
  EXPECT_THAT(WindowReads(10),
              ElementsAre(4096, 0x3000, 4096, 0x2000, 64, 248, 4096, 0x2000, 64, 248));
  EXPECT_THAT(WindowReads(20), ElementsAre(4096, 0x3000));
  EXPECT_EQ(Stats().memoryScanKilobytes, 12 + 8 + 8 + 12);
  EXPECT_EQ(Output(),
            u"Scanning memory...cannot open process \"c.exe\" for read\r\n done\r\n"
            u"\r\nNo malware found in memory\r\n\r\n");
  EXPECT_EQ(system.OpenProcessObjectCount(), 0u);
}

TEST_F(MemoryScannerTest, TheLengthReadComesFromTheImageInMemoryOrElseFromItsFile) {
  struct Case {
    const char* name;
    std::function<void(FakeModule&)> damage;
    std::vector<std::size_t> reads;
  };
  const Bytes file = Image(0x1000);
  system.fileSystem.AddFile(u"C:\\app\\a.exe", file);
  const Case cases[] = {
      {"the image's size equals the module's", [](FakeModule&) {}, {4096, 0x3000}},
      {"the image's size differs",
       [](FakeModule& m) { Put(m.image, kPe + 80, 0x2000, 4); },
       {4096, 0x1000}},
      {"no MZ in memory", [](FakeModule& m) { m.image[0] = 'X'; }, {4096, 0x1000}},
      {"e_lfanew past the probe", [](FakeModule& m) { Put(m.image, 60, 4090, 4); }, {4096, 0x1000}},
      {"no file either",
       [](FakeModule& m) {
         m.image[0] = 'X';
         m.path = u"C:\\app\\gone.exe";
       },
       {4096}},
      {"the probe cannot be read",
       [](FakeModule& m) {
         m.unreadable = {{0x800, 1}};
       },
       {4096}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeModule module = Module(u"C:\\app\\a.exe", 0x400000, Image(0x3000));
    c.damage(module);
    system.processTable.processes = {Process(10, {module})};
    EXPECT_EQ(Run(), ScanResult::kDone);
    EXPECT_EQ(WindowReads(10), c.reads);
  }
}

TEST_F(MemoryScannerTest, WindowsOverlapSoThatNoSignatureIsLostAtTheirEdges) {
  struct Case {
    std::size_t offset;
    int matches;
  };
  // Windows start at 0, 64512 and 129024 of a 128 KB image.
  const Case cases[] = {
      {0x1000, 1},      {65536 - 20, 1},  // across the first window's end: whole in the second
      {64600, 1},  // wholly in the overlap: found in both windows, handed over and counted once
      {131072 - 40, 1}, {129024 - 20, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.offset);
    Bytes image = Image(0x20000);
    Plant(image, c.offset, kSignatureA);
    system.processTable.processes = {Process(10, {Module(u"C:\\a.exe", 0x400000, image)})};
    journal.clear();
    EXPECT_EQ(Run(), ScanResult::kDone);
    EXPECT_EQ(static_cast<int>(journal.size()), c.matches);
    EXPECT_EQ(Stats().infectedProcesses, c.matches);
    EXPECT_EQ(Stats().memoryScanKilobytes, 64 + 64 + 2);
  }
}

TEST_F(MemoryScannerTest, RebasedDllsArePutBackToTheirFileBytesBeforeTheSearch) {
  struct Case {
    const char* name;
    bool pe32Plus;
    std::uint64_t base;
    std::uint64_t preferred;
    std::uint32_t tableOffset;
    bool restore;
    bool found;
  };
  const Case cases[] = {
      {"32-bit, at its preferred base", false, 0x10000000, 0x10000000, 0x2000, true, true},
      {"32-bit, rebased", false, 0x00A40000, 0x10000000, 0x2000, true, true},
      {"32-bit, rebased, not restored", false, 0x00A40000, 0x10000000, 0x2000, false, false},
      {"64-bit, rebased", true, 0x7FF612340000, 0x180000000, 0x2000, true, true},
      {"64-bit, rebased upwards, across a window end", true, 0x180000000, 0x7FF612340000, 0xFFEC,
       true, true},
      {"32-bit, fixups across pages and a window end", false, 0x00A40000, 0x10000000, 0xFFF2, true,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RebasedDll dll = MakeDll(c.pe32Plus, c.base, c.preferred, c.tableOffset, 0x20000);
    qrt_test::RecordingHandler handler(u"Table", MemorySignature(dll.signature));
    handler.journal = &journal;
    system.processTable.processes = {Process(10, {Module(u"C:\\a.exe", 0x400000, Image(0x1000)),
                                                  Module(u"C:\\t.dll", c.base, dll.image)})};
    restore = c.restore;
    journal.clear();
    EXPECT_EQ(Run({&handler}), ScanResult::kDone);
    EXPECT_EQ(journal.size(), c.found ? 1u : 0u);
  }
}

TEST_F(MemoryScannerTest, ADamagedRelocationDirectoryLeavesTheModuleUnrestored) {
  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
  };
  constexpr std::size_t kDirectory = kPe + 160;
  const Case cases[] = {
      {"no DLL", [](Bytes& i) { Put(i, kPe + 22, 0x0102, 2); }},
      {"block of size 0", [](Bytes& i) { Put(i, 0x3004, 0, 4); }},
      {"block longer than the directory", [](Bytes& i) { Put(i, 0x3004, 0x1000, 4); }},
      {"directory past the module", [](Bytes& i) { Put(i, kDirectory, 0x3FF0, 4); }},
      {"directory over 2 MB", [](Bytes& i) { Put(i, kDirectory + 4, 0x200001, 4); }},
      {"directory cut short", [](Bytes& i) { Put(i, kDirectory + 4, 6, 4); }},
      {"no relocation directory entry", [](Bytes& i) { Put(i, kPe + 116, 5, 4); }},
      {"unknown magic", [](Bytes& i) { Put(i, kPe + 24, 0x107, 2); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RebasedDll dll = MakeDll(false, 0x00A40000, 0x10000000);
    c.damage(dll.image);
    qrt_test::RecordingHandler handler(u"Table", MemorySignature(dll.signature));
    handler.journal = &journal;
    system.processTable.processes = {Process(10, {Module(u"C:\\a.exe", 0x400000, Image(0x1000)),
                                                  Module(u"C:\\t.dll", 0x00A40000, dll.image)})};
    journal.clear();
    EXPECT_EQ(Run({&handler}), ScanResult::kDone);
    EXPECT_THAT(journal, IsEmpty());
  }
}

TEST_F(MemoryScannerTest, TheRelocationListIsSortedAndKnowsBothWidths) {
  system.processTable.processes = {Process(10, {})};
  for (const bool pe32Plus : {false, true}) {
    SCOPED_TRACE(pe32Plus);
    const RebasedDll dll = MakeDll(pe32Plus, 0x00A40000, 0x10000000, 0x1FF8);
    ProcessWithId(10).modules = {Module(u"C:\\t.dll", 0x00A40000, dll.image)};
    platform::System& api = system;
    const platform::Handle process = api.processes().OpenProcess(0x410, 10);
    const auto list = detect::RelocationList::Build(api.processes(), process, 0x00A40000, 0x4000);
    api.runtime().CloseHandle(process);
    ASSERT_TRUE(list);
    EXPECT_EQ(list->preferredBase(), 0x10000000u);
    ASSERT_EQ(list->fixups().size(), 8u);
    const unsigned width = pe32Plus ? 8 : 4;
    for (std::size_t i = 0; i < 8; ++i) {
      EXPECT_EQ(list->fixups()[i].offset, 0x1FF8 + i * width);
      EXPECT_EQ(list->fixups()[i].width, width);
    }
  }
}

TEST_F(MemoryScannerTest, FindingsAreHandedOverAfterTheWalkInOrder) {
  const auto withSignature = [](std::uint32_t size, const Bytes& signature) {
    Bytes image = Image(size);
    Plant(image, 0x800, signature);
    return image;
  };
  const Bytes scriptSignature = Pattern(13);
  const Bytes exe = withSignature(0x2000, scriptSignature);
  system.processTable.processes = {
      Process(10, {Module(u"C:\\a.exe", 0x400000, exe),
                   Module(u"C:\\x.dll", 0x10000000, withSignature(0x2000, scriptSignature)),
                   Module(u"C:\\y.dll", 0x10100000, withSignature(0x2000, kSignatureB))}),
      Process(20, {Module(u"C:\\a.exe", 0x400000, exe)}),
      Process(30, {Module(u"C:\\c.exe", 0x400000, withSignature(0x2000, kSignatureB))}),
  };
  std::vector<std::u16string> walkDone;
  beta.onRemove = [&] { walkDone.push_back(Output()); };

  EXPECT_EQ(Run(), ScanResult::kDone);
  // Each infected process counts once; a script handler hears once of all
  // its processes.
  EXPECT_EQ(Stats().infectedProcesses, 3);
  EXPECT_THAT(journal, ElementsAre(u"Beta C:\\y.dll", u"Beta C:\\c.exe", u"Script "));
  ASSERT_EQ(beta.calls.size(), 2u);
  EXPECT_EQ(beta.calls[0].processId, 10u);
  EXPECT_TRUE(beta.calls[0].more);
  EXPECT_EQ(beta.calls[1].processId, 30u);
  EXPECT_FALSE(beta.calls[1].more);
  EXPECT_EQ(beta.calls[0].kind, scan::FindingKind::MemoryFinding);
  ASSERT_EQ(script.calls.size(), 1u);
  const qrt_test::RemoveCall& call = script.calls[0];
  EXPECT_FALSE(call.infectedFile);
  EXPECT_EQ(call.processId, 0u);
  ASSERT_EQ(call.processes.size(), 2u);
  EXPECT_EQ(call.processes[0].name, u"C:\\a.exe");
  EXPECT_EQ(call.processes[0].processId, 10u);
  EXPECT_EQ(call.processes[1].processId, 20u);
  // The hand-over follows the closing " done".
  ASSERT_FALSE(walkDone.empty());
  EXPECT_EQ(walkDone[0], u"Scanning memory... done\r\n");
  EXPECT_EQ(Output(), u"Scanning memory... done\r\n");
}

TEST_F(MemoryScannerTest, MainExecutablesAreCheckedOnDiskWhenADescriptionHasNoMemorySignature) {
  qrt_test::RecordingHandler builtIn(u"BuiltIn", FileSignature(Pattern(32)));
  system.fileSystem.AddFile(u"C:\\app\\a.exe", Bytes(500, 1)).streams = {
      platform::fake::FakeStream{u"hidden", FileWith(kOnDiskSignature)}};
  system.fileSystem.AddFile(u"C:\\app\\b.exe", FileWith(Pattern(32)));
  system.processTable.processes = {
      Process(10, {Module(u"C:\\app\\a.exe", 0x400000, Image(0x1000))}),
      Process(20, {Module(u"C:\\app\\b.exe", 0x400000, Image(0x1000))}),
  };

  lacksMemory = false;
  Run({&onDisk, &builtIn});
  EXPECT_THAT(onDisk.calls, IsEmpty());

  lacksMemory = true;
  EXPECT_EQ(Run({&onDisk, &builtIn}), ScanResult::kDone);
  ASSERT_EQ(onDisk.calls.size(), 1u);
  ASSERT_EQ(onDisk.calls[0].processes.size(), 1u);
  EXPECT_EQ(onDisk.calls[0].processes[0].processId, 10u);
  EXPECT_EQ(onDisk.calls[0].processes[0].name, u"C:\\app\\a.exe");
  EXPECT_THAT(builtIn.calls, IsEmpty());  // built-in handlers are not taken from the disk
  EXPECT_EQ(Stats().infectedProcesses, 1);
  EXPECT_EQ(Stats().scannedFiles, 2);
  EXPECT_EQ(Stats().scannedStreams, 1);
  EXPECT_EQ(system.fileSystem.OpenHandleCount(), 0u);
}

TEST_F(MemoryScannerTest, AStopRequestEndsTheWalkAfterTheModuleAndHandsNothingOver) {
  Bytes image = Image(0x2000);
  Plant(image, 0x800, kSignatureA);
  system.processTable.processes = {
      Process(10, {Module(u"C:\\a.exe", 0x400000, image), Module(u"C:\\x.dll", 0x10000000, image)}),
      Process(20, {Module(u"C:\\b.exe", 0x400000, image)}),
  };
  stop = true;
  EXPECT_EQ(Run(), ScanResult::kStoppedByUser);
  EXPECT_EQ(Stats().scannedModules, 1);
  EXPECT_EQ(Stats().infectedProcesses, 1);
  EXPECT_THAT(journal, IsEmpty());
  EXPECT_EQ(Output(), u"Scanning memory...");
  EXPECT_EQ(system.OpenProcessObjectCount(), 0u);

  stop = false;
  stopAfterPolls = 2;
  EXPECT_EQ(Run(), ScanResult::kStoppedByUser);
  EXPECT_EQ(Stats().scannedModules, 3);
  EXPECT_THAT(journal, IsEmpty());
}

TEST_F(MemoryScannerTest, AProcessCountsOnceAndEachHandlerHearsOnceOfIt) {
  // Process 10: Alpha in two modules and in a window overlap, Beta once, the
  // script in memory and in its file on disk; process 20: Alpha once.
  onDisk.journal = &journal;
  system.fileSystem.AddFile(u"C:\\a.exe", FileWith(kOnDiskSignature));
  Bytes exe = Image(0x20000);
  Plant(exe, 64600, kSignatureA);  // in the overlap of the first two windows
  Plant(exe, 0x1000, kSignatureB);
  Bytes dll = Image(0x2000);
  Plant(dll, 0x800, kSignatureA);
  system.processTable.processes = {
      Process(10, {Module(u"C:\\a.exe", 0x400000, exe), Module(u"C:\\x.dll", 0x10000000, dll)}),
      Process(20, {Module(u"C:\\b.exe", 0x400000, dll)}),
  };
  lacksMemory = true;
  EXPECT_EQ(Run({&alpha, &beta, &onDisk}), ScanResult::kDone);
  EXPECT_EQ(Stats().infectedProcesses, 2);
  ASSERT_EQ(alpha.calls.size(), 2u);
  EXPECT_EQ(alpha.calls[0].processId, 10u);
  EXPECT_EQ(*alpha.calls[0].infectedFile, u"C:\\a.exe");  // the first match's module
  EXPECT_EQ(alpha.calls[1].processId, 20u);
  EXPECT_FALSE(alpha.calls[1].more);  // the last built-in finding
  ASSERT_EQ(beta.calls.size(), 1u);
  ASSERT_EQ(onDisk.calls.size(), 1u);
  ASSERT_EQ(onDisk.calls[0].processes.size(), 1u);
}

// Both read modes over the same processes: large modules, signatures across
// window and span ends, pages that cannot be read in the middle of a module,
// and a rebased DLL with fixups across a window's and a span's end.
TEST_F(MemoryScannerTest, SpanReadsFindCountAndShowWhatWindowReadsDo) {
  constexpr std::size_t kSpanEnd = detect::MemoryScanner::kSpanSize;  // also window 15's end
  constexpr std::size_t kStep =
      detect::MemoryScanner::kWindowSize - detect::MemoryScanner::kWindowOverlap;
  struct Case {
    const char* name;
    std::function<std::vector<FakeProcess>()> processes;
    int found;
    bool fewerReads = true;  // the point of spans
  };
  const auto withSignatures = [](std::uint32_t size, std::vector<std::size_t> offsets) {
    Bytes image = Image(size);
    for (std::size_t offset : offsets) Plant(image, offset, kSignatureA);
    return image;
  };
  const auto rebased = [&](std::uint64_t base, std::uint32_t tableOffset) {
    return MakeDll(false, base, 0x10000000, tableOffset, 0x180000);
  };
  const RebasedDll acrossSpan = rebased(0x00A40000, static_cast<std::uint32_t>(kSpanEnd - 12));
  const RebasedDll acrossWindow =
      rebased(0x01A40000, static_cast<std::uint32_t>(3 * kStep + 65536 - 12));
  // Both tables hold the same addresses: one signature finds both.
  qrt_test::RecordingHandler table(u"Table", MemorySignature(acrossSpan.signature));
  table.journal = &journal;
  const Case cases[] = {
      {"signatures across window and span ends",
       [&] {
         return std::vector{
             Process(10,
                     {Module(u"C:\\a.exe", 0x400000, withSignatures(0x200000, {kSpanEnd - 20}))}),
             Process(20,
                     {Module(u"C:\\b.exe", 0x400000, withSignatures(0x1F0000, {0x1F0000 - 40}))})};
       },
       2},
      {"an unreadable page in the second span ends the module there",
       [&] {
         FakeModule m =
             Module(u"C:\\a.exe", 0x400000, withSignatures(0x200000, {0x80000, 0x120000}));
         m.unreadable = {{0x110000, 0x1000}};
         return std::vector{Process(10, {m})};
       },
       1},
      {"an unreadable page in the second window ends the module there",
       [&] {
         FakeModule m = Module(u"C:\\a.exe", 0x400000, withSignatures(0x200000, {0x100, 0x30000}));
         m.unreadable = {{0x10000, 0x1000}};
         return std::vector{Process(10, {m})};
       },
       1, false},  // the failed span read is one more
      {"a rebased DLL, fixups across a span end and a window end",
       [&] {
         return std::vector{Process(10, {Module(u"C:\\a.exe", 0x400000, Image(0x1000)),
                                         Module(u"C:\\s.dll", 0x00A40000, acrossSpan.image)}),
                            Process(20, {Module(u"C:\\b.exe", 0x400000, Image(0x1000)),
                                         Module(u"C:\\w.dll", 0x01A40000, acrossWindow.image)})};
       },
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    struct Outcome {
      std::vector<std::u16string> journal;
      std::int32_t infected = 0;
      std::int32_t modules = 0;
      double kilobytes = 0;
      std::u16string output;
      std::size_t reads = 0;
    };
    Outcome outcomes[2];
    for (const bool spans : {false, true}) {
      system.processTable.processes = c.processes();
      spanReads = spans;
      journal.clear();
      EXPECT_EQ(Run({&alpha, &table}), ScanResult::kDone);
      std::size_t reads = 0;
      for (const FakeProcess& p : system.processTable.processes) reads += p.reads.size();
      outcomes[spans] = {journal,
                         Stats().infectedProcesses,
                         Stats().scannedModules,
                         Stats().memoryScanKilobytes,
                         Output(),
                         reads};
    }
    EXPECT_EQ(static_cast<int>(outcomes[1].journal.size()), c.found);
    EXPECT_EQ(outcomes[1].journal, outcomes[0].journal);
    EXPECT_EQ(outcomes[1].infected, outcomes[0].infected);
    EXPECT_EQ(outcomes[1].modules, outcomes[0].modules);
    EXPECT_EQ(outcomes[1].kilobytes, outcomes[0].kilobytes);
    EXPECT_EQ(outcomes[1].output, outcomes[0].output);
    if (c.fewerReads) {
      EXPECT_LT(outcomes[1].reads, outcomes[0].reads);
    }
  }
}

// The other families' walks through the scanner itself, each with a finding.
TEST_F(MemoryScannerTest, FindsOnWindows98AndNt4) {
  // Windows 98: Tool Help names a process by its file's full path, the path
  // the check on disk opens; the module list gives the same path.
  platform::fake::SetUpWindows98(system);
  system.fileSystem.AddFile(u"C:\\WINDOWS\\EVIL.EXE", FileWith(kOnDiskSignature));
  system.processTable.processes = {
      Process(10, {Module(u"C:\\WINDOWS\\EVIL.EXE", 0x400000, Image(0x1000))})};
  lacksMemory = true;
  EXPECT_EQ(Run({&onDisk}), ScanResult::kDone);
  ASSERT_EQ(onDisk.calls.size(), 1u);
  ASSERT_EQ(onDisk.calls[0].processes.size(), 1u);
  EXPECT_EQ(onDisk.calls[0].processes[0].processId, 10u);
  EXPECT_EQ(Stats().infectedProcesses, 1);
  Release();

  // Windows NT 4: the walk through the program's own PSAPI.DLL.
  platform::fake::FakeSystem nt4;
  qrt_test::SetUpNt4WithPsapi(nt4);
  Bytes image = Image(0x2000);
  Plant(image, 0x800, kSignatureA);
  nt4.processTable.processes = {Process(8, {Module(u"C:\\WINNT\\a.exe", 0x400000, Image(0x1000))}),
                                Process(9, {Module(u"C:\\WINNT\\b.exe", 0x400000, image)})};
  target = &nt4;
  lacksMemory = false;
  EXPECT_EQ(Run(), ScanResult::kDone);
  ASSERT_EQ(alpha.calls.size(), 1u);
  EXPECT_EQ(alpha.calls[0].processId, 9u);
  EXPECT_EQ(Stats().scannedProcesses, 2);
  Release();
  target = &system;
}

TEST_F(MemoryScannerTest, AStopDuringTheCheckOnDiskHandsNothingOver) {
  system.fileSystem.AddFile(u"C:\\a.exe", FileWith(kOnDiskSignature));
  system.processTable.processes = {Process(10, {Module(u"C:\\a.exe", 0x400000, Image(0x1000))}),
                                   Process(20, {Module(u"C:\\a.exe", 0x400000, Image(0x1000))})};
  lacksMemory = true;
  stop = true;  // asked for while the first main executable is checked on disk
  EXPECT_EQ(Run({&onDisk}), ScanResult::kStoppedByUser);
  EXPECT_THAT(onDisk.calls, IsEmpty());
  EXPECT_EQ(Stats().scannedFiles, 1);
  EXPECT_EQ(Stats().scannedModules, 1);
  EXPECT_EQ(system.fileSystem.OpenHandleCount(), 0u);
  EXPECT_EQ(system.OpenProcessObjectCount(), 0u);
}

}  // namespace
