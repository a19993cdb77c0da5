// The file scanner over the real file system: sample trees are written to
// drives Q: and P:, scanned through the Win32 backend, and built once more
// from the same table in the fake platform, whose scan must see the same.
//
// Runs only in the prefix that run-scan-prefix.sh makes: no Z: (the host's
// file system), Q:, P: and O: mapped to empty folders of their own, R:
// unmapped.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "detect/file_scanner.h"
#include "platform/fake/fake_system.h"
#include "platform/win32/win32_system.h"
#include "system/system_context.h"
#include "tests/support/pe_samples.h"
#include "tests/support/scan_context_stub.h"
#include "tests/support/signature_samples.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using codes::ScanResult;
using qrt_test::PeSample;
using qrt_test::Planted;
using qrt_test::SampleSection;

// --- The samples ------------------------------------------------------------

// Handler A's file signature exists only as a record, as the built-in
// handlers' do: its bytes are forged. Handler B's is compiled from chosen
// bytes, as the description script's are.
const signatures::CompiledSignature kRecordA{
    {0x51, 0x52, 0x54, 0x5A, 0x41}, 0xC3E9, 64, 37, 0x5EA1ED0A};

Bytes SignatureA() { return qrt_test::ForgeSignature(kRecordA, 0x90).value(); }

Bytes SignatureB() {
  const std::string text = "QRT file scan sample B: not a program, only a marker.";
  return Bytes(text.begin(), text.end());
}

signatures::CompiledSignature RecordB() {
  return signatures::CompileSignatureBytes(SignatureB()).value();
}

// One file of a sample tree: its path below the drive's root, its bytes, and
// the handler that must find it (empty: none).
struct SampleFile {
  std::u16string path;
  Bytes bytes;
  std::u16string foundBy;
};

struct SampleTree {
  // Every folder below the root, parents first; empty ones too.
  std::vector<std::u16string> folders;
  std::vector<SampleFile> files;
};

// A section over 40960 bytes is read at its first and last 20480 bytes;
// kMiddle lies in neither piece.
constexpr std::uint32_t kLargeSection = 0x18000;
constexpr std::uint32_t kMiddle = 0xC000;
// The first section's virtual address as PeSample lays it out.
constexpr std::uint32_t kFirstSectionAddress = 0x1000;

PeSample LargeSection(bool pe32Plus, std::uint32_t plantAt, const Bytes& signature) {
  PeSample sample;
  sample.pe32Plus = pe32Plus;
  sample.sections = {SampleSection{.rawSize = kLargeSection, .planted = {{plantAt, signature}}}};
  return sample;
}

// Headers (e_lfanew 0x40, a 64-byte optional header) and one section of 120
// bytes holding `signature`, all within the first 312 bytes; the file is cut
// or padded to `size`.
PeSample Small(std::uint64_t size, const Bytes& signature) {
  PeSample sample;
  sample.peHeaderOffset = 0x40;
  sample.optionalHeaderSize = 64;
  sample.sections = {SampleSection{.rawSize = 120, .rawPointer = 192, .planted = {{0, signature}}}};
  sample.fileSize = size;
  return sample;
}

SampleTree InfectedTree() {
  const Bytes a = SignatureA();
  const Bytes b = SignatureB();

  PeSample sections32;
  sections32.sections = {SampleSection{}, SampleSection{.rawSize = 0x400, .planted = {{0x80, a}}}};
  PeSample sections64;
  sections64.pe32Plus = true;
  sections64.sections = {SampleSection{.rawSize = 0x800, .planted = {{0x100, b}}}};
  // The entry point in the unread middle of a large section: its window
  // finds what the section's pieces missed.
  PeSample entry64 = LargeSection(true, kMiddle + 0x20, a);
  entry64.entryPoint = kFirstSectionAddress + kMiddle;
  PeSample tail32 = LargeSection(false, kLargeSection - static_cast<std::uint32_t>(b.size()), b);

  Bytes notes(1024, 'n');
  std::copy(a.begin(), a.end(), notes.begin() + 0x100);

  return SampleTree{{u"\\Bin", u"\\Bin\\Deep", u"\\Bin\\Deep\\Er", u"\\Docs", u"\\Empty"},
                    {
                        {u"\\Sections32.exe", sections32.Build(), u"A"},
                        {u"\\Bin\\Sections64.exe", sections64.Build(), u"B"},
                        {u"\\Bin\\Deep\\Er\\Entry64.exe", entry64.Build(), u"A"},
                        {u"\\Bin\\Middle32.exe", LargeSection(false, kMiddle, a).Build(), u""},
                        {u"\\Bin\\Deep\\Tail32.exe", tail32.Build(), u"B"},
                        // No executable: opened, never searched.
                        {u"\\Docs\\notes.txt", notes, u""},
                        // Found if it were opened, as its twin of 313 bytes is.
                        {u"\\Docs\\Tiny312.exe", Small(312, b).Build(), u""},
                        {u"\\Docs\\Tiny313.exe", Small(313, b).Build(), u"B"},
                    }};
}

