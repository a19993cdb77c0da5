// The memory scan benchmark: the real memory scanner over the processes of
// the system it runs on, with the program's own handler list (the built-in
// handlers and the built-in description script), in both read modes: one
// ReadProcessMemory per 64 KB window, and spans of sixteen windows. Findings
// are only counted; nothing is removed.
//
//   memory_scan_bench.exe [--repeat N] [--hosts N]
//   memory_scan_bench.exe --wait SECONDS
//
// It first starts N copies of itself with --wait (3 by default) as processes
// with large images of our own, and waits until each has its modules loaded.
// Then it runs N rounds (5 by default), each a scan in window mode and one in
// span mode, and last reads the file of every module of every process once
// (the same bytes from the page cache, a floor for what the scan reads).
// Main executables are not checked on disk: only the memory reads are timed.
//
// Printed on standard output, one "key: value" per line: the processes,
// modules and megabytes of a scan, every round's milliseconds per mode, the
// median per mode with its megabytes per second, and the module files' time.
// Run it only in a prefix of its own (bench/memory-scan-bench.sh): it reads
// every process of its wineserver.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// After <windows.h>, which it needs.
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "descriptions/builtin_script.h"
#include "descriptions/script_loading.h"
#include "descriptions/script_parser.h"
#include "detect/memory_scanner.h"
#include "engine/malware_database.h"
#include "handlers/builtin_handlers.h"
#include "platform/win32/win32_system.h"
#include "system/system_context.h"
#include "tests/support/scan_context_stub.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The modules of process `id` by Tool Help; empty when it cannot be listed.
std::vector<std::wstring> ModulePaths(DWORD id) {
  std::vector<std::wstring> paths;
  HANDLE modules = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, id);
  if (modules == INVALID_HANDLE_VALUE) return paths;
  MODULEENTRY32W module{};
  module.dwSize = sizeof module;
  for (BOOL next = ::Module32FirstW(modules, &module); next;
       next = ::Module32NextW(modules, &module)) {
    paths.emplace_back(module.szExePath);
  }
  ::CloseHandle(modules);
  return paths;
}

std::set<std::wstring> AllModulePaths() {
  std::set<std::wstring> paths;
  HANDLE processes = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (processes == INVALID_HANDLE_VALUE) return paths;
  PROCESSENTRY32W process{};
  process.dwSize = sizeof process;
  for (BOOL more = ::Process32FirstW(processes, &process); more;
       more = ::Process32NextW(processes, &process)) {
    for (std::wstring& path : ModulePaths(process.th32ProcessID)) {
      std::transform(path.begin(), path.end(), path.begin(), ::towlower);
      paths.insert(std::move(path));
    }
  }
  ::CloseHandle(processes);
  return paths;
}

// Copies of this program that wait: processes with large images of ours.
class Hosts {
 public:
  bool Start(int count) {
    wchar_t self[MAX_PATH];
    if (::GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return false;
    for (int i = 0; i < count; ++i) {
      std::wstring command = L"\"" + std::wstring(self) + L"\" --wait 600";
      STARTUPINFOW startup{};
      startup.cb = sizeof startup;
      PROCESS_INFORMATION info{};
      if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info)) {
        return false;
      }
      ::CloseHandle(info.hThread);
      processes_.push_back(info);
      // Up when its module list holds more than the program itself.
      for (int tries = 0; tries < 200 && ModulePaths(info.dwProcessId).size() < 3; ++tries) {
        ::Sleep(25);
      }
    }
    return true;
  }
  ~Hosts() {
    for (const PROCESS_INFORMATION& info : processes_) {
      ::TerminateProcess(info.hProcess, 0);
      ::WaitForSingleObject(info.hProcess, 5000);
      ::CloseHandle(info.hProcess);
    }
  }

 private:
  std::vector<PROCESS_INFORMATION> processes_;
};

