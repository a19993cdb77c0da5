// The file scanner against the fake Windows: which files and streams it reads
// and where, what it finds and hands to the handlers, the drives it chooses,
// its counts, texts and timing, and how it stops.
#include "detect/file_scanner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/fake/fake_system.h"
#include "signatures/signature.h"
#include "tests/support/pe_samples.h"
#include "tests/support/scan_context_stub.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using codes::ScanResult;
using platform::fake::FakeStream;
using qrt_test::PeSample;
using qrt_test::Planted;
using qrt_test::SampleSection;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Signature bytes: a seeded run of 40 bytes that nothing else contains.
Bytes Pattern(std::uint32_t seed) {
  Bytes bytes(40);
  std::uint32_t state = seed * 2654435761u + 12345;
  for (auto& b : bytes) {
    state = state * 1103515245u + 12345;
    b = static_cast<std::uint8_t>(state >> 16);
  }
  return bytes;
}

const Bytes kSignatureA = Pattern(1);
const Bytes kSignatureB = Pattern(2);

signatures::SignaturePair FileSignature(const Bytes& bytes) {
  return signatures::SignaturePair{{}, *signatures::CompileSignatureBytes(bytes)};
}

// A PE file with one section of `rawSize` bytes holding `signature` at
// `offset` of its raw data.
PeSample WithSignatureInSection(const Bytes& signature, std::uint32_t rawSize,
                                std::uint32_t offset) {
  PeSample sample;
  sample.sections = {SampleSection{.rawSize = rawSize, .planted = {Planted{offset, signature}}}};
  return sample;
}