SampleTree CleanTree() {
  PeSample clean64;
  clean64.pe32Plus = true;
  clean64.sections = {SampleSection{}, SampleSection{.rawSize = 0x600, .planted = {}}};
  return SampleTree{{u"\\Sub"},
                    {
                        {u"\\Clean64.exe", clean64.Build(), u""},
                        {u"\\Sub\\Clean32.exe", PeSample{}.Build(), u""},
                        {u"\\Sub\\readme.txt", Bytes(700, 'r'), u""},
                    }};
}

// Folders one in the other, their paths from 108 to 411 characters, with a
// file on each side of the 259 characters that the system takes as they are.
SampleTree DeepTree() {
  const std::u16string a = u"\\Deep\\" + std::u16string(100, u'a');
  const std::u16string b = a + u"\\" + std::u16string(100, u'b');
  const std::u16string c = b + u"\\" + std::u16string(100, u'c');
  const std::u16string d = c + u"\\" + std::u16string(100, u'd');
  PeSample infectedA;
  infectedA.sections = {SampleSection{.rawSize = 0x400, .planted = {{0x40, SignatureA()}}}};
  PeSample infectedB;
  infectedB.sections = {SampleSection{.rawSize = 0x400, .planted = {{0x40, SignatureB()}}}};
  return SampleTree{{u"\\Deep", a, b, c, d},
                    {
                        {a + u"\\Near.exe", infectedA.Build(), u"A"},
                        {b + u"\\" + std::u16string(60, u'x') + u".exe", infectedB.Build(), u"B"},
                        {c + u"\\Infected.exe", infectedA.Build(), u"A"},
                        {d + u"\\Clean.exe", PeSample{}.Build(), u""},
                    }};
}

// --- Scanning ---------------------------------------------------------------

// What a scan gave, beside its time.
struct Outcome {
  ScanResult result = ScanResult::kDone;
  std::vector<std::u16string> drives;
  std::u16string output;
  std::int32_t directories = 0;
  std::int32_t files = 0;
  std::int32_t streams = 0;
  std::int32_t infected = 0;
  double kilobytes = 0;
  // (path, handler) of every Remove call, sorted.
  std::vector<std::pair<std::u16string, std::u16string>> found;

  friend bool operator==(const Outcome&, const Outcome&) = default;
};

void PrintTo(const Outcome& o, std::ostream* out) {
  *out << "result " << codes::ToInt(o.result) << ", " << o.directories << " directories, "
       << o.files << " files, " << o.streams << " streams, " << o.infected << " infected, "
       << o.kilobytes << " KB, drives " << ::testing::PrintToString(o.drives) << ", output "
       << ::testing::PrintToString(o.output) << ", found " << ::testing::PrintToString(o.found);
}

Outcome Scan(platform::System& system, const std::vector<std::u16string>& drives) {
  sys::SystemContext systemContext(system);
  qrt_test::RecordingHandler a(u"A", signatures::SignaturePair{{}, kRecordA});
  qrt_test::RecordingHandler b(u"B", signatures::SignaturePair{{}, RecordB()});
  qrt_test::ScanContextStub context(systemContext, {&a, &b});
  detect::FileScanner scanner(systemContext);

  Outcome o;
  o.result = scanner.Run(context, scan::DriveNameList(drives.begin(), drives.end()));
  for (const detect::DriveEntry& drive : scanner.drives()) o.drives.push_back(drive.name);
  o.output = context.recorder().output;
  const scan::ScanStatistics& stats = context.stats();
  o.directories = stats.scannedDirectories;
  o.files = stats.scannedFiles;
  o.streams = stats.scannedStreams;
  o.infected = stats.infectedFiles;
  o.kilobytes = stats.fileScanKilobytes;
  for (const qrt_test::RecordingHandler* handler : {&a, &b}) {
    for (const qrt_test::RemoveCall& call : handler->calls) {
      o.found.emplace_back(call.infectedFile.value_or(u"(no path)"), handler->BaseName());
    }
  }
  std::sort(o.found.begin(), o.found.end());
  return o;
}