int Run(int rounds, int hostCount) {
  Hosts hosts;
  if (!hosts.Start(hostCount)) {
    std::fprintf(stderr, "cannot start the waiting copies\n");
    return 1;
  }
  const std::unique_ptr<platform::System> system = platform::win32::CreateSystem();
  sys::SystemContext context(*system);
  descriptions::ScriptParser parser(
      context, descriptions::ScriptTextFromBytes(descriptions::BuiltInScriptBytes()));
  if (!parser.ParseScript()) {
    std::fprintf(stderr, "the built-in script does not parse\n");
    return 1;
  }
  bool lacksMemorySignature = false;
  const engine::HandlerList list = engine::MakeHandlerList(handlers::CreateBuiltInHandlers(),
                                                           parser.records(), lacksMemorySignature);
  const auto handlers = list.handlers();
  const std::vector<scan::MalwareHandler*> owners(handlers.begin(), handlers.end());

  detect::MemoryScanner scanner(context);
  std::vector<double> milliseconds[2];
  scan::ScanStatistics last[2];
  for (int round = 0; round < rounds; ++round) {
    for (const bool spans : {false, true}) {
      qrt_test::ScanContextStub scan(context, owners);
      scan.lacksMemory = false;
      scanner.SetSpanReads(spans);
      const Clock::time_point start = Clock::now();
      const codes::ScanResult result = scanner.Run(scan, {});
      milliseconds[spans].push_back(MillisecondsSince(start));
      if (result != codes::ScanResult::kDone) {
        std::fprintf(stderr, "the scan answered %d\n", static_cast<int>(result));
        return 1;
      }
      last[spans] = scan.stats();
    }
  }

  std::vector<std::uint8_t> buffer(65536);
  std::uint64_t bytes = 0;
  const std::set<std::wstring> paths = AllModulePaths();
  const Clock::time_point start = Clock::now();
  for (const std::wstring& path : paths) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    DWORD read = 0;
    while (::ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr) &&
           read != 0) {
      bytes += read;
    }
    ::CloseHandle(file);
  }
  const double fileMilliseconds = MillisecondsSince(start);

  const char* const names[2] = {"windows", "spans"};
  for (const bool spans : {false, true}) {
    const scan::ScanStatistics& s = last[spans];
    const double megabytes = s.memoryScanKilobytes / 1024.0;
    std::printf("%s: processes %d, modules %d, infected %d, %.2f MB\n", names[spans],
                s.scannedProcesses, s.scannedModules, s.infectedProcesses, megabytes);
    std::printf("%s rounds (ms):", names[spans]);
    for (double ms : milliseconds[spans]) std::printf(" %.1f", ms);
    const double median = Median(milliseconds[spans]);
    std::printf("\n%s median: %.1f ms, %.0f MB/s\n", names[spans], median,
                megabytes / (median / 1000.0));
  }
  std::printf("speed-up (median windows / median spans): %.2fx\n",
              Median(milliseconds[0]) / Median(milliseconds[1]));
  std::printf("module files: %d files, %.2f MB read once in %.1f ms\n",
              static_cast<int>(paths.size()), static_cast<double>(bytes) / (1024.0 * 1024.0),
              fileMilliseconds);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int rounds = 5;
  int hosts = 3;
  for (int i = 1; i < argc; ++i) {
    const std::wstring argument = argv[i];
    if (argument == L"--wait" && i + 1 < argc) {
      ::Sleep(static_cast<DWORD>(std::wcstoul(argv[i + 1], nullptr, 10)) * 1000);
      return 0;
    }
    if (argument == L"--repeat" && i + 1 < argc) {
      rounds = std::max(1, static_cast<int>(std::wcstol(argv[++i], nullptr, 10)));
    } else if (argument == L"--hosts" && i + 1 < argc) {
      hosts = std::max(0, static_cast<int>(std::wcstol(argv[++i], nullptr, 10)));
    } else {
      std::fprintf(stderr,
                   "usage: memory_scan_bench.exe [--repeat N] [--hosts N] | --wait SECONDS\n");
      return 2;
    }
  }
  return Run(rounds, hosts);
}
