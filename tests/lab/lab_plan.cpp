#include "lab_plan.h"

#include <algorithm>
#include <map>
#include <memory>

#include "descriptions/builtin_script.h"
#include "descriptions/script_loading.h"
#include "descriptions/script_parser.h"
#include "handlers/sober_handlers.h"
#include "handlers/stanit_handler.h"
#include "platform/win32/win32_system.h"
#include "signatures/hex_codec.h"
#include "system/system_context.h"
#include "tests/support/pe_samples.h"
#include "tests/support/signature_samples.h"
#include "tests/support/stanit_samples.h"
#include "tests/win32/sample_files.h"

namespace lab {
namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunOnceKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr wchar_t kSpyClsid[] = L"{3A4E6FF3-BF59-446E-9DC8-731BCE2F349A}";
constexpr wchar_t kLabClsid[] = L"{6C1A57E2-3B0D-4F1E-A7C4-2D9B8E05F613}";
constexpr wchar_t kServiceProgId[] = L"msupdate.Microsoft Update Service";
constexpr wchar_t kWaiterReadyEvent[] = L"QrtLabWaiterReady";

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

std::wstring Upper(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](wchar_t c) { return c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c; });
  return text;
}

std::string Failed(const std::wstring& what) { return "cannot write " + Utf8(what); }

// The FILE signatures of the built-in script by malware name ("TR/Spy.Banker.AATZ"),
// decoded from the script's hex text.
std::optional<std::map<std::wstring, Bytes>> ScriptFileSignatures(std::string& error) {
  const std::unique_ptr<platform::System> system = platform::win32::CreateSystem();
  sys::SystemContext context(*system);
  descriptions::ScriptParser parser(
      context, descriptions::ScriptTextFromBytes(descriptions::BuiltInScriptBytes()),
      [&error](std::u16string_view, std::u16string_view text) {
        error = "the built-in script: " + Utf8(Wide(text));
      });
  if (!parser.ParseScript()) return std::nullopt;
  std::map<std::wstring, Bytes> signatures;
  for (const descriptions::MalwareDescription& record : parser.records()) {
    if (!record.fileSignature) continue;
    const auto bytes = signatures::HexDecode(*record.fileSignature);
    if (bytes) signatures[Wide(record.baseName) + L"." + Wide(record.variantName)] = *bytes;
  }
  return signatures;
}

std::optional<Bytes> LabSignature() {
  const std::wstring block = Wide(kLabBlock);
  const std::wstring keyword = L"SIGNATURE_FILE ";
  const std::size_t start = block.find(keyword) + keyword.size();
  const std::wstring hex = block.substr(start, block.find(L'\r', start) - start);
  return signatures::HexDecode(std::string(hex.begin(), hex.end()));
}

// A forged executable of one section that carries `signature` in its middle.
Bytes ForgedPe(const Bytes& signature) {
  qrt_test::PeSample sample;
  sample.sections[0].rawSize = 0x800;
  sample.sections[0].planted = {{0x300, signature}};
  sample.filler = 0x90;
  return sample.Build();
}

Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

const Bytes& CompanionText() {
  static const Bytes text = TextBytes("a companion file planted by the infection lab\r\n");
  return text;
}

std::string ExpectGone(const std::wstring& path) { return FileExists(path) ? "still there" : ""; }

Item File(std::string malware, const std::wstring& path, Bytes bytes) {
  return {std::move(malware), L"file " + path, Outcome::kRemoved,
          [path, bytes] { return WriteFileMakingFolders(path, bytes) ? "" : Failed(path); },
          [path] { return ExpectGone(path); }};
}

Item Companion(std::string malware, const std::wstring& path) {
  Item item = File(std::move(malware), path, CompanionText());
  item.what = L"companion " + path;
  return item;
}

