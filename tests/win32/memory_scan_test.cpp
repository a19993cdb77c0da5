// The memory scanner over real processes: host programs of our own load the
// sample DLL (memory_samples/) at its preferred base or, with that address
// taken beforehand, wherever the loader puts it; the scanner reads them
// through the Win32 backend like every other process of the prefix. A second
// host carries a FILE signature only, for the check of main executables on
// disk. The signatures are the samples' marker sections as their files hold
// them.
//
// Runs only in the prefix that run-scan-prefix.sh makes, with the samples
// copied beside this program: no Z: (the host's file system), and the
// processes are those of the prefix's own wineserver.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After <windows.h>, which it needs.
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "detect/memory_scanner.h"
#include "platform/win32/win32_system.h"
#include "sample_files.h"
#include "system/system_context.h"
#include "tests/support/scan_context_stub.h"
#include "tests/win32/sample_host.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using codes::ScanResult;

// --- The samples ------------------------------------------------------------

std::u16string ToU16(const std::wstring& s) { return {s.begin(), s.end()}; }

std::u16string Lower(std::u16string s) {
  for (char16_t& c : s) c = static_cast<char16_t>(std::towlower(c));
  return s;
}

using qrt_test::Folder;
using qrt_test::ReadWholeFile;

std::wstring HostProgram() { return Folder() + L"qrt_mem_host.exe"; }
std::wstring FileHostProgram() { return Folder() + L"qrt_file_sample_host.exe"; }
// Two copies of the sample DLL: a DLL is read once per path and scan.
std::wstring PreferredDll() { return Folder() + L"qrt_mem_preferred.dll"; }
std::wstring RebasedDll() { return Folder() + L"qrt_mem_rebased.dll"; }

// A section of a PE32+ file as the file holds it, and the file's preferred
// image base.
struct FileSection {
  std::uint64_t imageBase = 0;
  // Where the section starts in the image, from the image's start.
  std::uint32_t virtualAddress = 0;
  // The section's raw data up to its last byte that is not 0: without the
  // zeros that the linker pads it with.
  Bytes bytes;
};

std::optional<FileSection> ReadSection(const std::wstring& path, const char* name) {
  const std::optional<Bytes> file = ReadWholeFile(path);
  if (!file || file->size() < sizeof(IMAGE_DOS_HEADER)) return std::nullopt;
  IMAGE_DOS_HEADER dos{};
  std::memcpy(&dos, file->data(), sizeof dos);
  IMAGE_NT_HEADERS64 nt{};
  const auto ntAt = static_cast<std::size_t>(dos.e_lfanew);
  if (ntAt + sizeof nt > file->size()) return std::nullopt;
  std::memcpy(&nt, file->data() + ntAt, sizeof nt);
  if (nt.Signature != IMAGE_NT_SIGNATURE ||
      nt.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    return std::nullopt;
  }
  std::size_t at =
      ntAt + offsetof(IMAGE_NT_HEADERS64, OptionalHeader) + nt.FileHeader.SizeOfOptionalHeader;
  for (unsigned i = 0; i < nt.FileHeader.NumberOfSections; ++i, at += IMAGE_SIZEOF_SECTION_HEADER) {
    IMAGE_SECTION_HEADER section{};
    if (at + sizeof section > file->size()) return std::nullopt;
    std::memcpy(&section, file->data() + at, sizeof section);
    if (std::strncmp(reinterpret_cast<const char*>(section.Name), name, IMAGE_SIZEOF_SHORT_NAME)) {
      continue;
    }
    const std::size_t size = section.Misc.VirtualSize;
    if (size > section.SizeOfRawData || section.PointerToRawData + size > file->size()) {
      return std::nullopt;
    }
    Bytes bytes(file->begin() + section.PointerToRawData,
                file->begin() + section.PointerToRawData + size);
    while (!bytes.empty() && bytes.back() == 0) bytes.pop_back();
    return FileSection{nt.OptionalHeader.ImageBase, section.VirtualAddress, std::move(bytes)};
  }
  return std::nullopt;
}