void Put32(Bytes& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

class FileScannerTest : public ::testing::Test {
 protected:
  FileScannerTest() {
    system.fileSystem.drives[u'D'] = platform::fake::FakeDrive{};
    system.fileSystem.AddFolder(u"D:\\");
    alpha.journal = &journal;
    beta.journal = &journal;
  }

  void AddFile(std::u16string_view path, const Bytes& bytes) {
    system.fileSystem.AddFile(path, bytes);
  }

  // An empty drive D: again, for the next case of a table.
  void ResetFiles() {
    system.fileSystem = platform::fake::FakeFileSystem{};
    system.fileSystem.drives[u'D'] = platform::fake::FakeDrive{};
    system.fileSystem.AddFolder(u"D:\\");
  }

  ScanResult Run(scan::DriveNameList drives = {u"D:"}) {
    // The scanner unbinds what its context bound: it goes first.
    scan_.reset();
    scanner_.reset();
    context_ = std::make_unique<sys::SystemContext>(system);
    scanner_ = std::make_unique<detect::FileScanner>(*context_);
    scan_ = std::make_unique<qrt_test::ScanContextStub>(
        *context_, std::vector<scan::MalwareHandler*>{&alpha, &beta});
    scan_->stopAfterPolls = stopAfterPolls;
    scan_->stop = stop;
    return scanner_->Run(*scan_, drives);
  }

  const scan::ScanStatistics& Stats() const { return scan_->stats(); }
  // The findings the scan counted as its own.
  int Findings() const { return scan_->findings; }
  const std::u16string& Output() const { return scan_->recorder().output; }
  const std::vector<std::u16string>& StatusTexts() const { return scan_->recorder().statusTexts; }
  std::vector<std::u16string> Drives() const {
    std::vector<std::u16string> names;
    for (const auto& d : scanner_->drives()) names.push_back(d.name);
    return names;
  }
  void ExpectNothingLeftOpen() const {
    EXPECT_EQ(system.fileSystem.OpenHandleCount(), 0u);
    EXPECT_EQ(system.fileSystem.OpenSearchCount(), 0u);
  }

  platform::fake::FakeSystem system;
  qrt_test::RecordingHandler alpha{u"Alpha", FileSignature(kSignatureA)};
  qrt_test::RecordingHandler beta{u"Beta", FileSignature(kSignatureB)};
  // "Alpha path" / "Beta path" for every Remove, in order.
  std::vector<std::u16string> journal;
  std::optional<int> stopAfterPolls;
  bool stop = false;

 private:
  std::unique_ptr<sys::SystemContext> context_;
  std::unique_ptr<detect::FileScanner> scanner_;
  std::unique_ptr<qrt_test::ScanContextStub> scan_;
};

// What the reading rules find in one file, and what they never read.
TEST_F(FileScannerTest, ReadingRulesDecideWhatIsFound) {
  struct Case {
    const char* name;
    std::function<Bytes()> file;
    bool found;
  };
  const auto build = [](PeSample sample) { return [sample] { return sample.Build(); }; };
  PeSample pe32Plus = WithSignatureInSection(kSignatureA, 0x400, 0x40);
  pe32Plus.pe32Plus = true;
  PeSample largeOptionalHeader = WithSignatureInSection(kSignatureA, 0x400, 0x40);
  largeOptionalHeader.optionalHeaderSize = 224 + 64;
  PeSample cutShort = WithSignatureInSection(kSignatureA, 0x2000, 0x100);
  cutShort.fileSize = cutShort.RawPointerOf(0) + 0x400;
  // The entry point lies in a section without raw data (not searched as a
  // section) whose data pointer leads to the planted bytes.
  const auto entryWindow = [](std::uint32_t signatureAt) {
    PeSample sample;
    sample.sections = {
        SampleSection{.rawSize = 0x200, .planted = {}},
        SampleSection{.virtualSize = 0x4000, .rawSize = 0, .rawPointer = 0x1000, .planted = {}}};
    sample.entryPoint = 0x2020;  // the second section's address + 0x20
    sample.planted = {Planted{0x1020 + signatureAt, kSignatureA}};
    sample.fileSize = 0x4000;
    return sample;
  };
  PeSample entryInNoSection = WithSignatureInSection({}, 0x200, 0);
  entryInNoSection.entryPoint = 0x90000;
  entryInNoSection.planted = {Planted{0x1B0, kSignatureA}};  // between the table and the data
  PeSample hugeCount = WithSignatureInSection(kSignatureA, 0x200, 0);
  hugeCount.declaredSectionCount = 0xFFFF;
  PeSample noSections = WithSignatureInSection(kSignatureA, 0x200, 0);
  noSections.declaredSectionCount = std::uint16_t{0};
  // Headers that the first 4096 bytes read at once do not hold (whole).
  const auto headersAt = [](std::uint32_t peHeaderOffset) {
    PeSample sample = WithSignatureInSection(kSignatureA, 0x200, 0x10);
    sample.peHeaderOffset = peHeaderOffset;
    return sample;
  };
  PeSample longTable;  // 100 sections: the table runs from 0x178 to 0x1118
  longTable.sections.assign(100, SampleSection{.rawSize = 0x200, .planted = {}});
  longTable.sections.back().planted = {Planted{0x10, kSignatureA}};

  const Case cases[] = {
      {"in a small section", build(WithSignatureInSection(kSignatureA, 0x200, 0x10)), true},
      {"in the middle of a section of 40960 bytes (read whole)",
       build(WithSignatureInSection(kSignatureA, 40960, 20000)), true},
      {"at the start of a section of 40961 bytes",
       build(WithSignatureInSection(kSignatureA, 40961, 0)), true},
      {"at the end of a section of 40961 bytes",
       build(WithSignatureInSection(kSignatureA, 40961, 40961 - 40)), true},
      {"in the unread middle of a large section",
       build(WithSignatureInSection(kSignatureA, 100000, 50000)), false},
      {"across the end of the first piece",
       build(WithSignatureInSection(kSignatureA, 100000, 20480 - 20)), false},
      {"across the start of the last piece",
       build(WithSignatureInSection(kSignatureA, 100000, 100000 - 20480 - 20)), false},
      {"in a 64-bit executable", build(pe32Plus), true},
      {"after an optional header of unusual size", build(largeOptionalHeader), true},
      {"in a section that runs past the end of the file", build(cutShort), true},
      {"in the entry-point window", build(entryWindow(0)), true},
      {"at the end of the entry-point window", build(entryWindow(4096 - 40)), true},
      {"across the end of the entry-point window", build(entryWindow(4096 - 20)), false},
      {"at offset 0 when the entry point lies in no section", build(entryInNoSection), true},
      {"behind PE headers across the first 4096 bytes' end", build(headersAt(0xF80)), true},
      {"behind PE headers past the first 4096 bytes", build(headersAt(0x1800)), true},
      {"in the last of 100 sections, the table across 4096", build(longTable), true},
      {"in a file without sections", build(noSections), false},
      {"behind a section count the file cannot hold", build(hugeCount), false},
      {"in a file with MZ but no PE header",
       [] {
         Bytes bytes = WithSignatureInSection(kSignatureA, 0x200, 0).Build();
         Put32(bytes, 0x80, 0x00004551);  // "QE\0\0"
         return bytes;
       },
       false},
      {"in a file that is no executable",
       [] {
         Bytes bytes(0x400, 'x');
         std::copy(kSignatureA.begin(), kSignatureA.end(), bytes.begin() + 0x100);
         return bytes;
       },
       false},
      {"beyond a data pointer past the end of the file",
       [] {
         PeSample sample = WithSignatureInSection(kSignatureA, 0x200, 0);
         Bytes bytes = sample.Build();
         Put32(bytes, 0x178 + 20, 0xFFFFFF00);  // the section's PointerToRawData
         return bytes;
       },
       false},
      {"with an e_lfanew past the end of the file",
       [] {
         Bytes bytes = WithSignatureInSection(kSignatureA, 0x200, 0).Build();
         Put32(bytes, 60, 0xFFFFFFF0);
         return bytes;
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    system.fileSystem.AddFile(u"D:\\sample.exe", c.file());
    journal.clear();
    EXPECT_EQ(Run(), c.found ? ScanResult::kMalwareFound : ScanResult::kDone);
    if (c.found) {
      EXPECT_THAT(journal, ElementsAre(u"Alpha D:\\sample.exe"));
    } else {
      EXPECT_THAT(journal, IsEmpty());
    }
    EXPECT_EQ(Stats().scannedFiles, 1);
    EXPECT_EQ(Stats().infectedFiles, c.found ? 1 : 0);
    ExpectNothingLeftOpen();
  }
}

TEST_F(FileScannerTest, TheListedSizeInItsLow32BitsDecidesWhetherAFileIsOpened) {
  struct Case {
    std::uint64_t listedSize;
    bool scanned;
  };
  const Case cases[] = {
      {312, false}, {313, true}, {0x100000000ull + 312, false}, {0x100000000ull + 313, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.listedSize);
    system.fileSystem
        .AddFile(u"D:\\sample.exe", WithSignatureInSection(kSignatureA, 0x200, 0).Build())
        .listedSize = c.listedSize;
    journal.clear();
    Run();
    EXPECT_EQ(Stats().scannedFiles, c.scanned ? 1 : 0);
    EXPECT_EQ(journal.size(), c.scanned ? 1u : 0u);
  }
}

TEST_F(FileScannerTest, AFileShorterThanTheHeadersIsOpenedButNotFound) {
  Bytes bytes = WithSignatureInSection(kSignatureA, 0x200, 0).Build();
  bytes.resize(313);
  AddFile(u"D:\\short.exe", bytes);
  EXPECT_EQ(Run(), ScanResult::kDone);
  EXPECT_EQ(Stats().scannedFiles, 1);
  ExpectNothingLeftOpen();
}

TEST_F(FileScannerTest, AFindingGoesToItsHandlerWithTheFileClosedAndItsHeaders) {
  PeSample sample = WithSignatureInSection(kSignatureB, 0x400, 0x80);
  sample.sections.push_back(SampleSection{.rawSize = 0x200, .planted = {}});
  AddFile(u"D:\\Tools\\Infected.exe", sample.Build());
  std::size_t openDuringRemove = 99;
  beta.onRemove = [&] { openDuringRemove = system.fileSystem.OpenHandleCount(); };

  EXPECT_EQ(Run(), ScanResult::kMalwareFound);
  ASSERT_EQ(beta.calls.size(), 1u);
  const qrt_test::RemoveCall& call = beta.calls[0];
  EXPECT_EQ(call.infectedFile, u"D:\\Tools\\Infected.exe");
  EXPECT_EQ(call.kind, scan::FindingKind::FileFinding);
  EXPECT_EQ(call.processId, 0u);
  EXPECT_TRUE(call.processes.empty());
  EXPECT_FALSE(call.more);
  EXPECT_EQ(openDuringRemove, 0u);
  EXPECT_EQ(call.headers.dosHeader[0], 'M');
  EXPECT_EQ(call.headers.PeHeaderOffset(), 0x80u);
  EXPECT_EQ(call.headers.peHeaders[0], 'P');
  EXPECT_EQ(call.headers.NumberOfSections(), 2);
  ASSERT_EQ(call.headers.sections.size(), 2u);
  EXPECT_EQ(call.headers.sections[0].PointerToRawData(), sample.RawPointerOf(0));
  EXPECT_EQ(call.headers.sections[1].SizeOfRawData(), 0x200u);
  EXPECT_EQ(call.headers.AddressOfEntryPoint(), 0x1000u);
  EXPECT_THAT(alpha.calls, IsEmpty());
}

TEST_F(FileScannerTest, AFileWithTwoSignaturesIsReportedOnceForTheFirstFound) {
  // Sections are searched in table order...
  PeSample inTwoSections;
  inTwoSections.sections = {
      SampleSection{.rawSize = 0x200, .planted = {Planted{0x10, kSignatureB}}},
      SampleSection{.rawSize = 0x200, .planted = {Planted{0x10, kSignatureA}}}};
  AddFile(u"D:\\two.exe", inTwoSections.Build());
  // ...and within one read the earlier signature wins.
  PeSample inOneSection = WithSignatureInSection(kSignatureA, 0x400, 0x10);
  inOneSection.sections[0].planted.push_back(Planted{0x100, kSignatureB});
  AddFile(u"D:\\one.exe", inOneSection.Build());

  EXPECT_EQ(Run(), ScanResult::kMalwareFound);
  EXPECT_THAT(journal, ElementsAre(u"Alpha D:\\one.exe", u"Beta D:\\two.exe"));
  EXPECT_EQ(Stats().infectedFiles, 2);
  EXPECT_EQ(Findings(), 2);
}

TEST_F(FileScannerTest, WalksDepthFirstInListingOrderAndCountsWhatItMeets) {
  AddFile(u"D:\\a.exe", WithSignatureInSection(kSignatureA, 0x200, 0).Build());
  AddFile(u"D:\\Sub\\b.exe", WithSignatureInSection(kSignatureB, 0x200, 0).Build());
  AddFile(u"D:\\Sub\\Deeper\\clean.exe", PeSample{}.Build());
  AddFile(u"D:\\Sub\\Deeper\\small.txt", Bytes(100, 'x'));
  AddFile(u"D:\\z.exe", WithSignatureInSection(kSignatureA, 0x200, 0).Build());
  system.fileSystem.AddFolder(u"D:\\Empty");

  EXPECT_EQ(Run(), ScanResult::kMalwareFound);
  EXPECT_THAT(journal, ElementsAre(u"Alpha D:\\a.exe", u"Beta D:\\Sub\\b.exe", u"Alpha D:\\z.exe"));
  EXPECT_EQ(Stats().scannedDirectories, 4);  // D:\, Empty, Sub, Deeper
  EXPECT_EQ(Stats().scannedFiles, 4);        // the small text file is not opened
  EXPECT_EQ(Stats().scannedStreams, 0);
  EXPECT_EQ(Stats().infectedFiles, 3);
  EXPECT_EQ(Output(), u"\r\nScanning drive D: ...\r\n");
  ASSERT_FALSE(StatusTexts().empty());
  EXPECT_EQ(StatusTexts().back(), u"");
  ExpectNothingLeftOpen();
}

TEST_F(FileScannerTest, ACleanScanSaysSoAndCountsTheKilobytesRead) {
  // 40960 bytes of the section and 4096 at its entry point.
  AddFile(u"D:\\clean.exe", WithSignatureInSection({}, 40960, 0).Build());
  EXPECT_EQ(Run(), ScanResult::kDone);
  EXPECT_EQ(Output(), u"\r\nScanning drive D: ...\r\n\r\nNo malware found on hard drives\r\n\r\n");
  EXPECT_EQ(Stats().fileScanKilobytes, 44);
}

TEST_F(FileScannerTest, NamedStreamsAreScannedAsFilesOfTheirOwnInReverseOrder) {
  platform::fake::FakeFile& note = system.fileSystem.AddFile(u"D:\\note.txt", Bytes(10, 'n'));
  note.streams = {FakeStream{u"empty", {}},
                  FakeStream{u"one.exe", WithSignatureInSection(kSignatureA, 0x200, 0).Build()},
                  FakeStream{u"tiny", Bytes(100, 'x')},
                  FakeStream{u"two.exe", WithSignatureInSection(kSignatureB, 0x200, 0).Build()}};

  EXPECT_EQ(Run(), ScanResult::kMalwareFound);
  EXPECT_THAT(journal, ElementsAre(u"Beta D:\\note.txt:two.exe", u"Alpha D:\\note.txt:one.exe"));
  EXPECT_EQ(Stats().scannedFiles, 0);
  EXPECT_EQ(Stats().scannedStreams, 3);  // the empty stream is not listed
  EXPECT_EQ(Stats().infectedFiles, 2);
  ExpectNothingLeftOpen();
}

TEST_F(FileScannerTest, TheStreamListingNamesEachStreamAsItsPathOpensIt) {
  platform::fake::FakeFile& file = system.fileSystem.AddFile(u"D:\\f.exe", Bytes(1000, 1));
  file.streams = {FakeStream{u"a", Bytes(5, 1)}, FakeStream{u"Zone.Identifier", Bytes(26, 2)}};
  sys::SystemContext context(system);
  ASSERT_TRUE(context.streamReaderBound());
  const auto streams = detect::ListNamedStreams(system, context.streamReader(), u"D:\\f.exe");
  ASSERT_EQ(streams.size(), 2u);
  EXPECT_EQ(streams[0].name, u":Zone.Identifier");
  EXPECT_EQ(streams[0].size, 26u);
  EXPECT_EQ(streams[0].id, 4u);
  EXPECT_EQ(streams[1].name, u":a");
  EXPECT_EQ(system.fileSystem.OpenHandleCount(), 0u);

  EXPECT_THAT(detect::ListNamedStreams(system, context.streamReader(), u"D:\\missing.exe"),
              IsEmpty());
  context.streamReader().Unbind();
  EXPECT_THAT(detect::ListNamedStreams(system, context.streamReader(), u"D:\\f.exe"), IsEmpty());
}

TEST_F(FileScannerTest, WithoutTheStreamFunctionsOnlyFilesAreScanned) {
  system.missingFunctions.insert("BackupRead");
  system.fileSystem.AddFile(u"D:\\note.txt", Bytes(10, 'n')).streams = {
      FakeStream{u"one.exe", WithSignatureInSection(kSignatureA, 0x200, 0).Build()}};
  EXPECT_EQ(Run(), ScanResult::kDone);
  EXPECT_EQ(Stats().scannedStreams, 0);
}

TEST_F(FileScannerTest, TheStreamListingStopsOnADriveOnlyWhenTheSystemCannotListStreams) {
  // Many files of D: refuse their stream listing with the error of a case;
  // D:\z.txt and E:\e.txt each have a stream with a signature.
  struct Case {
    const char* name;
    std::uint32_t error;
    bool laterStreamsListed;
  };
  const Case cases[] = {
      {"access denied", platform::kErrorAccessDenied, true},
      {"sharing violation", platform::kErrorSharingViolation, true},
      {"not supported", platform::kErrorNotSupported, false},
      {"not implemented", platform::kErrorCallNotImplemented, false},
      {"invalid function", platform::kErrorInvalidFunction, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetFiles();
    system.fileSystem.drives[u'E'] = platform::fake::FakeDrive{};
    for (int i = 0; i < 20; ++i) {
      system.fileSystem.AddFile(u"D:\\f" + text::FromUtf8(std::to_string(i)), Bytes(400, 1))
          .backupReadError = c.error;
    }
    system.fileSystem.AddFile(u"D:\\z.txt", Bytes(10, 'z')).streams = {
        FakeStream{u"s.exe", WithSignatureInSection(kSignatureA, 0x200, 0).Build()}};
    system.fileSystem.AddFile(u"E:\\e.txt", Bytes(10, 'e')).streams = {
        FakeStream{u"s.exe", WithSignatureInSection(kSignatureB, 0x200, 0).Build()}};
    journal.clear();
    EXPECT_EQ(Run({u"D:", u"E:"}), ScanResult::kMalwareFound);
    if (c.laterStreamsListed) {
      EXPECT_THAT(journal, ElementsAre(u"Alpha D:\\z.txt:s.exe", u"Beta E:\\e.txt:s.exe"));
    } else {
      EXPECT_THAT(journal, ElementsAre(u"Beta E:\\e.txt:s.exe"));
    }
    EXPECT_EQ(Stats().scannedFiles, 20);
    ExpectNothingLeftOpen();
  }
}

TEST_F(FileScannerTest, ADriveListTakesLocalDrivesOnceByFirstCharacter) {
  auto& drives = system.fileSystem.drives;
  drives[u'E'] = {platform::kDriveRemote, true};
  drives[u'F'] = {platform::kDriveCdrom, true};
  drives[u'G'] = {platform::kDriveRemovable, false};
  drives[u'H'] = {platform::kDriveRamdisk, true};
  AddFile(u"D:\\readme.txt", Bytes(10, 'r'));
  AddFile(u"F:\\setup.exe", WithSignatureInSection(kSignatureA, 0x200, 0).Build());

  EXPECT_EQ(Run({u"D:", u"D:", u"d:", u"E:", u"F:", u"G:", u"H:", u"X:"}),
            ScanResult::kMalwareFound);
  EXPECT_THAT(Drives(), ElementsAre(u"D:", u"d:", u"F:", u"G:"));
  EXPECT_THAT(journal, ElementsAre(u"Alpha F:\\setup.exe"));
  EXPECT_EQ(Output(),
            u"\r\nScanning drive D: ...\r\n\r\nScanning drive d: ...\r\n"
            u"\r\nScanning drive F: ...\r\n\r\nScanning drive G: ...\r\n"
            u"no media found in drive G:\r\n");
}

TEST_F(FileScannerTest, WithoutADriveListEveryFixedDriveIsScanned) {
  system.fileSystem.drives[u'E'] = {platform::kDriveCdrom, true};
  system.fileSystem.drives[u'K'] = {platform::kDriveFixed, true};
  system.fileSystem.AddFolder(u"K:\\");
  EXPECT_EQ(Run({}), ScanResult::kDone);
  EXPECT_THAT(Drives(), ElementsAre(u"C:", u"D:", u"K:"));

  system.fileSystem.driveStringsFail = true;
  EXPECT_EQ(Run({}), ScanResult::kNoDrivesFound);
  EXPECT_EQ(Output(), u"");
}

TEST_F(FileScannerTest, AStopRequestEndsTheScanWhereverItIsMet) {
  for (int i = 0; i < 3; ++i) {
    const std::u16string folder = u"D:\\F" + std::u16string(1, u'0' + i);
    for (int j = 0; j < 4; ++j) {
      AddFile(folder + u"\\Inner\\file" + std::u16string(1, u'0' + j) + u".exe",
              PeSample{}.Build());
    }
  }
  Run();
  const scan::ScanStatistics full = Stats();
  ASSERT_EQ(full.scannedFiles, 12);

  stop = true;
  EXPECT_EQ(Run(), ScanResult::kStoppedByUser);
  EXPECT_EQ(Output(), u"");
  stop = false;

  scan::ScanStatistics previous{};
  for (int polls : {1, 4, 10, 25, 50, 80}) {
    SCOPED_TRACE(polls);
    stopAfterPolls = polls;
    EXPECT_EQ(Run(), ScanResult::kStoppedByUser);
    EXPECT_LE(previous.scannedDirectories, Stats().scannedDirectories);
    EXPECT_LE(previous.scannedFiles, Stats().scannedFiles);
    EXPECT_LE(Stats().scannedFiles, full.scannedFiles);
    EXPECT_LT(Stats().scannedFiles + Stats().scannedDirectories,
              full.scannedFiles + full.scannedDirectories);
    EXPECT_EQ(StatusTexts().back(), u"");
    ExpectNothingLeftOpen();
    previous = Stats();
  }
  EXPECT_GT(previous.scannedFiles, 0);
}

TEST_F(FileScannerTest, FloppyDrivesAreNotTimed) {
  system.tickStep = 7;
  system.fileSystem.drives[u'A'] = {platform::kDriveRemovable, true};
  system.fileSystem.AddFolder(u"A:\\");
  AddFile(u"A:\\disk.exe", WithSignatureInSection({}, 4096, 0).Build());
  AddFile(u"D:\\disk.exe", WithSignatureInSection({}, 4096, 0).Build());

  Run({u"a:"});
  EXPECT_EQ(Stats().fileScanTime, 0);
  EXPECT_EQ(Stats().fileScanKilobytes, 8);
  Run({u"D:"});
  EXPECT_GT(Stats().fileScanTime, 0);
}

TEST_F(FileScannerTest, TheStatusTextShowsAFileAtMostEvery50Milliseconds) {
  AddFile(u"D:\\1.exe", PeSample{}.Build());
  AddFile(u"D:\\2.exe", PeSample{}.Build());
  AddFile(u"D:\\3.exe", PeSample{}.Build());
  Run();
  EXPECT_THAT(StatusTexts(), ElementsAre(u"D:\\1.exe", u""));
  system.tickStep = 50;  // every clock reading is 50 ms after the one before
  Run();
  EXPECT_THAT(StatusTexts(), ElementsAre(u"D:\\1.exe", u"D:\\2.exe", u"D:\\3.exe", u""));
}

TEST_F(FileScannerTest, JunctionsAndMountPointsAreWalkedButNoFolderTwiceOnADrive) {
  const Bytes infectedA = WithSignatureInSection(kSignatureA, 0x200, 0).Build();
  const Bytes infectedB = WithSignatureInSection(kSignatureB, 0x200, 0).Build();
  struct Case {
    const char* name;
    std::function<void(platform::fake::FakeFileSystem&)> plant;
    std::vector<std::u16string> found;
    int directories;
  };
  const Case cases[] = {
      {"a volume without a letter, mounted in a folder",
       [&](auto& files) {
         files.drives[u'V'] = platform::fake::FakeDrive{platform::kDriveFixed, true, false};
         files.AddFile(u"V:\\Tools\\v.exe", infectedA);
         files.AddMountPoint(u"D:\\Mount", u'V');
       },
       {u"Alpha D:\\Mount\\Tools\\v.exe"},
       3},
      {"a junction to a drive outside the drive list",
       [&](auto& files) {
         files.drives[u'E'] = platform::fake::FakeDrive{};
         files.AddFile(u"E:\\Data\\e.exe", infectedA);
         files.AddJunction(u"D:\\ToE", u"E:\\Data");
       },
       {u"Alpha D:\\ToE\\e.exe"},
       2},
      {"a junction to its own parent",
       [&](auto& files) {
         files.AddFile(u"D:\\Data\\a.exe", infectedA);
         files.AddJunction(u"D:\\Data\\Loop", u"D:\\Data");
       },
       {u"Alpha D:\\Data\\a.exe"},
       2},
      {"a junction to the drive's root and one to a folder walked before",
       [&](auto& files) {
         files.AddFile(u"D:\\Data\\a.exe", infectedA);
         files.AddJunction(u"D:\\Data\\Loop", u"D:\\");
         files.AddJunction(u"D:\\Link", u"D:\\Data");
       },
       {u"Alpha D:\\Data\\a.exe"},
       2},
      {"two junctions that lead to each other's folder",
       [&](auto& files) {
         files.AddFile(u"D:\\A\\a.exe", infectedA);
         files.AddFile(u"D:\\B\\b.exe", infectedB);
         files.AddJunction(u"D:\\A\\ToB", u"D:\\B");
         files.AddJunction(u"D:\\B\\ToA", u"D:\\A");
       },
       // D:\B itself was walked as D:\A\ToB.
       {u"Alpha D:\\A\\a.exe", u"Beta D:\\A\\ToB\\b.exe"},
       3},
      {"a hundred folders, each with a junction back to the root",
       [&](auto& files) {
         for (int i = 0; i < 100; ++i) {
           const std::u16string folder = u"D:\\F" + text::FromAscii(std::to_string(i));
           files.AddFolder(folder);
           files.AddJunction(folder + u"\\Back", u"D:\\");
         }
         files.AddFile(u"D:\\F99\\a.exe", infectedA);
       },
       {u"Alpha D:\\F99\\a.exe"},
       101},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetFiles();
    c.plant(system.fileSystem);
    journal.clear();
    EXPECT_EQ(Run(), ScanResult::kMalwareFound);
    EXPECT_EQ(journal, c.found);
    EXPECT_EQ(Stats().scannedDirectories, c.directories);
    EXPECT_EQ(Stats().infectedFiles, static_cast<int>(c.found.size()));
    ExpectNothingLeftOpen();
  }
}

TEST_F(FileScannerTest, DeepPathsAreScannedOnNtAndNamedAsNotScannedOn9x) {
  const Bytes infectedA = WithSignatureInSection(kSignatureA, 0x200, 0).Build();
  const Bytes infectedB = WithSignatureInSection(kSignatureB, 0x200, 0).Build();
  // A folder whose search pattern is longer than 259 characters (304 and 308).
  const std::u16string deepFolder =
      u"D:\\" + std::u16string(200, u'f') + u"\\" + std::u16string(100, u'g');
  const std::u16string inDeepFolder = deepFolder + u"\\x.exe";
  // Files of 259 and 260 characters, and a stream path of 263.
  const std::u16string folder = u"D:\\" + std::u16string(240, u'h');
  const std::u16string fits = folder + u"\\" + std::u16string(11, u'n') + u".exe";
  const std::u16string tooLong = folder + u"\\" + std::u16string(12, u'n') + u".exe";
  const std::u16string stream = folder + u"\\note.txt:stream.exe";
  const std::u16string longForm = u"\\\\?\\";
  const auto notScanned = [](const std::u16string& path) {
    return u"Not scanned, path too long: " + path + u"\r\n";
  };
  struct Case {
    const char* name;
    bool ninetyEight;
    std::vector<std::u16string> found;
    int directories;
    int files;
    std::u16string notes;
  };
  const Case cases[] = {
      {"NT: walked and opened behind \\\\?\\",
       false,
       {u"Alpha " + longForm + inDeepFolder, u"Alpha " + fits, u"Beta " + longForm + tooLong,
        u"Beta " + longForm + stream},
       4,
       3,
       u""},
      {"9x: named as not scanned",
       true,
       {u"Alpha " + fits},
       3,
       1,
       notScanned(deepFolder) + notScanned(tooLong)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetFiles();
    if (c.ninetyEight) {
      platform::fake::SetUpWindows98(system);
      system.missingFunctions.insert("BackupRead");  // no streams there
    }
    AddFile(inDeepFolder, infectedA);
    AddFile(fits, infectedA);
    AddFile(tooLong, infectedB);
    system.fileSystem.AddFile(folder + u"\\note.txt", Bytes(10, 'n')).streams = {
        FakeStream{u"stream.exe", infectedB}};
    journal.clear();
    EXPECT_EQ(Run(), ScanResult::kMalwareFound);
    EXPECT_EQ(journal, c.found);
    EXPECT_EQ(Stats().scannedDirectories, c.directories);
    EXPECT_EQ(Stats().scannedFiles, c.files);
    EXPECT_EQ(Output(), u"\r\nScanning drive D: ...\r\n" + c.notes);
    // What a handler receives is a path the system opens.
    for (const std::u16string& found : journal) {
      const std::u16string path = found.substr(found.find(u' ') + 1);
      const auto opened = system.files().CreateFileWide(path, platform::kGenericRead, 0,
                                                        platform::kOpenExisting, 0);
      EXPECT_NE(opened.handle, 0u) << text::ToUtf8(path);
      if (opened.handle != 0) system.runtime().CloseHandle(opened.handle);
    }
    ExpectNothingLeftOpen();
  }
}

TEST_F(FileScannerTest, AFolderThatCannotBeListedIsPassedOver) {
  AddFile(u"D:\\Locked\\a.exe", WithSignatureInSection(kSignatureA, 0x200, 0).Build());
  AddFile(u"D:\\Open\\b.exe", WithSignatureInSection(kSignatureB, 0x200, 0).Build());
  system.fileSystem.RefuseListing(u"D:\\Locked");
  EXPECT_EQ(Run(), ScanResult::kMalwareFound);
  EXPECT_THAT(journal, ElementsAre(u"Beta D:\\Open\\b.exe"));
  EXPECT_EQ(Stats().scannedDirectories, 2);
  EXPECT_EQ(Output(), u"\r\nScanning drive D: ...\r\n");
}

}  // namespace
