// qrt-lab: the infection lab's Windows side. Run under Wine in a confined
// prefix (no drive but C:), from the folder that holds it and its sample
// programs (lab-wait.exe, qrt_console_host.exe):
//
//   qrt-lab make-tool SOURCE_EXE DEST_EXE
//       copies the program and appends the lab's own malware block to its
//       description script (resource SCRIPTFILE 161)
//   qrt-lab plant
//       makes the prefix look infected: files, registry, win.ini,
//       system.ini, hosts, and a running infected process; prints what it
//       planted and keeps under C:\lab\ what check needs
//   qrt-lab make-self-infected SOURCE_EXE DEST_EXE
//       copies the program with one more section that holds the body of the
//       file infector W32/Stanit: the section is mapped, never run, and the
//       program's memory scan finds the virus in its own process
//   qrt-lab check --log LOG1 --status N1 --silent-log LOG2 --silent-status N2
//                 --self-log LOG3 --self-status N3 --popups FILE [GoogleTest flags]
//       after the program's windowed run (LOG1, N1, the message boxes it
//       showed in FILE as qrt-auto's message-boxes prints them), its
//       silent rerun (LOG2, N2) and the silent run of the infected copy
//       (LOG3, N3): one test per expectation, then a summary table
//
// Exit status: 0 on success, 1 on failure, 2 on wrong usage or when the
// prefix offers any drive other than C: (so that nothing of the host can be
// touched).
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "descriptions/script_loading.h"
#include "descriptions/script_parser.h"
#include "lab_check.h"
#include "lab_plan.h"
#include "lab_system.h"
#include "platform/win32/win32_system.h"
#include "system/system_context.h"
#include "tests/support/stanit_samples.h"
#include "tests/win32/sample_files.h"

namespace lab {
namespace {

constexpr char kUsage[] =
    "usage: qrt-lab make-tool SOURCE_EXE DEST_EXE\n"
    "       qrt-lab make-self-infected SOURCE_EXE DEST_EXE\n"
    "       qrt-lab plant\n"
    "       qrt-lab check --log LOG1 --status N1 --silent-log LOG2 --silent-status N2 "
    "--self-log LOG3 --self-status N3 --popups FILE [GoogleTest flags]\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "qrt-lab: %s\n", message.c_str());
  return 1;
}

// The description script of `source` (its SCRIPTFILE 161 resource, past the
// byte-order mark), or nothing.
std::optional<std::u16string> ScriptOf(const std::wstring& source) {
  HMODULE module = ::LoadLibraryExW(source.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return std::nullopt;
  std::optional<std::u16string> script;
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(161), L"SCRIPTFILE");
  HGLOBAL loaded = found != nullptr ? ::LoadResource(module, found) : nullptr;
  const void* data = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (data != nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    script = descriptions::ScriptTextFromBytes(
        std::span<const std::uint8_t>(bytes, ::SizeofResource(module, found)));
  }
  ::FreeLibrary(module);
  return script;
}

// Empty when the program's parser reads `script` without a message and
// finds the lab's malware in it; else the message.
std::string ParseProblem(const std::u16string& script) {
  const std::unique_ptr<platform::System> system = platform::win32::CreateSystem();
  sys::SystemContext context(*system);
  std::string problem;
  descriptions::ScriptParser parser(context, script,
                                    [&problem](std::u16string_view, std::u16string_view text) {
                                      problem += Utf8(std::wstring(text.begin(), text.end()));
                                    });
  if (!parser.ParseScript()) return problem.empty() ? "parse error" : problem;
  if (!problem.empty()) return problem;
  for (const auto& record : parser.records()) {
    if (record.baseName + u"." + record.variantName == kLabMalware) return "";
  }
  return "the lab's block is not among the script's records";
}

int MakeTool(const std::wstring& source, const std::wstring& destination) {
  std::optional<std::u16string> script = ScriptOf(source);
  if (!script) return Fail("no description script in " + Utf8(source));
  if (!script->empty() && script->back() != u'\n') *script += u"\r\n";
  *script += u"\r\n";
  *script += kLabBlock;
  if (const std::string problem = ParseProblem(*script); !problem.empty()) {
    return Fail("the new script does not parse: " + problem);
  }
  if (!::CopyFileW(source.c_str(), destination.c_str(), FALSE)) {
    return Fail("cannot copy to " + Utf8(destination));
  }
  std::u16string data = u"\uFEFF" + *script;
  HANDLE update = ::BeginUpdateResourceW(destination.c_str(), FALSE);
  if (update == nullptr) return Fail("BeginUpdateResourceW failed");
  const BOOL replaced = ::UpdateResourceW(update, L"SCRIPTFILE", MAKEINTRESOURCEW(161),
                                          MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), data.data(),
                                          static_cast<DWORD>(data.size() * sizeof(char16_t)));
  if (!::EndUpdateResourceW(update, replaced ? FALSE : TRUE) || !replaced) {
    return Fail("cannot replace the script resource of " + Utf8(destination));
  }
  std::printf("%s: the script of %s with the block of %s appended\n", Utf8(destination).c_str(),
              Utf8(source).c_str(),
              Utf8(std::wstring(std::begin(kLabMalware), std::end(kLabMalware) - 1)).c_str());
  return 0;
}