// A file that must stay byte for byte, or (`outcome` kRepaired) become `after`.
Item KeptFile(std::string malware, const std::wstring& path, Bytes bytes, Bytes after,
              Outcome outcome) {
  return {std::move(malware), L"file " + path, outcome,
          [path, bytes] { return WriteFileMakingFolders(path, bytes) ? "" : Failed(path); },
          [path, bytes, after]() -> std::string {
            const auto now = qrt_test::ReadWholeFile(path);
            if (!now) return "missing";
            if (*now == after) return "";
            return *now == bytes ? "still as planted" : "its bytes differ from those expected";
          }};
}

Item Value(std::string malware, HKEY root, const std::wstring& rootName, const std::wstring& key,
           const std::wstring& name, const std::wstring& data, Outcome outcome) {
  return {std::move(malware), L"value " + rootName + L"\\" + key + L" \"" + name + L"\" = " + data,
          outcome,
          [=]() -> std::string {
            return SetStringValue(root, key, name, data) ? "" : "cannot set " + Utf8(name);
          },
          [=]() -> std::string {
            const auto now = ReadStringValue(root, key, name);
            if (outcome == Outcome::kRemoved) return now ? "still there" : "";
            if (!now) return "gone";
            return *now == data ? "" : "now " + Utf8(*now);
          }};
}

// A key made with one value; removed, or left with its value.
Item Key(std::string malware, HKEY root, const std::wstring& rootName, const std::wstring& key,
         Outcome outcome) {
  return {std::move(malware), L"key " + rootName + L"\\" + key, outcome,
          [=]() -> std::string {
            return SetStringValue(root, key, L"", L"planted by the infection lab")
                       ? ""
                       : "cannot make " + Utf8(key);
          },
          [=]() -> std::string {
            if (outcome == Outcome::kRemoved) return KeyExists(root, key) ? "still there" : "";
            const auto value = ReadStringValue(root, key, L"");
            return value == L"planted by the infection lab" ? "" : "gone or changed";
          }};
}

Item IniEntry(std::string malware, const std::wstring& file, const std::wstring& section,
              const std::wstring& key, const std::wstring& planted, const std::wstring& after,
              Outcome outcome) {
  const std::wstring name = file.substr(file.find_last_of(L'\\') + 1);
  return {std::move(malware), name + L" [" + section + L"] " + key + L"=" + planted, outcome,
          [=]() -> std::string {
            return WriteIniEntry(file, section, key, planted) ? "" : Failed(file);
          },
          [=]() -> std::string {
            const auto now = ReadIniEntry(file, section, key);
            if (!now) return "the entry is gone";
            return *now == after ? "" : "reads " + Utf8(key) + "=" + Utf8(*now);
          }};
}

std::optional<std::string> ReadHosts(const std::wstring& path) {
  const auto bytes = qrt_test::ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

Item HostsLine(std::string malware, const std::wstring& path, const std::string& line,
               Outcome outcome) {
  const std::string disabled = "# " + line;
  return {std::move(malware), L"hosts line " + std::wstring(line.begin(), line.end()), outcome,
          nullptr, [=]() -> std::string {
            const auto text = ReadHosts(path);
            if (!text) return "no hosts file";
            const auto lines = LinesOf(*text);
            const bool active = std::find(lines.begin(), lines.end(), line) != lines.end();
            const bool off = std::find(lines.begin(), lines.end(), disabled) != lines.end();
            if (outcome == Outcome::kDisabled) return off && !active ? "" : "not disabled";
            return active && !off ? "" : "changed";
          }};
}

// The infected process: the planted copy of the waiting program, started
// detached; plant waits until it has signalled that it runs.
Item InfectedProcess(std::string malware, const std::wstring& path,
                     const std::wstring& workingFolder) {
  const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
  return {std::move(malware), L"process " + path, Outcome::kRemoved,
          [=]() -> std::string {
            HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, kWaiterReadyEvent);
            if (ready == nullptr) return "cannot make the event";
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION info{};
            std::wstring command = L"\"" + path + L"\"";
            const BOOL started =
                ::CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE,
                                 DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr,
                                 workingFolder.c_str(), &startup, &info);
            if (!started) {
              ::CloseHandle(ready);
              return "cannot start it";
            }
            const bool signalled = ::WaitForSingleObject(ready, 20000) == WAIT_OBJECT_0;
            const bool running = ::WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT;
            ::CloseHandle(ready);
            ::CloseHandle(info.hThread);
            ::CloseHandle(info.hProcess);
            if (!signalled || !running) return "it did not come up";
            return "";
          },
          [=]() -> std::string { return ProcessesAt(path).empty() ? "" : "still running"; }};
}

