// The built-in handlers: their table and signatures as the index finds them,
// the lines and removal operations of the three Sober handlers for file and
// memory findings, the start-up entry cleaning, and the W32/Stanit handler
// with every outcome of its repair on the bytes of a file.
#include "handlers/builtin_handlers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "detect/file_scanner.h"
#include "handlers/sober_handlers.h"
#include "handlers/stanit_handler.h"
#include "script_test_support.h"
#include "tests/support/pe_samples.h"
#include "tests/support/scan_context_stub.h"
#include "tests/support/signature_samples.h"
#include "tests/support/stanit_samples.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;
using handlers::StanitRepair;

class BuiltInHandlersTest : public script_test::FakeSystemTest {
 protected:
  BuiltInHandlersTest() : table_(handlers::CreateBuiltInHandlers()) {}

  scan::MalwareHandler& SoberJ() { return *table_[0]; }
  scan::MalwareHandler& SoberP() { return *table_[1]; }
  scan::MalwareHandler& SoberY() { return *table_[2]; }
  scan::MalwareHandler& Stanit() { return *table_[3]; }

  std::vector<scan::MalwareHandler*> Handlers() const {
    std::vector<scan::MalwareHandler*> handlers;
    for (const auto& handler : table_) handlers.push_back(handler.get());
    return handlers;
  }
  qrt_test::ScanContextStub& Scan() {
    if (!scan_) scan_ = std::make_unique<qrt_test::ScanContextStub>(Context(), Handlers());
    return *scan_;
  }
  qrt_test::RecordingRemovalOperations& Operations() { return Scan().operations; }

  // A file finding with the headers in `fileHeaders`.
  void FileFinding(scan::MalwareHandler& handler, std::u16string_view path) {
    handler.Remove(Scan(), scan::FileFinding{path, fileHeaders});
  }
  void MemoryFinding(scan::MalwareHandler& handler, bool more) {
    handler.Remove(Scan(), scan::ProcessFinding{u"c:\\x\\a.exe", 77, more});
  }
  Lines TakeOutput() { return Scan().recorder().TakeLines(); }
  // The calls, without the listings of the start-up keys.
  Lines TakeCalls() { return Operations().TakeCalls({u"EnumerateValues"}); }

  handlers::BuiltInHandlerTable table_;
  scan::PeFileHeaders fileHeaders;

 private:
  std::unique_ptr<qrt_test::ScanContextStub> scan_;
};