// The signatures as the sample files hold them, and the two copies of the
// DLL; made once.
struct Samples {
  // The sample DLL's table with its markers: in memory only at the
  // preferred base or where the scanner has put the table back.
  std::optional<signatures::CompiledSignature> memory;
  std::uint64_t preferredBase = 0;
  // The marker bytes of the second host's file.
  std::optional<signatures::CompiledSignature> file;
  // 32 bytes of the sample DLL's image at 0xFD00, inside the 1 KB that its
  // first two memory windows share.
  std::optional<signatures::CompiledSignature> overlap;
  bool copied = false;
};

// Where the scanner's first two windows of a module overlap, and the
// signature's length there.
constexpr std::uint32_t kOverlapSignatureAt = 0xFD00;
constexpr std::size_t kOverlapSignatureLength = 32;

const Samples& TheSamples() {
  static const Samples samples = [] {
    Samples s;
    const std::wstring dll = Folder() + L"qrt_mem_sample.dll";
    if (const auto table = ReadSection(dll, ".qrtmem")) {
      s.memory = signatures::CompileSignatureBytes(table->bytes);
      s.preferredBase = table->imageBase;
    }
    if (const auto fill = ReadSection(dll, ".qrtbig")) {
      if (fill->virtualAddress <= kOverlapSignatureAt &&
          kOverlapSignatureAt - fill->virtualAddress + kOverlapSignatureLength <=
              fill->bytes.size()) {
        const auto at = fill->bytes.begin() + (kOverlapSignatureAt - fill->virtualAddress);
        s.overlap = signatures::CompileSignatureBytes(
            Bytes(at, at + static_cast<std::ptrdiff_t>(kOverlapSignatureLength)));
      }
    }
    if (const auto marker = ReadSection(FileHostProgram(), ".qrtfile")) {
      s.file = signatures::CompileSignatureBytes(marker->bytes);
    }
    s.copied = ::CopyFileW(dll.c_str(), PreferredDll().c_str(), FALSE) &&
               ::CopyFileW(dll.c_str(), RebasedDll().c_str(), FALSE);
    return s;
  }();
  return samples;
}

signatures::SignaturePair MemoryOnly() { return {*TheSamples().memory, {}}; }
signatures::SignaturePair FileOnly() { return {{}, *TheSamples().file}; }

// --- Hosts ------------------------------------------------------------------

using win32_test::Host;

// Where process `id` has the module at `path` loaded, by Tool Help; 0 where
// it has not.
std::uint64_t ModuleBase(std::uint32_t id, const std::wstring& path) {
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  std::uint64_t base = 0;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Module32FirstW(snapshot, &entry); more && base == 0;
       more = ::Module32NextW(snapshot, &entry)) {
    if (::lstrcmpiW(entry.szExePath, path.c_str()) == 0) {
      base = reinterpret_cast<std::uintptr_t>(entry.modBaseAddr);
    }
  }
  ::CloseHandle(snapshot);
  return base;
}

// --- Scanning ---------------------------------------------------------------

// A handler as the description script makes them: its memory findings come
// in one call with every process.
class ScriptDescribedHandler final : public scan::MalwareHandler {
 public:
  struct Call {
    bool hasFile = false;
    std::uint32_t processId = 0;
    scan::FindingKind kind = scan::FindingKind::FileFinding;
    std::vector<scan::ProcessRecord> processes;
  };

  explicit ScriptDescribedHandler(const signatures::SignaturePair& signatures)
      : MalwareHandler(signatures) {}
  std::u16string_view BaseName() const override { return u"Script"; }
  std::u16string_view VariantName() const override { return u"T"; }
  void Remove(scan::ScanContext&, const scan::Finding& finding) override {
    Call call{!std::holds_alternative<scan::ScriptFinding>(finding), 0, scan::KindOf(finding), {}};
    if (const auto* process = std::get_if<scan::ProcessFinding>(&finding)) {
      call.processId = process->processId;
    } else if (const auto* script = std::get_if<scan::ScriptFinding>(&finding)) {
      call.processes.assign(script->processes.begin(), script->processes.end());
    }
    calls.push_back(std::move(call));
  }
  bool IsScriptDescribed() const override { return true; }

