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
//   qrt-lab check --log LOG1 --status N1 --silent-log LOG2 --silent-status N2
//                 --popups FILE [GoogleTest flags]
//       after the program's windowed run (LOG1, N1, the message boxes it
//       showed in FILE as qrt-auto's message-boxes prints them) and its
//       silent rerun (LOG2, N2): one test per expectation, then a summary
//       table
//
// Exit status: 0 on success, 1 on failure, 2 on wrong usage or when the
// prefix offers any drive other than C: (so that nothing of the host can be
// touched).
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

namespace lab {
namespace {

constexpr char kUsage[] =
    "usage: qrt-lab make-tool SOURCE_EXE DEST_EXE\n"
    "       qrt-lab plant\n"
    "       qrt-lab check --log LOG1 --status N1 --silent-log LOG2 --silent-status N2 "
    "--popups FILE [GoogleTest flags]\n";

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
  bool haveStatuses[2] = {false, false};
  std::wstring popups;
  // Our options are taken out; GoogleTest's stay for it.
  std::vector<wchar_t*> rest = {argv[0]};
  for (int i = 2; i < argc; ++i) {
    const std::wstring option = argv[i];
    const bool ours = option == L"--log" || option == L"--status" || option == L"--silent-log" ||
                      option == L"--silent-status" || option == L"--popups";
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
    } else {
      const auto number = Number(value);
      if (!number) return 2;
      const bool first = option == L"--status";
      (first ? windowed : silent).status = *number;
      haveStatuses[first ? 0 : 1] = true;
    }
  }
  if (windowed.log.empty() || silent.log.empty() || popups.empty() || !haveStatuses[0] ||
      !haveStatuses[1]) {
    return 2;
  }
  std::string error;
  const std::optional<Lab> lab = MakeLab(error);
  if (!lab) return Fail(error);
  rest.push_back(nullptr);
  return RunCheck(*lab, windowed, silent, popups, static_cast<int>(rest.size() - 1), rest.data());
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
  } else if (command == L"plant" && argc == 2) {
    result = lab::Plant();
  } else if (command == L"check") {
    result = lab::Check(argc, argv);
  }
  if (result == 2) std::fputs(lab::kUsage, stderr);
  return result;
}