// The same tree as drive `letter` of a fake Windows, scanned there.
Outcome ScanFake(char16_t letter, const SampleTree& tree,
                 const std::vector<std::u16string>& drives) {
  platform::fake::FakeSystem fake;
  const std::u16string root{letter, u':'};
  fake.fileSystem.drives[letter] = platform::fake::FakeDrive{};
  fake.fileSystem.AddFolder(root + u"\\");
  for (const std::u16string& folder : tree.folders) fake.fileSystem.AddFolder(root + folder);
  for (const SampleFile& file : tree.files) fake.fileSystem.AddFile(root + file.path, file.bytes);
  return Scan(fake, drives);
}

Outcome ScanReal(const std::vector<std::u16string>& drives) {
  const std::unique_ptr<platform::System> system = platform::win32::CreateSystem();
  return Scan(*system, drives);
}

// The findings of `tree` on `drive`, each path as the scanner gives it: one
// longer than 259 characters in its "\\?\" form.
std::vector<std::pair<std::u16string, std::u16string>> ExpectedFindings(const std::u16string& drive,
                                                                        const SampleTree& tree) {
  std::vector<std::pair<std::u16string, std::u16string>> found;
  for (const SampleFile& file : tree.files) {
    if (file.foundBy.empty()) continue;
    const std::u16string path = drive + file.path;
    found.emplace_back(path.size() > 259 ? u"\\\\?\\" + path : path, file.foundBy);
  }
  std::sort(found.begin(), found.end());
  return found;
}