// The program at `source` with a section ".stanit" appended that holds the
// virus body (its stub names the program's own entry point, which stays as
// it is): the loader maps the section, nothing runs it.
int MakeSelfInfected(const std::wstring& source, const std::wstring& destination) {
  auto file = qrt_test::ReadWholeFile(source);
  if (!file) return Fail("cannot read " + Utf8(source));
  Bytes& b = *file;
  const auto u32 = [&b](std::size_t at) -> std::uint32_t {
    return at + 4 <= b.size() ? b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                                    (static_cast<std::uint32_t>(b[at + 3]) << 24)
                              : 0;
  };
  const auto put32 = [&b](std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  const auto align = [](std::uint32_t value, std::uint32_t unit) {
    return unit == 0 ? value : (value + unit - 1) / unit * unit;
  };
  const std::uint32_t pe = u32(0x3C);
  if (pe + 24 > b.size() || u32(pe) != 0x00004550) return Fail("not a PE file: " + Utf8(source));
  const std::size_t optional = pe + 24;
  const std::uint16_t sections = static_cast<std::uint16_t>(b[pe + 6] | (b[pe + 7] << 8));
  const std::uint16_t optionalSize = static_cast<std::uint16_t>(b[pe + 20] | (b[pe + 21] << 8));
  const std::uint32_t entryPoint = u32(optional + 16);
  const std::uint32_t sectionAlignment = u32(optional + 32);
  const std::uint32_t fileAlignment = u32(optional + 36);
  const std::uint32_t headersSize = u32(optional + 60);
  const std::size_t table = optional + optionalSize;
  const std::size_t header = table + std::size_t{sections} * 40;
  std::uint32_t firstRaw = headersSize;
  std::uint32_t imageEnd = 0;
  for (std::size_t i = 0; i < sections; ++i) {
    const std::size_t at = table + i * 40;
    const std::uint32_t raw = u32(at + 20);
    if (u32(at + 16) != 0 && raw != 0) firstRaw = std::min(firstRaw, raw);
    imageEnd = std::max(
        imageEnd, align(u32(at + 12) + std::max(u32(at + 8), u32(at + 16)), sectionAlignment));
  }
  if (header + 40 > firstRaw || header + 40 > b.size()) {
    return Fail("no room for one more section header in " + Utf8(source));
  }
  const Bytes body = qrt_test::StanitBody(entryPoint);
  const auto bodySize = static_cast<std::uint32_t>(body.size());
  const std::uint32_t rawAt = align(static_cast<std::uint32_t>(b.size()), fileAlignment);
  const std::uint32_t rawSize = align(bodySize, fileAlignment);
  const char name[8] = {'.', 's', 't', 'a', 'n', 'i', 't', 0};
  std::copy(name, name + 8, b.begin() + static_cast<std::ptrdiff_t>(header));
  put32(header + 8, bodySize);
  put32(header + 12, imageEnd);
  put32(header + 16, rawSize);
  put32(header + 20, rawAt);
  put32(header + 24, 0);
  put32(header + 28, 0);
  put32(header + 32, 0);
  put32(header + 36, 0x40000040);  // initialised data, readable
  b[pe + 6] = static_cast<std::uint8_t>(sections + 1);
  b[pe + 7] = static_cast<std::uint8_t>((sections + 1) >> 8);
  put32(optional + 56, align(imageEnd + bodySize, sectionAlignment));  // SizeOfImage
  b.resize(rawAt, 0);
  b.insert(b.end(), body.begin(), body.end());
  b.resize(std::size_t{rawAt} + rawSize, 0);
  if (!WriteFileMakingFolders(destination, b)) return Fail("cannot write " + Utf8(destination));
  std::printf("%s: %s with the body of W32/Stanit in a section that never runs\n",
              Utf8(destination).c_str(), Utf8(source).c_str());
  return 0;
}

int Plant() {
  std::string error;
  const std::optional<Lab> made = MakeLab(error);
  if (!made) return Fail(error);
  const Lab& lab = *made;
  ::CreateDirectoryW(lab.folders.state.c_str(), nullptr);
  bool all = WriteFileMakingFolders(lab.hostsPath,
                                    Bytes(lab.hostsPlanted.begin(), lab.hostsPlanted.end()));
  std::printf("%-8s %-20s hosts file %s\n", all ? "planted" : "FAILED", "",
              Utf8(lab.hostsPath).c_str());
  for (const Item& item : lab.items) {
    if (!item.plant) continue;
    const std::string fault = item.plant();
    all = all && fault.empty();
    std::printf("%-8s %-20s %s%s\n", fault.empty() ? "planted" : "FAILED",
                item.malware.empty() ? "(neighbour)" : item.malware.c_str(),
                Utf8(item.what).c_str(), fault.empty() ? "" : (": " + fault).c_str());
  }
  for (const std::wstring& file : {lab.winIni, lab.systemIni}) {
    std::string entries;
    for (const std::string& entry : lab.IniEntriesOf(file)) entries += entry + "\r\n";
    if (!WriteFileMakingFolders(lab.PlantedEntriesOf(file),
                                Bytes(entries.begin(), entries.end()))) {
      all = false;
      std::printf("FAILED   cannot keep the entries of %s\n", Utf8(file).c_str());
    }
  }
  std::fflush(stdout);
  return all ? 0 : Fail("not everything was planted");
}

std::optional<int> Number(const wchar_t* text) {
  wchar_t* end = nullptr;
  const long value = std::wcstol(text, &end, 10);
  if (end == text || *end != 0) return std::nullopt;
  return static_cast<int>(value);
}

int Check(int argc, wchar_t** argv) {
  RunResult windowed;
  RunResult silent;
  RunResult self;
  bool haveStatuses[3] = {false, false, false};
  std::wstring popups;
  // Our options are taken out; GoogleTest's stay for it.
  std::vector<wchar_t*> rest = {argv[0]};
  for (int i = 2; i < argc; ++i) {
    const std::wstring option = argv[i];
    const bool ours = option == L"--log" || option == L"--status" || option == L"--silent-log" ||
                      option == L"--silent-status" || option == L"--self-log" ||
                      option == L"--self-status" || option == L"--popups";
    if (!ours) {
      rest.push_back(argv[i]);
      continue;
    }
    if (i + 1 >= argc) return 2;
    const wchar_t* value = argv[++i];
    if (option == L"--log") {
      windowed.log = value;
    } else if (option == L"--popups") {
      popups = value;
    } else if (option == L"--silent-log") {
      silent.log = value;
    } else if (option == L"--self-log") {
      self.log = value;
    } else {
      const auto number = Number(value);
      if (!number) return 2;
      const int run = option == L"--status" ? 0 : option == L"--silent-status" ? 1 : 2;
      (run == 0 ? windowed : run == 1 ? silent : self).status = *number;
      haveStatuses[run] = true;
    }
  }
  if (windowed.log.empty() || silent.log.empty() || self.log.empty() || popups.empty() ||
      !haveStatuses[0] || !haveStatuses[1] || !haveStatuses[2]) {
    return 2;
  }
  std::string error;
  const std::optional<Lab> lab = MakeLab(error);
  if (!lab) return Fail(error);
  rest.push_back(nullptr);
  return RunCheck(*lab, {windowed, silent, self}, popups, static_cast<int>(rest.size() - 1),
                  rest.data());
}

}  // namespace
}  // namespace lab

int wmain(int argc, wchar_t** argv) {
  const std::optional<std::wstring> others = lab::OtherDrives();
  if (!others || !others->empty()) {
    std::fprintf(stderr,
                 "qrt-lab: refused: the prefix offers drives other than C: (%s); run it only in a "
                 "confined prefix\n",
                 others ? lab::Utf8(*others).c_str() : "the drive list cannot be read");
    return 2;
  }
  const std::wstring command = argc >= 2 ? argv[1] : L"";
  int result = 2;
  if (command == L"make-tool" && argc == 4) {
    result = lab::MakeTool(argv[2], argv[3]);
  } else if (command == L"make-self-infected" && argc == 4) {
    result = lab::MakeSelfInfected(argv[2], argv[3]);
  } else if (command == L"plant" && argc == 2) {
    result = lab::Plant();
  } else if (command == L"check") {
    result = lab::Check(argc, argv);
  }
  if (result == 2) std::fputs(lab::kUsage, stderr);
  return result;
}