  std::vector<Call> calls;
};

enum class HandlerKind { kBuiltIn, kScriptDescribed };

// A module path in lower case and a process id.
using Found = std::pair<std::u16string, std::uint32_t>;

struct Outcome {
  ScanResult result = ScanResult::kDone;
  // Every finding handed over, sorted: one per Remove call of a built-in
  // handler, one per process record of a script-described one.
  std::vector<Found> found;
  scan::ScanStatistics stats;
  double milliseconds = 0;  // Run, by the performance counter
};

struct ScanSettings {
  HandlerKind kind = HandlerKind::kBuiltIn;
  signatures::SignaturePair signatures;
  bool restoreRelocations = true;
  bool lacksMemorySignature = false;
};

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency{};
  ::QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

// One memory scan of the prefix's processes over the real system, with one
// handler. How the handler was called is checked here, for every scan.
Outcome Scan(const ScanSettings& settings) {
  const std::unique_ptr<platform::System> system = platform::win32::CreateSystem();
  sys::SystemContext systemContext(*system);
  qrt_test::RecordingHandler builtIn(u"BuiltIn", settings.signatures);
  ScriptDescribedHandler script(settings.signatures);
  scan::MalwareHandler* handler = &builtIn;
  if (settings.kind == HandlerKind::kScriptDescribed) handler = &script;
  qrt_test::ScanContextStub context(systemContext, {handler});
  context.lacksMemory = settings.lacksMemorySignature;
  detect::MemoryScanner scanner(systemContext);
  scanner.SetRestoreRelocations(settings.restoreRelocations);

  Outcome o;
  LARGE_INTEGER start{};
  LARGE_INTEGER end{};
  ::QueryPerformanceCounter(&start);
  o.result = scanner.Run(context, {});
  ::QueryPerformanceCounter(&end);
  o.milliseconds = Milliseconds(start, end);
  o.stats = context.stats();

  for (std::size_t i = 0; i < builtIn.calls.size(); ++i) {
    const qrt_test::RemoveCall& call = builtIn.calls[i];
    EXPECT_EQ(call.kind, scan::FindingKind::MemoryFinding);
    EXPECT_TRUE(call.processes.empty());
    // Set while further findings follow.
    EXPECT_EQ(call.more, i + 1 < builtIn.calls.size());
    o.found.emplace_back(Lower(call.infectedFile.value_or(u"(no path)")), call.processId);
  }
  // A script-described handler gets all of its processes in one call.
  EXPECT_LE(script.calls.size(), 1u);
  for (const ScriptDescribedHandler::Call& call : script.calls) {
    EXPECT_FALSE(call.hasFile);
    EXPECT_EQ(call.processId, 0u);
    EXPECT_EQ(call.kind, scan::FindingKind::MemoryFinding);
    for (const scan::ProcessRecord& p : call.processes) {
      o.found.emplace_back(Lower(p.name), p.processId);
    }
  }
  std::sort(o.found.begin(), o.found.end());
  return o;
}

class MemoryScanWineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The scanner must see nothing of the host: refuse any other prefix.
    ASSERT_EQ(::GetDriveTypeW(L"Z:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR))
        << "Z: maps the host's file system; run this program through run-scan-prefix.sh";
    const Samples& samples = TheSamples();
    ASSERT_TRUE(samples.memory.has_value()) << "no section .qrtmem in qrt_mem_sample.dll";
    ASSERT_TRUE(samples.file.has_value()) << "no section .qrtfile in qrt_file_sample_host.exe";
    ASSERT_TRUE(samples.copied);
  }
};