const wchar_t* Wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// Writes `tree` below the root of `drive` ("Q:") with the plain API, every
// path in its "\\?\" form, which takes long ones too.
void WriteTree(const std::u16string& drive, const SampleTree& tree) {
  const std::u16string root = u"\\\\?\\" + drive;
  for (const std::u16string& folder : tree.folders) {
    const std::u16string path = root + folder;
    ASSERT_TRUE(::CreateDirectoryW(Wide(path), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS)
        << ::testing::PrintToString(path);
  }
  for (const SampleFile& file : tree.files) {
    const std::u16string path = root + file.path;
    HANDLE h = ::CreateFileW(Wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << ::testing::PrintToString(path);
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(h, file.bytes.data(), static_cast<DWORD>(file.bytes.size()), &written, nullptr);
    ::CloseHandle(h);
    ASSERT_TRUE(ok && written == file.bytes.size()) << ::testing::PrintToString(path);
  }
}

class FileScanWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The scanner must see nothing of the host: refuse any other prefix.
    ASSERT_EQ(::GetDriveTypeW(L"Z:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR))
        << "Z: maps the host's file system; run this program through run-scan-prefix.sh";
    ASSERT_EQ(::GetDriveTypeW(L"Q:\\"), static_cast<UINT>(DRIVE_FIXED));
    ASSERT_EQ(::GetDriveTypeW(L"P:\\"), static_cast<UINT>(DRIVE_FIXED));
    ASSERT_EQ(::GetDriveTypeW(L"O:\\"), static_cast<UINT>(DRIVE_FIXED));
    ASSERT_EQ(::GetDriveTypeW(L"R:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
  }
};

TEST_F(FileScanWineTest, FindsThePlantedSamplesAsTheFakeDoes) {
  const SampleTree tree = InfectedTree();
  ASSERT_NO_FATAL_FAILURE(WriteTree(u"Q:", tree));

  const Outcome real = ScanReal({u"Q:"});
  EXPECT_EQ(real.result, ScanResult::kMalwareFound);
  EXPECT_EQ(real.found, ExpectedFindings(u"Q:", tree));
  EXPECT_EQ(real.drives, std::vector<std::u16string>{u"Q:"});
  EXPECT_EQ(real.output, u"\r\nScanning drive Q: ...\r\n");
  EXPECT_EQ(real.directories, 6);  // the root and five folders, the empty one too
  EXPECT_EQ(real.files, 7);        // all but the file of 312 bytes
  EXPECT_EQ(real.streams, 0);      // Wine's BackupRead fails: no streams are listed
  EXPECT_EQ(real.infected, 5);
  EXPECT_GT(real.kilobytes, 0);

  EXPECT_EQ(ScanFake(u'Q', tree, {u"Q:"}), real);
}

TEST_F(FileScanWineTest, SkipsAnUnmappedLetterAndFindsNothingOnACleanDrive) {
  const SampleTree tree = CleanTree();
  ASSERT_NO_FATAL_FAILURE(WriteTree(u"P:", tree));

  const Outcome real = ScanReal({u"R:", u"P:"});
  EXPECT_EQ(real.result, ScanResult::kDone);
  EXPECT_EQ(real.drives, std::vector<std::u16string>{u"P:"});
  EXPECT_EQ(real.output,
            u"\r\nScanning drive P: ...\r\n\r\nNo malware found on hard drives\r\n\r\n");
  EXPECT_TRUE(real.found.empty());
  EXPECT_EQ(real.directories, 2);
  EXPECT_EQ(real.files, 3);
  EXPECT_EQ(real.infected, 0);

  EXPECT_EQ(ScanFake(u'P', tree, {u"R:", u"P:"}), real);
}

TEST_F(FileScanWineTest, ScansATreeDeeperThan259CharactersWholeAsTheFakeDoes) {
  const SampleTree tree = DeepTree();
  ASSERT_NO_FATAL_FAILURE(WriteTree(u"O:", tree));

  const Outcome real = ScanReal({u"O:"});
  EXPECT_EQ(real.result, ScanResult::kMalwareFound);
  EXPECT_EQ(real.found, ExpectedFindings(u"O:", tree));
  EXPECT_EQ(real.output, u"\r\nScanning drive O: ...\r\n");
  EXPECT_EQ(real.directories, 6);  // the root and the five folders
  EXPECT_EQ(real.files, 4);
  EXPECT_EQ(real.infected, 3);

  EXPECT_EQ(ScanFake(u'O', tree, {u"O:"}), real);
}

// The walk's loop guard rests on this: a folder opened without access, with
// backup semantics, gives one identity however its path is spelt, and
// another folder another.
TEST_F(FileScanWineTest, TheBackendIdentifiesFoldersByVolumeAndFileIndex) {
  ASSERT_TRUE(::CreateDirectoryW(L"C:\\qrt-identity", nullptr));
  ASSERT_TRUE(::CreateDirectoryW(L"C:\\qrt-identity\\One", nullptr));
  ASSERT_TRUE(::CreateDirectoryW(L"C:\\qrt-identity\\Two", nullptr));
  const std::unique_ptr<platform::System> system = platform::win32::CreateSystem();
  platform::Files& files = system->files();
  const auto identify = [&](std::u16string_view path) -> std::optional<platform::FileIdentity> {
    const platform::FileOpenResult opened = files.CreateFileWide(
        path, 0, platform::kFileShareRead | platform::kFileShareWrite | platform::kFileShareDelete,
        platform::kOpenExisting, platform::kFileFlagBackupSemantics);
    if (opened.handle == 0) return std::nullopt;
    const auto identity = files.GetFileInformationByHandle(opened.handle);
    system->runtime().CloseHandle(opened.handle);
    return identity;
  };
  const auto one = identify(u"C:\\qrt-identity\\One");
  ASSERT_TRUE(one);
  EXPECT_EQ(identify(u"c:\\QRT-IDENTITY\\one"), one);
  EXPECT_EQ(identify(u"\\\\?\\C:\\qrt-identity\\One"), one);
  const auto two = identify(u"C:\\qrt-identity\\Two");
  ASSERT_TRUE(two);
  EXPECT_NE(two, one);
  EXPECT_EQ(two->volumeSerialNumber, one->volumeSerialNumber);
  EXPECT_FALSE(identify(u"C:\\qrt-identity\\Three"));
}

}  // namespace