TEST_F(BuiltInHandlersTest, TableOrderAndNames) {
  std::vector<std::string> names;
  for (const scan::MalwareHandler* handler : Handlers()) {
    EXPECT_FALSE(handler->IsScriptDescribed());
    names.push_back(text::ToUtf8(handler->BaseName()) + "." + text::ToUtf8(handler->VariantName()));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Sober.J", "Sober.P", "Sober.Y", "W32/Stanit.A"}));
}

// Every constant signature can be met by bytes, and the index over the table
// finds it and gives it to its own handler; W32/Stanit's one signature is
// one entry that both searches find.
TEST_F(BuiltInHandlersTest, IndexFindsEachBuiltInSignatureInForgedBytes) {
  const signatures::SignatureIndex& index = Scan().signatureIndex();
  EXPECT_EQ(index.entryCount(), 7u);
  for (const scan::MalwareHandler* handler : Handlers()) {
    for (const bool file : {true, false}) {
      SCOPED_TRACE(text::ToUtf8(handler->VariantName()) + (file ? " file" : " memory"));
      const signatures::CompiledSignature& record =
          file ? handler->signatures().file : handler->signatures().memory;
      const auto forged = qrt_test::ForgeSignature(record, 0x33);
      ASSERT_TRUE(forged.has_value());
      Bytes buffer(600, 0x90);
      std::copy(forged->begin(), forged->end(), buffer.begin() + 200);
      std::size_t offset = 0;
      const signatures::SignatureIndexEntry* found =
          file ? signatures::FindFileSignature(index, buffer, offset)
               : signatures::FindMemorySignature(index, buffer);
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(found->owner, handler);
      if (file) {
        EXPECT_EQ(offset, 200u);
      }
      EXPECT_EQ(found->kinds, handler == &Stanit() ? 3 : (file ? 1 : 2));
    }
  }
}

// --- Sober ---

constexpr char kWindows[] = "C:\\WINDOWS";
constexpr char kSystem[] = "C:\\WINDOWS\\system32";
const std::vector<std::string> kSoberJFiles = {
    "\\dgsfzipp.gmx", "\\datamx.dam",    "\\sysmms32.lla", "\\dgssxy.yoi",
    "\\nonrunso.ber", "\\Odin_Anon.Ger", "\\read.me"};
const std::vector<std::string> kSoberPWindowsFiles = {
    "\\Connection Wizard\\Status\\csrss.exe",   "\\Connection Wizard\\Status\\services.exe",
    "\\Connection Wizard\\Status\\smss.exe",    "\\Connection Wizard\\Status\\packed1.sbr",
    "\\Connection Wizard\\Status\\packed2.sbr", "\\Connection Wizard\\Status\\packed3.sbr",
    "\\Connection Wizard\\Status\\sacri1.ggg",  "\\Connection Wizard\\Status\\sacri2.ggg",
    "\\Connection Wizard\\Status\\sacri3.ggg",  "\\Connection Wizard\\Status\\voner1.von",
    "\\Connection Wizard\\Status\\voner2.von",  "\\Connection Wizard\\Status\\voner3.von",
    "\\Connection Wizard\\Status\\fastso.ber"};
const std::vector<std::string> kSoberPSystemFiles = {
    "\\adcmmmmq.hjg", "\\langeinf.lin", "\\nonrunso.ber", "\\seppelmx.smx", "\\xcvfpokd.tqa"};
const std::vector<std::string> kSoberYFiles = {
    "\\WinSecurity\\services.exe", "\\WinSecurity\\smss.exe",     "\\WinSecurity\\csrss.exe",
    "\\WinSecurity\\starter.run",  "\\WinSecurity\\nexttroj.tro", "\\WinSecurity\\socket1.ifo",
    "\\WinSecurity\\socket2.ifo",  "\\WinSecurity\\socket3.ifo",  "\\WinSecurity\\mssock1.dli",
    "\\WinSecurity\\mssock2.dli",  "\\WinSecurity\\mssock3.dli",  "\\WinSecurity\\winmem1.ory",
    "\\WinSecurity\\winmem2.ory",  "\\WinSecurity\\winmem3.ory"};

const std::u16string kRun =
    u"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char kRunValue[] =
    "RemoveRegistryValue HKEY_LOCAL_MACHINE Software\\Microsoft\\Windows\\CurrentVersion\\Run ";

scan::RegistryValue StringValue(std::u16string name, std::u16string_view data,
                                std::uint32_t type = scan::kRegSz) {
  scan::RegistryValue value{std::move(name), type, {}};
  text::AppendUtf16Le(value.data, data);
  value.data.insert(value.data.end(), {0, 0});
  return value;
}

// Lines and calls of companion steps and start-up steps, built from the
// lists above.
struct Expected {
  Lines lines;
  Lines calls;

  Expected& Line(const std::string& line) {
    lines.push_back(line);
    return *this;
  }
  Expected& Call(const std::string& call) {
    calls.push_back(call);
    return *this;
  }
  Expected& Companions(const std::string& directory, const std::vector<std::string>& names,
                       std::size_t from = 0, std::size_t to = SIZE_MAX) {
    for (std::size_t i = from; i < std::min(to, names.size()); ++i) {
      Line("deleting companion file " + directory + names[i] + " ...done");
      Call("RemoveFile " + directory + names[i]);
    }
    return *this;
  }
  Expected& Startup(const std::string& path) {
    return Line("cleaning registry keys ..." + path + "...done");
  }
  // Sober.Y's companion files with the start-up steps after the first
  // three; the Run key names the second.
  Expected& SoberYFiles() {
    const std::string windows = kWindows;
    Companions(windows, kSoberYFiles, 0, 1).Startup(windows + kSoberYFiles[0]);
    Companions(windows, kSoberYFiles, 1, 2).Startup(windows + kSoberYFiles[1]);
    Call(kRunValue + std::string("y"));
    Companions(windows, kSoberYFiles, 2, 3).Startup(windows + kSoberYFiles[2]);
    return Companions(windows, kSoberYFiles, 3);
  }
};

// The Run key names the infected file in capitals and two of the worms'
// own companion files; every companion file is missing (RemoveFile answers
// 2), so each is reported like a deleted one.
TEST_F(BuiltInHandlersTest, SoberHandlersForFileAndMemoryFindings) {
  Operations().values[kRun] = {
      StringValue(u"infected", u"C:\\X\\A.EXE /start"),
      StringValue(u"p", u"C:\\WINDOWS\\Connection Wizard\\Status\\services.exe"),
      StringValue(u"y", u"\"C:\\WINDOWS\\WinSecurity\\smss.exe\""),
      StringValue(u"other", u"C:\\Program Files\\tool.exe")};
  const std::string path = "c:\\x\\a.exe";
  const std::string fileFound = " was found in file c:\\x\\a.exe !";
  const std::string inMemory = " was found in memory !";
  const std::string removed = " was successfully removed.";
  const std::string pServices = kWindows + kSoberPWindowsFiles[1];
  const std::string pSmss = kWindows + kSoberPWindowsFiles[2];

  struct Case {
    const char* name;
    scan::MalwareHandler& handler;
    std::optional<bool> memoryMore;  // nothing for a file finding
    std::map<std::u16string, int> answers;
    Expected expected;
  };
  const Case cases[] = {
      {"Sober.J file finding",
       SoberJ(),
       std::nullopt,
       {},
       Expected{}
           .Line("[Sober.J]" + fileFound)
           .Call("RemoveFile " + path)
           .Line("removing executable ...done")
           .Line("cleaning registry keys ...done")
           .Call(kRunValue + std::string("infected"))
           .Companions(kSystem, kSoberJFiles)
           .Line("[Sober.J]" + removed)},
      {"Sober.J memory finding: failures told",
       SoberJ(),
       false,
       {{u"RemoveFile c:\\x\\a.exe", 0}},
       Expected{}
           .Line("[Sober.J]" + inMemory)
           .Line("terminating process ...failed")
           .Call("TerminateProcessById 77")
           .Line("removing executable ...failed")
           .Call("RemoveFile " + path)
           .Line("cleaning registry keys ...done")
           .Call(kRunValue + std::string("infected"))
           .Companions(kSystem, kSoberJFiles)
           .Line("[Sober.J]" + removed)},
      {"Sober.P file finding: no start-up steps for its own files",
       SoberP(),
       std::nullopt,
       {},
       Expected{}
           .Line("[Sober.P]" + fileFound)
           .Call("RemoveFile " + path)
           .Line("removing executable ...done")
           .Line("cleaning registry keys ...done")
           .Call(kRunValue + std::string("infected"))
           .Companions(kWindows, kSoberPWindowsFiles)
           .Companions(kSystem, kSoberPSystemFiles)
           .Line("[Sober.P]" + removed)},
      {"Sober.P last memory finding: failures told, companions with start-up steps",
       SoberP(),
       false,
       {{u"RemoveFile c:\\x\\a.exe", 0}},
       Expected{}
           .Line("[Sober.P]" + inMemory)
           .Call("TerminateProcessById 77")
           .Call("RemoveFile " + path)
           .Line("terminating process ...failed")
           .Line("removing executable ...failed")
           .Companions(kWindows, kSoberPWindowsFiles, 0, 2)
           .Startup(pServices)
           .Call(kRunValue + std::string("p"))
           .Companions(kWindows, kSoberPWindowsFiles, 2, 3)
           .Startup(pSmss)
           .Companions(kWindows, kSoberPWindowsFiles, 3)
           .Companions(kSystem, kSoberPSystemFiles)
           .Line("[Sober.P]" + removed)},
      {"Sober.P memory finding with more to come: the process and its file only",
       SoberP(),
       true,
       {{u"TerminateProcessById", 1}},
       Expected{}
           .Line("[Sober.P]" + inMemory)
           .Call("TerminateProcessById 77")
           .Call("RemoveFile " + path)
           .Line("terminating process ...done")
           .Line("removing executable ...done")
           .Line("[Sober.P]" + removed)},
      {"Sober.Y file finding: start-up steps after its first three files",
       SoberY(),
       std::nullopt,
       {},
       Expected{}
           .Line("[Sober.Y]" + fileFound)
           .Call("RemoveFile " + path)
           .Line("removing executable ...done")
           .Line("cleaning registry keys ...done")
           .Call(kRunValue + std::string("infected"))
           .SoberYFiles()
           .Line("[Sober.Y]" + removed)},
      {"Sober.Y last memory finding: not the module's own start-up entries",
       SoberY(),
       false,
       {{u"TerminateProcessById", 1}},
       Expected{}
           .Line("[Sober.Y]" + inMemory)
           .Call("TerminateProcessById 77")
           .Call("RemoveFile " + path)
           .Line("terminating process ...done")
           .Line("removing executable ...done")
           .SoberYFiles()
           .Line("[Sober.Y]" + removed)},
      {"Sober.Y memory finding with more to come",
       SoberY(),
       true,
       {},
       Expected{}
           .Line("[Sober.Y]" + inMemory)
           .Call("TerminateProcessById 77")
           .Call("RemoveFile " + path)
           .Line("terminating process ...failed")
           .Line("removing executable ...done")
           .Line("[Sober.Y]" + removed)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Operations().answers = c.answers;
    if (c.memoryMore) {
      MemoryFinding(c.handler, *c.memoryMore);
    } else {
      FileFinding(c.handler, u"c:\\x\\a.exe");
    }
    EXPECT_EQ(TakeOutput(), c.expected.lines);
    // The calls in order, but the lines of one step may be printed after
    // its calls: compare the calls alone.
    EXPECT_EQ(TakeCalls(), c.expected.calls);
  }
}

// A WININIT.INI failure (RemoveFile answers 0) is the one result that
// leaves a companion file's line out, and the file finding's own line.
TEST_F(BuiltInHandlersTest, SoberCompanionLineLeftOutOnlyWhenRemoveFileAnswersZero) {
  Operations().answers[u"RemoveFile C:\\WINDOWS\\system32\\datamx.dam"] = 0;
  Operations().answers[u"RemoveFile C:\\WINDOWS\\system32\\read.me"] = 1;
  Operations().answers[u"RemoveFile c:\\x\\a.exe"] = 0;
  FileFinding(SoberJ(), u"c:\\x\\a.exe");
  const Lines lines = TakeOutput();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[1], "cleaning registry keys ...done");
  EXPECT_EQ(lines[3], "deleting companion file C:\\WINDOWS\\system32\\sysmms32.lla ...done");
  EXPECT_EQ(lines[7], "deleting companion file C:\\WINDOWS\\system32\\read.me ...done");
}

// A process of the system's own is left running and its file in the system
// folder is neither deleted nor scheduled, in whatever form the system names
// it; a file of the same name elsewhere (Sober.Y's own services.exe) is
// removed like any other.
TEST_F(BuiltInHandlersTest, SoberKeepsTheSystemsOwnProcessesAndTheirFiles) {
  struct Case {
    const char* name;
    std::u16string_view path;
    std::optional<codes::ProcessEndResult> ended;  // nothing for a file finding
    Lines lines;
    Lines calls;
  };
  const std::string keptProcess =
      "terminating process ...not ended: a process of Windows or of this program";
  const std::string keptFile = "removing executable ...not removed: a file of Windows";
  const Case cases[] = {
      {"the client/server runtime by its NT path",
       u"\\??\\C:\\WINDOWS\\system32\\csrss.exe",
       codes::ProcessEndResult::kProtected,
       {"[Sober.Y] was found in memory !", keptProcess, keptFile,
        "[Sober.Y] was successfully removed."},
       {"TerminateProcessById 77"}},
      {"the session manager by its \\SystemRoot path",
       u"\\SystemRoot\\System32\\smss.exe",
       codes::ProcessEndResult::kProtected,
       {"[Sober.Y] was found in memory !", keptProcess, keptFile,
        "[Sober.Y] was successfully removed."},
       {"TerminateProcessById 77"}},
      {"the worm's own services.exe",
       u"C:\\WINDOWS\\WinSecurity\\services.exe",
       codes::ProcessEndResult::kEnded,
       {"[Sober.Y] was found in memory !", "terminating process ...done",
        "removing executable ...done", "[Sober.Y] was successfully removed."},
       {"TerminateProcessById 77", "RemoveFile C:\\WINDOWS\\WinSecurity\\services.exe"}},
      {"a file finding of the service control manager",
       u"C:\\WINDOWS\\System32\\SERVICES.EXE",
       std::nullopt,
       {"[Sober.Y] was found in file C:\\WINDOWS\\System32\\SERVICES.EXE !", keptFile,
        "cleaning registry keys ...done"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.ended) {
      Operations().answers[u"TerminateProcessById"] = codes::ToInt(*c.ended);
      SoberY().Remove(Scan(), scan::ProcessFinding{c.path, 77, true});
      EXPECT_EQ(TakeOutput(), c.lines);
      EXPECT_EQ(TakeCalls(), c.calls);
    } else {
      FileFinding(SoberY(), c.path);
      const Lines lines = TakeOutput();
      ASSERT_GE(lines.size(), 3u);
      EXPECT_EQ(Lines(lines.begin(), lines.begin() + 3), c.lines);
      const Lines calls = TakeCalls();
      EXPECT_EQ(std::count(calls.begin(), calls.end(), "RemoveFile " + text::ToUtf8(c.path)), 0);
    }
  }
}

// Without the system's folders the companion files are not looked for: the
// names alone would lead from the root of the current drive.
TEST_F(BuiltInHandlersTest, SoberWithoutFoldersLooksForNoCompanionFile) {
  system.folderLayout.systemDirectory.reset();
  system.folderLayout.windowsDirectory = u"";
  for (scan::MalwareHandler* handler : {&SoberJ(), &SoberP(), &SoberY()}) {
    FileFinding(*handler, u"c:\\x\\a.exe");
    EXPECT_EQ(TakeCalls(), (Lines{"RemoveFile c:\\x\\a.exe"}));
    const Lines lines = TakeOutput();
    EXPECT_EQ(lines.size(), 4u);
  }
}

TEST_F(BuiltInHandlersTest, StartupEntriesNamingThePathAreDeletedFromFourKeys) {
  const std::u16string hklm = u"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\";
  const std::u16string hkcu = u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\";
  scan::RegistryValue cut = StringValue(u"cut", u"C:\\x\\a.exe");
  cut.dataComplete = false;
  scan::RegistryValue afterNul = StringValue(u"afterNul", u"C:\\ok.exe");
  text::AppendUtf16Le(afterNul.data, u"c:\\x\\a.exe");
  scan::RegistryValue odd = StringValue(u"odd", u"c:\\x\\a.ex");
  odd.data.resize(odd.data.size() - 2);
  odd.data.push_back('e');  // the last character's low byte alone
  Operations().values[hklm + u"Run"] = {StringValue(u"upper", u"\"C:\\X\\A.EXE\" -q"),
                                        StringValue(u"expand", u"c:\\x\\a.exe", scan::kRegExpandSz),
                                        cut, afterNul, odd};
  Operations().values[hklm + u"RunOnce"] = {StringValue(u"once", u"c:\\x\\a.exe")};
  Operations().values[hkcu + u"Run"] = {StringValue(u"user", u"x c:\\x\\a.exe")};
  Operations().values[hkcu + u"RunServices"] = {StringValue(u"services", u"c:\\x\\a.exe")};
  handlers::RemovalSteps(Scan()).RemoveStartupEntries(u"c:\\x\\a.exe");
  const std::string run = "HKEY_LOCAL_MACHINE Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  const std::string user = "HKEY_CURRENT_USER Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  EXPECT_EQ(Operations().TakeCalls(),
            (Lines{"EnumerateValues " + run, "RemoveRegistryValue " + run + " upper",
                   "EnumerateValues " + run + "Once", "RemoveRegistryValue " + run + "Once once",
                   "EnumerateValues " + user, "RemoveRegistryValue " + user + " user",
                   "EnumerateValues " + user + "Once"}));

  // An empty path would name every entry.
  handlers::RemovalSteps(Scan()).RemoveStartupEntries(u"");
  EXPECT_EQ(Operations().TakeCalls(), Lines{});
}

// --- W32/Stanit ---

constexpr std::uint32_t kHostEntryPoint = 0x1010;
constexpr std::uint64_t kBodyOffset = 0x400;
constexpr std::uint64_t kEntryField = 0x80 + 0x28;

qrt_test::SampleSection Section(std::uint32_t rawSize) {
  qrt_test::SampleSection section;
  section.rawSize = rawSize;
  return section;
}

// A host with its code in the first section and the body at the start of
// the second (relative address `bodyAddress`, file offset 0x400), which has
// room for the body, the byte after it and the check window.
// `codeVirtualSize` widens the first section's virtual range past its data.
Bytes InfectedHost(std::vector<qrt_test::Planted> planted = {}, std::uint32_t bodyAddress = 0x2000,
                   std::uint32_t codeVirtualSize = 0) {
  qrt_test::PeSample host;
  host.entryPoint = kHostEntryPoint;
  host.filler = 0x11;
  host.sections = {Section(0x200), Section(0x1000)};
  host.sections[0].virtualSize = codeVirtualSize;
  host.sections[1].virtualAddress = bodyAddress;
  // The second section is padding of zeros where the virus put its body.
  host.planted = {qrt_test::Planted{kBodyOffset, Bytes(0x1000, 0)}};
  for (auto& p : planted) host.planted.push_back(p);
  Bytes file = host.Build();
  EXPECT_TRUE(qrt_test::InfectWithStanit(file, bodyAddress));
  return file;
}

// `file` with the repair's changes: the host's entry point back in its
// field and the body cleared.
Bytes Repaired(Bytes file) {
  for (int i = 0; i < 4; ++i)
    file[kEntryField + i] = static_cast<std::uint8_t>(kHostEntryPoint >> (8 * i));
  std::fill_n(file.begin() + kBodyOffset, handlers::kStanitBodySize, 0);
  return file;
}

// `file` with the stub's host entry point replaced by `hostEntryPoint`.
Bytes WithHostEntryPoint(Bytes file, std::uint32_t hostEntryPoint) {
  for (int i = 0; i < 4; ++i)
    file[kBodyOffset + 3 + i] = static_cast<std::uint8_t>(hostEntryPoint >> (8 * i));
  return file;
}

std::uint32_t EntryPointOf(const Bytes& file) {
  return qrt_test::HeadersOf(file).AddressOfEntryPoint();
}

class StanitRepairTest : public BuiltInHandlersTest {
 protected:
  static constexpr char16_t kPath[] = u"C:\\apps\\host.exe";

  // Puts `file` on the fake disk with its headers as the file scanner reads
  // them for a finding.
  void Place(const Bytes& file, const Bytes& headersOf = {}) {
    system.fileSystem.AddFile(kPath, file);
    fileHeaders = qrt_test::HeadersOf(headersOf.empty() ? file : headersOf);
  }
  StanitRepair Repair(std::u16string_view path = kPath) {
    return handlers::RepairStanitFile(system, scan::FileFinding{path, fileHeaders});
  }
  Bytes OnDisk() { return system.fileSystem.Find(kPath)->bytes; }
};

TEST_F(StanitRepairTest, RepairOutcomesOnTheFilesBytes) {
  const Bytes infected = InfectedHost();
  ASSERT_EQ(EntryPointOf(infected), 0x2000u);
  Bytes damaged = InfectedHost({qrt_test::Planted{kBodyOffset + 3667 + 9, {0x01}}});
  Bytes endsAfterBody = infected;
  endsAfterBody.resize(kBodyOffset + handlers::kStanitBodySize + 5);
  Bytes tooShort = infected;
  tooShort.resize(kBodyOffset + 3000);
  Bytes notTheStub = infected;
  notTheStub[kBodyOffset + 7] = 0xE9;
  qrt_test::PeSample dropperSample;
  dropperSample.sections = {Section(0x1000)};
  Bytes dropper = dropperSample.Build();
  const Bytes notADropper = dropper;
  const Bytes dropperBody = qrt_test::StanitBody(0x1000);
  std::copy(dropperBody.begin(), dropperBody.end(), dropper.begin() + 0x200);
  // The host's entry point in the stub leads nowhere the repair may send
  // the program: into no section, into the body it clears, or past the data
  // of the section whose virtual range holds it.
  const Bytes hostInNoSection = WithHostEntryPoint(infected, 0x9000);
  const Bytes hostInBody = WithHostEntryPoint(infected, 0x2000 + 0x10);
  const Bytes hostPastData = WithHostEntryPoint(InfectedHost({}, 0x2000, 0x1000), 0x1800);
  // The entry point lies in no section: the bytes at offset 0 ("MZ") are read.
  qrt_test::PeSample noSection;
  noSection.entryPoint = 0x9000;
  noSection.planted = {qrt_test::Planted{0x200, qrt_test::StanitBody(0x1000)}};

  struct Case {
    const char* name;
    Bytes before;
    StanitRepair result;
    Bytes after;
  };
  const Case cases[] = {
      {"clean check window", infected, StanitRepair::kRepaired, Repaired(infected)},
      {"data in the check window", damaged, StanitRepair::kHostDamaged, Repaired(damaged)},
      {"file ends before the check window", endsAfterBody, StanitRepair::kRepaired,
       Repaired(endsAfterBody)},
      {"file too short for the body: never extended", tooShort, StanitRepair::kFailed, tooShort},
      {"entry code is not the stub", notTheStub, StanitRepair::kRepaired, notTheStub},
      {"dropper: entry at offset 512 with the stub", dropper, StanitRepair::kDropper, dropper},
      {"entry at offset 512 without the stub", notADropper, StanitRepair::kLeftUnchanged,
       notADropper},
      {"host entry point in no section", hostInNoSection, StanitRepair::kLeftUnchanged,
       hostInNoSection},
      {"host entry point in the body", hostInBody, StanitRepair::kLeftUnchanged, hostInBody},
      {"host entry point past its section's data", hostPastData, StanitRepair::kLeftUnchanged,
       hostPastData},
      {"entry point in no section", noSection.Build(), StanitRepair::kRepaired, noSection.Build()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Place(c.before);
    EXPECT_EQ(Repair(), c.result);
    EXPECT_EQ(OnDisk(), c.after);
    EXPECT_EQ(system.fileSystem.OpenHandleCount(), 0u);
  }
}

// The entry point is written before the body is cleared, each in one write.
TEST_F(StanitRepairTest, EntryPointIsRestoredBeforeTheBodyIsCleared) {
  Place(InfectedHost());
  system.fileSystem.writes.clear();
  EXPECT_EQ(Repair(), StanitRepair::kRepaired);
  ASSERT_EQ(system.fileSystem.writes.size(), 2u);
  EXPECT_EQ(system.fileSystem.writes[0].size, 4u);
  EXPECT_EQ(system.fileSystem.writes[1].size, handlers::kStanitBodySize);
}

TEST_F(StanitRepairTest, NothingIsWrittenUnlessEverythingToChangeIsThere) {
  const Bytes infected = InfectedHost();
  // Headers of another file whose entry point maps to the same
  // offset but is not the one in this file's field.
  const Bytes other = InfectedHost({}, 0x3000);
  // The entry point field inside the body: the body starts at offset 0x40,
  // before the PE headers at 0x80.
  qrt_test::PeSample early;
  early.entryPoint = 0x1000;
  early.sections = {Section(0x1000)};
  early.sections[0].rawPointer = 0x40;
  Bytes overlapping = early.Build();
  overlapping.resize(0x2000, 0);
  // The host's code lies after the body, in the same section.
  const Bytes stub = qrt_test::StanitBody(0x1F00);
  std::copy_n(stub.begin(), handlers::kStanitStubSize, overlapping.begin() + 0x40);

  struct Case {
    const char* name;
    Bytes file;
    Bytes headersOf;
  };
  const Case cases[] = {
      {"headers of another file", infected, other},
      {"entry point field inside the body", overlapping, overlapping},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Place(c.file, c.headersOf);
    system.fileSystem.writes.clear();
    EXPECT_EQ(Repair(), StanitRepair::kFailed);
    EXPECT_EQ(OnDisk(), c.file);
    EXPECT_TRUE(system.fileSystem.writes.empty());
  }

  Place(infected);
  system.fileSystem.Find(kPath)->writesFail = true;
  EXPECT_EQ(Repair(), StanitRepair::kFailed);
  EXPECT_EQ(OnDisk(), infected);
  system.fileSystem.Find(kPath)->attributes |= platform::kFileAttributeReadOnly;
  EXPECT_EQ(Repair(), StanitRepair::kCannotOpen);
  EXPECT_EQ(Repair(u"C:\\apps\\missing.exe"), StanitRepair::kCannotOpen);
}

TEST_F(StanitRepairTest, FileFindingsReportTheRepairsOutcome) {
  const std::string found = "[W32/Stanit] was found in file C:\\apps\\host.exe !";
  const std::string notRemoved = "[W32/Stanit] was not removed!";
  const std::string attempt = "attempting to repair executable ...";
  Bytes damaged = InfectedHost({qrt_test::Planted{kBodyOffset + 3667, {0x01}}});
  Bytes tooShort = InfectedHost();
  tooShort.resize(kBodyOffset + 100);
  qrt_test::PeSample dropperSample;
  dropperSample.sections[0].rawSize = 0x1000;
  dropperSample.sections[0].planted = {{0, qrt_test::StanitBody(0x1000)}};
  const Bytes dropper = dropperSample.Build();

  struct Case {
    const char* name;
    std::optional<Bytes> file;  // nothing: no such file
    int removeFileAnswer;
    Lines lines;
    std::int32_t removedFiles;
  };
  const Case cases[] = {
      {"repaired",
       InfectedHost(),
       2,
       {found, attempt + "done", "[W32/Stanit] was successfully removed."},
       1},
      {"host data overwritten",
       damaged,
       2,
       {found,
        attempt + "File was possibly destroyed by W32/Stanit and should be retrieved from backup.",
        "Virus component has been disabled."},
       0},
      {"dropper deleted",
       dropper,
       1,
       {found, attempt + "file is dropper, removing executable ...done"},
       0},
      {"dropper left", dropper, 0, {found, attempt + "failed", notRemoved}, 0},
      {"host entry point unusable",
       WithHostEntryPoint(InfectedHost(), 0x9000),
       2,
       {found, attempt + "not repaired, file left unchanged", notRemoved},
       0},
      {"cannot open", std::nullopt, 2, {found, attempt + "failed to open", notRemoved}, 0},
      {"too short", tooShort, 2, {found, attempt + "failed", notRemoved}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    system.fileSystem.Delete(kPath);
    if (c.file) Place(*c.file);
    Operations().answers[u"RemoveFile"] = c.removeFileAnswer;
    const std::int32_t before = Scan().stats().removedFiles;
    FileFinding(Stanit(), kPath);
    EXPECT_EQ(TakeOutput(), c.lines);
    EXPECT_EQ(Scan().stats().removedFiles - before, c.removedFiles);
    const bool isDropper = c.file && *c.file == dropper;
    EXPECT_EQ(TakeCalls(), isDropper ? Lines{"RemoveFile C:\\apps\\host.exe"} : Lines{});
  }
}

// The line and the closing report tell what the termination answered.
TEST_F(StanitRepairTest, MemoryFindingWarnsThenEndsTheProcess) {
  struct Case {
    codes::ProcessEndResult answer;
    std::string line;
    std::string closing;
  };
  const Case cases[] = {
      {codes::ProcessEndResult::kEnded, "terminating process ...done",
       "[W32/Stanit] was successfully removed from memory."},
      {codes::ProcessEndResult::kNotEnded, "terminating process ...failed",
       "[W32/Stanit] was not removed!"},
      {codes::ProcessEndResult::kProtected,
       "terminating process ...not ended: a process of Windows or of this program",
       "[W32/Stanit] was not removed!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Operations().answers[u"TerminateProcessById"] = codes::ToInt(c.answer);
    MemoryFinding(Stanit(), true);
    EXPECT_EQ(TakeOutput(),
              (Lines{"[W32/Stanit] file infector was found in memory !",
                     "[WARNING ]DO NOT RUN OR START ANY PROGRAMS!",
                     "[WARNING ]DO NOT INTERRUPT THE SCANNING PROCESS!",
                     "[WARNING ]AFTER COMPLETION RESCAN YOUR SYSTEM!", c.line, c.closing}));
    EXPECT_EQ(TakeCalls(), (Lines{"TerminateProcessById 77"}));
  }
}

// The file scanner finds the signature in the body of an infected copy,
// hands it to the handler with its headers, and the handler repairs it.
TEST_F(StanitRepairTest, FileScanFindsAndRepairsAnInfectedExecutable) {
  system.fileSystem.drives[u'D'] = platform::fake::FakeDrive{};
  const Bytes infected = InfectedHost();
  system.fileSystem.AddFile(u"D:\\apps\\host.exe", infected);
  detect::FileScanner scanner(Context());
  EXPECT_EQ(scanner.Run(Scan(), {u"D:"}), codes::ScanResult::kMalwareFound);
  EXPECT_EQ(system.fileSystem.Find(u"D:\\apps\\host.exe")->bytes, Repaired(infected));
  EXPECT_EQ(Scan().stats().infectedFiles, 1);
  EXPECT_EQ(Scan().stats().removedFiles, 1);
  EXPECT_EQ(
      TakeOutput(),
      (Lines{"", "Scanning drive D: ...", "[W32/Stanit] was found in file D:\\apps\\host.exe !",
             "attempting to repair executable ...done", "[W32/Stanit] was successfully removed."}));
}

}  // namespace