TEST_F(MemoryScanWineTest, FindsTheSignatureAtThePreferredBaseAndInTheRebasedCopy) {
  const std::uint64_t preferredBase = TheSamples().preferredBase;
  Host preferred(HostProgram(), 0, PreferredDll());
  Host rebased(HostProgram(), preferredBase, RebasedDll());
  ASSERT_EQ(preferred.failure(), "");
  ASSERT_EQ(rebased.failure(), "");
  // The loader kept the one where the file wants it and moved the other.
  ASSERT_EQ(ModuleBase(preferred.id(), PreferredDll()), preferredBase);
  const std::uint64_t moved = ModuleBase(rebased.id(), RebasedDll());
  ASSERT_NE(moved, 0u);
  ASSERT_NE(moved, preferredBase);

  const Found atPreferredBase{Lower(ToU16(PreferredDll())), preferred.id()};
  const Found inRebasedCopy{Lower(ToU16(RebasedDll())), rebased.id()};
  struct Case {
    const char* label;
    HandlerKind kind;
    bool restoreRelocations;
    std::vector<Found> found;
  };
  const Case cases[] = {
      {"built-in handler", HandlerKind::kBuiltIn, true, {atPreferredBase, inRebasedCopy}},
      {"script-described handler",
       HandlerKind::kScriptDescribed,
       true,
       {atPreferredBase, inRebasedCopy}},
      // Searched as read, the moved table differs from the file's.
      {"built-in handler, relocations left", HandlerKind::kBuiltIn, false, {atPreferredBase}},
      {"script-described handler, relocations left",
       HandlerKind::kScriptDescribed,
       false,
       {atPreferredBase}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<Found> expected = c.found;
    std::sort(expected.begin(), expected.end());
    const Outcome o = Scan({c.kind, MemoryOnly(), c.restoreRelocations});
    EXPECT_EQ(o.result, ScanResult::kDone);
    EXPECT_EQ(o.found, expected);
    EXPECT_EQ(o.stats.infectedProcesses, static_cast<std::int32_t>(expected.size()));
  }
}

TEST_F(MemoryScanWineTest, ASignatureInTheOverlapOfTwoWindowsIsOneFindingOfOneProcess) {
  // Both of the module's first two windows hold the signature: the process
  // is counted once and each handler hears of it once.
  ASSERT_TRUE(TheSamples().overlap.has_value())
      << "section .qrtbig of qrt_mem_sample.dll does not cover 0xFD00";
  Host host(HostProgram(), 0, PreferredDll());
  ASSERT_EQ(host.failure(), "");
  const std::vector<Found> once{{Lower(ToU16(PreferredDll())), host.id()}};
  for (const HandlerKind kind : {HandlerKind::kBuiltIn, HandlerKind::kScriptDescribed}) {
    SCOPED_TRACE(kind == HandlerKind::kBuiltIn ? "built-in handler" : "script-described handler");
    const Outcome o = Scan({kind, {*TheSamples().overlap, {}}});
    EXPECT_EQ(o.result, ScanResult::kDone);
    EXPECT_EQ(o.found, once);
    EXPECT_EQ(o.stats.infectedProcesses, 1);
  }
}

TEST_F(MemoryScanWineTest, ReadsADllLoadedByTwoProcessesOnce) {
  Host first(HostProgram(), 0, PreferredDll());
  ASSERT_EQ(first.failure(), "");
  const Outcome alone = Scan({HandlerKind::kBuiltIn, MemoryOnly()});
  ASSERT_EQ(alone.found, (std::vector<Found>{{Lower(ToU16(PreferredDll())), first.id()}}));

  Host second(HostProgram(), 0, PreferredDll());
  ASSERT_EQ(second.failure(), "");
  const Outcome shared = Scan({HandlerKind::kBuiltIn, MemoryOnly()});
  // One finding for the one path, in whichever host the walk met first.
  ASSERT_EQ(shared.found.size(), 1u);
  EXPECT_EQ(shared.found[0].first, Lower(ToU16(PreferredDll())));
  EXPECT_TRUE(shared.found[0].second == first.id() || shared.found[0].second == second.id())
      << shared.found[0].second;
  // The second host adds itself and its main executable; its DLLs, the
  // sample among them, were all read in the first one.
  EXPECT_EQ(shared.stats.scannedProcesses, alone.stats.scannedProcesses + 1);
  EXPECT_EQ(shared.stats.scannedModules, alone.stats.scannedModules + 1);
}

TEST_F(MemoryScanWineTest, ChecksMainExecutablesOnDiskWhenADescriptionLacksAMemorySignature) {
  Host a(FileHostProgram(), 0, L"");
  Host b(FileHostProgram(), 0, L"");
  ASSERT_EQ(a.failure(), "");
  ASSERT_EQ(b.failure(), "");

  const std::u16string program = Lower(ToU16(FileHostProgram()));
  struct Case {
    const char* label;
    HandlerKind kind;
    bool lacksMemorySignature;
    std::vector<Found> found;
  };
  const Case cases[] = {
      // Every process that runs the program is recorded.
      {"script-described handler",
       HandlerKind::kScriptDescribed,
       true,
       {{program, a.id()}, {program, b.id()}}},
      {"script-described handler, no description lacks a MEM signature",
       HandlerKind::kScriptDescribed,
       false,
       {}},
      // Only script-described handlers record what the disk shows.
      {"built-in handler", HandlerKind::kBuiltIn, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::vector<Found> expected = c.found;
    std::sort(expected.begin(), expected.end());
    const Outcome o = Scan({c.kind, FileOnly(), true, c.lacksMemorySignature});
    EXPECT_EQ(o.result, ScanResult::kDone);
    EXPECT_EQ(o.found, expected);
    EXPECT_EQ(o.stats.infectedProcesses, static_cast<std::int32_t>(expected.size()));
  }
}

// The time of a memory scan of the prefix's processes beside the time of
// reading the files of the same modules once each, for the log; nothing about
// speed is asserted.
TEST_F(MemoryScanWineTest, PrintsTheScanTimeBesideReadingTheModuleFiles) {
  Host preferred(HostProgram(), 0, PreferredDll());
  Host rebased(HostProgram(), TheSamples().preferredBase, RebasedDll());
  ASSERT_EQ(preferred.failure(), "");
  ASSERT_EQ(rebased.failure(), "");

  const Outcome o = Scan({HandlerKind::kBuiltIn, MemoryOnly()});
  ASSERT_EQ(o.result, ScanResult::kDone);
  ASSERT_GT(o.stats.memoryScanKilobytes, 0);

  // Every module file of every process, by Tool Help.
  std::set<std::u16string> paths;
  HANDLE processes = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W process{};
  process.dwSize = sizeof process;
  for (BOOL more = ::Process32FirstW(processes, &process); more;
       more = ::Process32NextW(processes, &process)) {
    HANDLE modules = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process.th32ProcessID);
    if (modules == INVALID_HANDLE_VALUE) continue;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    for (BOOL next = ::Module32FirstW(modules, &module); next;
         next = ::Module32NextW(modules, &module)) {
      paths.insert(Lower(ToU16(module.szExePath)));
    }
    ::CloseHandle(modules);
  }
  ::CloseHandle(processes);

  std::vector<std::uint8_t> buffer(65536);
  std::uint64_t bytes = 0;
  LARGE_INTEGER start{};
  LARGE_INTEGER end{};
  ::QueryPerformanceCounter(&start);
  for (const std::u16string& path : paths) {
    HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    DWORD read = 0;
    while (::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
           read != 0) {
      bytes += read;
    }
    ::CloseHandle(file);
  }
  ::QueryPerformanceCounter(&end);
  const double fileMilliseconds = Milliseconds(start, end);

  std::printf(
      "memory scan: %d processes, %d modules, %.2f MB read in %.1f ms (scanner's clock %.0f ms)\n"
      "module files: %d files read once each, %.2f MB in %.1f ms\n",
      o.stats.scannedProcesses, o.stats.scannedModules, o.stats.memoryScanKilobytes / 1024.0,
      o.milliseconds, o.stats.memoryScanTime, static_cast<int>(paths.size()),
      static_cast<double>(bytes) / (1024.0 * 1024.0), fileMilliseconds);
  RecordProperty("memoryScanMilliseconds", std::to_string(o.milliseconds));
  RecordProperty("memoryScanKilobytes", std::to_string(o.stats.memoryScanKilobytes));
  RecordProperty("moduleFileMilliseconds", std::to_string(fileMilliseconds));
  RecordProperty("moduleFileKilobytes", std::to_string(static_cast<double>(bytes) / 1024.0));
}

}  // namespace