// A process of the system's own, which must still run after the cleaning.
Item SystemProcess(const std::wstring& path) {
  return {"", L"process " + path, Outcome::kLeft, {}, [=]() -> std::string {
            return ProcessesAt(path).empty() ? "no longer running" : "";
          }};
}

}  // namespace

const char* OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kRemoved:
      return "removed";
    case Outcome::kRepaired:
      return "repaired";
    case Outcome::kDisabled:
      return "disabled";
    case Outcome::kLeft:
      return "left as expected";
  }
  return "?";
}

std::vector<std::string> Lab::IniEntriesOf(const std::wstring& iniFile) const {
  std::vector<std::wstring> sections;
  for (const IniChange& change : iniChanges) {
    if (change.file == iniFile) sections.push_back(change.section);
  }
  std::vector<std::string> entries;
  for (const std::wstring& entry : IniEntries(iniFile, sections)) entries.push_back(Utf8(entry));
  return entries;
}

std::wstring Lab::PlantedEntriesOf(const std::wstring& iniFile) const {
  return folders.state + iniFile.substr(iniFile.find_last_of(L'\\')) + L".planted";
}

std::vector<std::wstring> LinesOf(const std::wstring& text) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  for (const std::wstring& line : LinesOf(std::wstring(text.begin(), text.end()))) {
    lines.emplace_back(line.begin(), line.end());
  }
  return lines;
}

