// The repair of an executable infected by W32/Stanit, for real: a copy of a
// tiny console program of ours is infected (the body forged into a section
// that the program never reads, the entry point pointed at it), written to
// drive Q:, found by the file scanner with the built-in handlers and
// repaired through the Win32 backend; the repaired copy then runs and
// prints what the program prints.
//
// Runs only in the prefix that run-scan-prefix.sh makes (no Z:, Q: an empty
// folder of its own), with qrt_console_host.exe copied beside it.
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
#include <vector>

#include "detect/file_scanner.h"
#include "handlers/builtin_handlers.h"
#include "handlers/stanit_handler.h"
#include "platform/win32/win32_system.h"
#include "sample_files.h"
#include "system/system_context.h"
#include "tests/support/pe_samples.h"
#include "tests/support/scan_context_stub.h"
#include "tests/support/stanit_samples.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

using qrt_test::Folder;
using qrt_test::ReadWholeFile;
using qrt_test::RunProgram;
using qrt_test::SectionNamed;
using qrt_test::WriteWholeFile;

TEST(StanitRepairWine, InfectedCopyOfOurProgramIsRepairedAndRunsAsBefore) {
  ASSERT_EQ(::GetDriveTypeW(L"Z:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR))
      << "Z: maps the host's file system; run this program through run-scan-prefix.sh";
  ASSERT_EQ(::GetDriveTypeW(L"Q:\\"), static_cast<UINT>(DRIVE_FIXED));

  const std::wstring original = Folder() + L"qrt_console_host.exe";
  const auto clean = RunProgram(original);
  ASSERT_TRUE(clean.has_value());
  EXPECT_EQ(clean->output, "console host ran to its end\r\n");
  EXPECT_EQ(clean->exitCode, 0u);

  const auto bytes = ReadWholeFile(original);
  ASSERT_TRUE(bytes.has_value());
  const auto room = SectionNamed(*bytes, ".room");
  ASSERT_TRUE(room.has_value());
  Bytes infected = *bytes;
  ASSERT_TRUE(qrt_test::InfectWithStanit(infected, room->VirtualAddress()));
  EXPECT_EQ(qrt_test::HeadersOf(infected).AddressOfEntryPoint(), room->VirtualAddress());
  ASSERT_TRUE(::CreateDirectoryW(L"Q:\\infected", nullptr));
  const std::wstring copy = L"Q:\\infected\\host.exe";
  ASSERT_TRUE(WriteWholeFile(copy, infected));

  const std::unique_ptr<platform::System> system = platform::win32::CreateSystem();
  sys::SystemContext systemContext(*system);
  const handlers::BuiltInHandlerTable table = handlers::CreateBuiltInHandlers();
  std::vector<scan::MalwareHandler*> handlerList;
  for (const auto& handler : table) handlerList.push_back(handler.get());
  qrt_test::ScanContextStub context(systemContext, handlerList);
  detect::FileScanner scanner(systemContext);
  EXPECT_EQ(scanner.Run(context, {u"Q:"}), codes::ScanResult::kMalwareFound);
  EXPECT_EQ(
      context.recorder().TakeLines(),
      (std::vector<std::string>{
          "", "Scanning drive Q: ...", "[W32/Stanit] was found in file Q:\\infected\\host.exe !",
          "attempting to repair executable ...done", "[W32/Stanit] was successfully removed."}));
  EXPECT_EQ(context.stats().removedFiles, 1);

  // The program's own file, with the body cleared where it was forged.
  Bytes expected = *bytes;
  std::fill_n(expected.begin() + room->PointerToRawData(), handlers::kStanitBodySize, 0);
  EXPECT_EQ(ReadWholeFile(copy), expected);

  const auto repaired = RunProgram(copy);
  ASSERT_TRUE(repaired.has_value());
  EXPECT_EQ(repaired->output, clean->output);
  EXPECT_EQ(repaired->exitCode, 0u);
}

}  // namespace