std::optional<Lab> MakeLab(std::string& error) {
  Lab lab;
  const auto folders = Folders::Ask();
  if (!folders) {
    error = "a system folder cannot be determined";
    return std::nullopt;
  }
  lab.folders = *folders;
  const Folders& f = lab.folders;

  const auto scriptSignatures = ScriptFileSignatures(error);
  if (!scriptSignatures) return std::nullopt;
  const auto netSky = scriptSignatures->find(L"Worm/NetSky.P");
  const auto spy = scriptSignatures->find(L"TR/Spy.Banker.AATZ");
  const auto labSignature = LabSignature();
  const auto soberJ = qrt_test::ForgeSignature(handlers::SoberJHandler::kSignatures.file);
  const auto soberYMemory = qrt_test::ForgeSignature(handlers::SoberYHandler::kSignatures.memory);
  if (netSky == scriptSignatures->end() || spy == scriptSignatures->end() || !labSignature ||
      !soberJ || !soberYMemory) {
    error = "a signature is missing";
    return std::nullopt;
  }
  const auto waiter = qrt_test::ReadWholeFile(f.own + L"\\" + kWaiterFile);
  lab.cleanProgram = f.own + L"\\" + kConsoleHostFile;
  const auto consoleHost = qrt_test::ReadWholeFile(lab.cleanProgram);
  const auto waiterRoom = waiter ? qrt_test::SectionNamed(*waiter, ".room") : std::nullopt;
  const auto hostRoom = consoleHost ? qrt_test::SectionNamed(*consoleHost, ".room") : std::nullopt;
  if (!waiterRoom || !hostRoom) {
    error = "the sample programs must lie beside qrt-lab.exe, each with its .room section";
    return std::nullopt;
  }

  // Worm/NetSky.P: the running copy of the waiting program, the signature in
  // its .room section.
  const std::string netSkyName = "Worm/NetSky.P";
  const std::wstring fvProtect = f.windows + L"\\FVProtect.exe";
  Bytes infectedWaiter = *waiter;
  std::copy(netSky->second.begin(), netSky->second.end(),
            infectedWaiter.begin() + waiterRoom->PointerToRawData() + 0x100);
  const std::wstring fvProtectInRun = Upper(f.windows) + L"\\FVProtect.exe";
  lab.items.push_back(File(netSkyName, fvProtect, infectedWaiter));
  lab.items.push_back(InfectedProcess(netSkyName, fvProtect, f.state));
  for (const wchar_t* name : {L"zipped.tmp", L"zip1.tmp", L"base64.tmp", L"userconfig9x.dll"}) {
    lab.items.push_back(Companion(netSkyName, f.windows + L"\\" + name));
  }
  lab.items.push_back(Value(netSkyName, HKEY_LOCAL_MACHINE, L"HKLM", kRunKey, L"FV Protect",
                            fvProtectInRun, Outcome::kRemoved));
  lab.items.push_back(Value(netSkyName, HKEY_CURRENT_USER, L"HKCU", kRunKey, L"FVProtect",
                            fvProtectInRun, Outcome::kRemoved));
  lab.findings.push_back(
      {netSkyName,
       L"in memory",
       {L"Worm/NetSky.P was found in memory !", L"terminating process ...done",
        L"removing executables ...done", L"Worm/NetSky.P was successfully removed."}});

  // TR/Spy.Banker.AATZ: a forged executable among the user's files.
  const std::string spyName = "TR/Spy.Banker.AATZ";
  const std::wstring invoice = f.desktop + L"\\invoice.exe";
  lab.items.push_back(File(spyName, invoice, ForgedPe(spy->second)));
  for (const wchar_t* name : {L"amp.ini", L"msupdate.dll", L"c__2303.nls"}) {
    lab.items.push_back(Companion(spyName, f.system + L"\\" + name));
  }
  lab.items.push_back(Companion(spyName, f.windows + L"\\setup.cmd"));
  const std::wstring spyKey = std::wstring(L"CLSID\\") + kSpyClsid;
  for (const std::wstring& key :
       {spyKey + L"\\InprocServer32", spyKey + L"\\ProgID", spyKey,
        std::wstring(kServiceProgId) + L"\\Clsid", std::wstring(kServiceProgId)}) {
    lab.items.push_back(Key(spyName, HKEY_CLASSES_ROOT, L"HKCR", key, Outcome::kRemoved));
  }
  lab.items.push_back(Key(spyName, HKEY_LOCAL_MACHINE, L"HKLM",
                          std::wstring(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                       L"Browser Helper Objects\\") +
                              kSpyClsid,
                          Outcome::kRemoved));
  lab.items.push_back(Key("", HKEY_CLASSES_ROOT, L"HKCR",
                          std::wstring(L"CLSID\\") + kLabClsid + L"\\InprocServer32",
                          Outcome::kLeft));
  lab.findings.push_back(
      {spyName,
       L"in file invoice.exe",
       {L"TR/Spy.Banker.AATZ was found in file " + invoice + L" !", L"removing executable ...done",
        L"cleaning registry keys ...done", L"TR/Spy.Banker.AATZ was successfully removed."}});

  // A second copy in folders whose path is longer than the 259 characters
  // that the system takes as they are: found, and removed, in its "\\?\"
  // form.
  std::wstring deepFolder = f.desktop + L"\\Deep";
  for (const wchar_t letter : {L'a', L'b', L'c'}) deepFolder += L"\\" + std::wstring(100, letter);
  const std::wstring deepInvoice = L"\\\\?\\" + deepFolder + L"\\invoice.exe";
  lab.items.push_back(File(spyName, deepInvoice, ForgedPe(spy->second)));
  lab.findings.push_back({spyName,
                          L"in a file deeper than 259 characters",
                          {L"TR/Spy.Banker.AATZ was found in file " + deepInvoice + L" !",
                           L"TR/Spy.Banker.AATZ was successfully removed."}});

  // Sober.J and Sober.Y: forged executables, their companions and start-up
  // values.
  const std::wstring dgssxy = f.system + L"\\dgssxy.exe";
  lab.items.push_back(File("Sober.J", dgssxy, ForgedPe(*soberJ)));
  for (const wchar_t* name : {L"dgsfzipp.gmx", L"datamx.dam", L"read.me"}) {
    lab.items.push_back(Companion("Sober.J", f.system + L"\\" + name));
  }
  lab.items.push_back(Value("Sober.J", HKEY_CURRENT_USER, L"HKCU", kRunKey, L"SysDgs",
                            Upper(dgssxy) + L" -start", Outcome::kRemoved));
  lab.findings.push_back(
      {"Sober.J",
       L"in file dgssxy.exe",
       {L"Sober.J was found in file " + dgssxy + L" !", L"Sober.J was successfully removed."}});

  // Sober.Y runs as a copy of the waiting program with its memory signature,
  // named services.exe like the system's service control manager but in a
  // folder of its own: it is ended, Wine's services.exe in the system folder
  // is left running.
  const std::wstring winSecurity = f.windows + L"\\WinSecurity";
  const std::wstring services = winSecurity + L"\\services.exe";
  Bytes infectedServices = *waiter;
  std::copy(soberYMemory->begin(), soberYMemory->end(),
            infectedServices.begin() + waiterRoom->PointerToRawData() + 0x100);
  lab.items.push_back(File("Sober.Y", services, infectedServices));
  lab.items.push_back(InfectedProcess("Sober.Y", services, f.state));
  lab.items.push_back(SystemProcess(f.system + L"\\services.exe"));
  for (const wchar_t* name : {L"smss.exe", L"csrss.exe", L"starter.run", L"socket1.ifo"}) {
    lab.items.push_back(Companion("Sober.Y", winSecurity + L"\\" + name));
  }
  lab.items.push_back(Value("Sober.Y", HKEY_LOCAL_MACHINE, L"HKLM", kRunKey, L"WinSecurity",
                            services, Outcome::kRemoved));
  lab.items.push_back(Value("Sober.Y", HKEY_CURRENT_USER, L"HKCU", kRunOnceKey,
                            L"WinSecurity Session", winSecurity + L"\\smss.exe",
                            Outcome::kRemoved));
  lab.findings.push_back({"Sober.Y",
                          L"in memory, services.exe",
                          {L"Sober.Y was found in memory !", L"terminating process ...done",
                           L"removing executable ...done", L"Sober.Y was successfully removed."}});

  // W32/Stanit: an infected copy of the console program beside clean
  // programs, and a dropper.
  const std::wstring tools = f.programFiles + L"\\Lab Tools";
  lab.repairedProgram = tools + L"\\hello.exe";
  Bytes infectedHost = *consoleHost;
  if (!qrt_test::InfectWithStanit(infectedHost, hostRoom->VirtualAddress())) {
    error = "cannot infect the console program";
    return std::nullopt;
  }
  Bytes repairedHost = *consoleHost;
  std::fill_n(repairedHost.begin() + hostRoom->PointerToRawData(), handlers::kStanitBodySize, 0);
  lab.items.push_back(
      KeptFile("W32/Stanit", lab.repairedProgram, infectedHost, repairedHost, Outcome::kRepaired));
  lab.items.push_back(
      KeptFile("", tools + L"\\clean.exe", *consoleHost, *consoleHost, Outcome::kLeft));
  lab.items.push_back(KeptFile("", tools + L"\\tool.exe", *waiter, *waiter, Outcome::kLeft));
  qrt_test::PeSample dropper;
  dropper.sections[0].rawSize = 0x1000;
  dropper.sections[0].planted = {{0, qrt_test::StanitBody(0x1000)}};
  const std::wstring dropperPath = tools + L"\\setup.exe";
  lab.items.push_back(File("W32/Stanit", dropperPath, dropper.Build()));
  lab.findings.push_back(
      {"W32/Stanit",
       L"in file hello.exe",
       {L"W32/Stanit was found in file " + lab.repairedProgram + L" !",
        L"attempting to repair executable ...done", L"W32/Stanit was successfully removed."}});
  lab.findings.push_back(
      {"W32/Stanit",
       L"dropper setup.exe",
       {L"W32/Stanit was found in file " + dropperPath + L" !",
        L"attempting to repair executable ...file is dropper, removing executable ...done"}});

  // Trojan/LabDemo.A: start-up values, ini entries, hosts lines and keys,
  // each beside a neighbour that must stay.
  const std::string labName = Utf8(Wide(kLabMalware));
  const std::wstring labSvc = f.system + L"\\labsvc.exe";
  const std::wstring notepad = f.windows + L"\\notepad.exe";
  lab.items.push_back(File(labName, labSvc, ForgedPe(*labSignature)));
  lab.items.push_back(Companion(labName, f.windows + L"\\labdemo.dll"));
  lab.items.push_back(Companion(labName, f.system + L"\\labdemo.dat"));
  lab.items.push_back(
      Value(labName, HKEY_LOCAL_MACHINE, L"HKLM", kRunKey, L"LabSvc", labSvc, Outcome::kRemoved));
  lab.items.push_back(Value(labName, HKEY_CURRENT_USER, L"HKCU", kRunKey, L"LabHelper",
                            f.windows + L"\\labhelper.exe", Outcome::kRemoved));
  lab.items.push_back(
      Value("", HKEY_CURRENT_USER, L"HKCU", kRunKey, L"LabNotes", notepad, Outcome::kLeft));

  lab.winIni = f.windows + L"\\win.ini";
  lab.systemIni = f.windows + L"\\system.ini";
  const std::wstring shell = L"explorer.exe " + labSvc;
  lab.items.push_back(
      IniEntry(labName, lab.winIni, L"windows", L"load", labSvc, L"", Outcome::kRepaired));
  lab.items.push_back(
      IniEntry("", lab.winIni, L"windows", L"run", notepad, notepad, Outcome::kLeft));
  lab.items.push_back(IniEntry(labName, lab.systemIni, L"boot", L"shell", shell, L"explorer.exe",
                               Outcome::kRepaired));
  lab.items.push_back(IniEntry("", lab.systemIni, L"boot", L"drivers", L"mmsystem.dll",
                               L"mmsystem.dll", Outcome::kLeft));
  lab.iniChanges = {{lab.winIni, L"windows", L"load=" + labSvc, L"load="},
                    {lab.systemIni, L"boot", L"shell=" + shell, L"shell=explorer.exe"}};

  lab.hostsPath = f.system + L"\\drivers\\etc\\hosts";
  const std::string comment = "# hosts file of the infection lab";
  const std::string localhost = "127.0.0.1\tlocalhost";
  const std::string bank = "10.66.0.7\twww.lab-bank.example";
  const std::string update = "10.66.0.8  update.lab-bank.example\tupdate";
  const std::string neighbour = "10.66.0.9\twww.lab-neighbour.example";
  for (const std::string& line : {comment, localhost, bank, update, neighbour}) {
    lab.hostsPlanted += line + "\r\n";
    const bool off = line == bank || line == update;
    lab.hostsExpected += (off ? "# " : "") + line + "\r\n";
    lab.items.push_back(HostsLine(off ? labName : "", lab.hostsPath, line,
                                  off ? Outcome::kDisabled : Outcome::kLeft));
  }

  lab.items.push_back(
      Key(labName, HKEY_LOCAL_MACHINE, L"HKLM", L"SOFTWARE\\LabDemo\\Settings", Outcome::kRemoved));
  lab.items.push_back(
      Key(labName, HKEY_LOCAL_MACHINE, L"HKLM", L"SOFTWARE\\LabDemo", Outcome::kRemoved));
  lab.items.push_back(
      Key("", HKEY_LOCAL_MACHINE, L"HKLM", L"SOFTWARE\\LabDemoKeep", Outcome::kLeft));
  lab.findings.push_back(
      {labName,
       L"in file labsvc.exe",
       {Wide(kLabMalware) + L" was found in file " + labSvc + L" !", L"removing executable ...done",
        L"deleting companion file " + f.windows + L"\\labdemo.dll ...done",
        L"deleting companion file " + f.system + L"\\labdemo.dat ...done",
        L"cleaning \"win.ini\" file ...done", L"cleaning \"system.ini\" file ...done",
        L"cleaning \"hosts\" file ...done", L"cleaning registry keys ...done",
        Wide(kLabMalware) + L" was successfully removed."}});
  return lab;
}

}  // namespace lab
