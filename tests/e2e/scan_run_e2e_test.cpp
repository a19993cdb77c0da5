// The scan run of the real program: a scan that ends by itself, Stop while
// scanning, Exit while scanning, a silent scan from the command line; and
// what the command line shows before any scan (help, a log file that cannot
// be written).
//
// Start really scans: the memory of the prefix's processes, then every fixed
// drive. The runner's prefixes offer their own C: alone (no Z:, the host's
// /), and every test here checks that before it clicks Start. A fresh
// prefix holds no malware; its C: holds about 700 MB of Wine.
#include <gtest/gtest.h>

#include <cstddef>
#include <cwchar>
#include <cwctype>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "running_tool.h"

namespace e2e {
namespace {

// A whole scan of a fresh prefix takes a few seconds.
constexpr Milliseconds kScanTimeout{60000};

// Texts of the output view (the rich edit gives its line breaks as CR LF).
constexpr wchar_t kMemoryScanned[] = L"Scanning memory... done\r\n";
constexpr wchar_t kNoMalwareInMemory[] = L"\r\nNo malware found in memory\r\n";
constexpr wchar_t kDriveLine[] = L"Scanning drive ";
constexpr wchar_t kScanningDriveC[] = L"\r\nScanning drive C: ...\r\n";
constexpr wchar_t kNoMalwareOnDrives[] = L"\r\nNo malware found on hard drives\r\n";
constexpr wchar_t kAbortedByUser[] = L"\r\nScan aborted by user\r\n";
constexpr wchar_t kReportHeading[] = L"scan results:\r\n";
constexpr wchar_t kThankYou[] = L"\r\nThank you for using Quelvix Removal Tool.\r\n";

constexpr DWORD kStoppedByUser = 0xFFFFFFF8;  // -8

// The text of a UTF-16LE file without byte-order mark; empty when it cannot
// be read.
std::wstring ReadUtf16File(const wchar_t* path) {
  HANDLE file = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::wstring text;
  wchar_t buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    text.append(buffer, read / sizeof(wchar_t));
  }
  ::CloseHandle(file);
  return text;
}

// The drives the system offers, as "C:\" strings one after the other.
std::wstring Drives() {
  wchar_t buffer[512];
  const DWORD n = ::GetLogicalDriveStringsW(static_cast<DWORD>(std::size(buffer)), buffer);
  if (n == 0 || n >= std::size(buffer)) return L"(GetLogicalDriveStringsW failed)";
  std::wstring drives;
  for (const wchar_t* drive = buffer; *drive != L'\0'; drive += std::wcslen(drive) + 1) {
    if (!drives.empty()) drives += L' ';
    drives += drive;
  }
  return drives;
}

// Whether TEXT holds PARTS one after the other, without overlap.
::testing::AssertionResult InOrder(const std::wstring& text,
                                   std::initializer_list<std::wstring_view> parts) {
  std::size_t at = 0;
  for (const std::wstring_view part : parts) {
    const std::size_t found = text.find(part, at);
    if (found == std::wstring::npos) {
      return ::testing::AssertionFailure()
             << "no \"" << Utf8(part) << "\" after offset " << at << " of the view:\n"
             << Utf8(text);
    }
    at = found + part.size();
  }
  return ::testing::AssertionSuccess();
}

std::size_t Occurrences(std::wstring_view text, std::wstring_view part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::wstring_view::npos;
       at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

// The number of the report line that starts with LABEL ("scanned files:"),
// after its tabs; nothing when there is no such line.
std::optional<long> ReportCount(const std::wstring& view, std::wstring_view label) {
  std::size_t at = view.find(std::wstring(L"\n").append(label));
  if (at == std::wstring::npos) return std::nullopt;
  at += 1 + label.size();
  while (at < view.size() && view[at] == L'\t') ++at;
  if (at == view.size() || !std::iswdigit(view[at])) return std::nullopt;
  return std::wcstol(view.c_str() + at, nullptr, 10);
}

class ScanRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Start scans every drive the prefix offers: never with the host's / as
    // Z: or anything else besides the prefix's own C:.
    ASSERT_EQ(Drives(), L"C:\\") << "the prefix must offer its own C: alone (run.sh)";
    if (startsAtSetUp_) {
      ASSERT_NO_FATAL_FAILURE(Launch(L""));
    }
  }

  // Starts the program with ARGUMENTS and waits for its window.
  void Launch(const std::wstring& arguments) {
    ASSERT_NO_FATAL_FAILURE(tool_.Start(arguments));
    ASSERT_NO_FATAL_FAILURE(tool_.WaitForMainWindow());
  }

  std::wstring ViewText() const {
    const auto text = tool_.window().ControlText(kOutputView);
    EXPECT_TRUE(Ok(text));
    return text ? *text : std::wstring();
  }

  // Waits until the output view holds PART; gives the view's text.
  std::wstring WaitForView(std::wstring_view part) const {
    std::wstring last;
    const auto shown = Poll(kScanTimeout, [&]() -> std::optional<std::wstring> {
      const auto text = tool_.window().ControlText(kOutputView);
      if (!text) return std::nullopt;
      last = *text;
      return last.find(part) != std::wstring::npos ? std::optional(last) : std::nullopt;
    });
    EXPECT_TRUE(shown) << "the view never shows \"" << Utf8(part) << "\":\n" << Utf8(last);
    return last;
  }

  bool Enabled(int id) const {
    const auto enabled = tool_.window().ControlEnabled(id);
    return enabled && *enabled;
  }

  // Clicks Start and waits until the window shows the scan running.
  void StartScan() const {
    tool_.Click(kStartButton);
    const auto running = Poll(Milliseconds{10000}, [&]() -> std::optional<bool> {
      return Enabled(kStopButton) ? std::optional(true) : std::nullopt;
    });
    ASSERT_TRUE(running) << "Stop never became enabled after Start";
  }

  // Waits until the window is idle again: Start and Exit enabled, Stop not.
  void ExpectIdleAfterScan() const {
    Poll(kScanTimeout, [&]() -> std::optional<bool> {
      const bool idle = Enabled(kStartButton) && Enabled(kExitButton) && !Enabled(kStopButton);
      return idle ? std::optional(true) : std::nullopt;
    });
    tool_.ExpectButton(kStartButton, L"&Start scan", true);
    tool_.ExpectButton(kStopButton, L"S&top scan", false);
    tool_.ExpectButton(kExitButton, L"E&xit", true);
  }

  RunningTool tool_;
  bool startsAtSetUp_ = true;
};

// Tests that start the program with a command line of their own.
class CommandLineRunTest : public ScanRunTest {
 protected:
  CommandLineRunTest() { startsAtSetUp_ = false; }
};

TEST_F(ScanRunTest, ScanOfMemoryAndDriveCEndsByItselfWithTheReportThenExitGives0) {
  ASSERT_NO_FATAL_FAILURE(StartScan());
  tool_.ExpectButton(kStartButton, L"&Start scan", false);
  tool_.ExpectButton(kExitButton, L"E&xit", true);

  WaitForView(kThankYou);
  ExpectIdleAfterScan();
  const std::wstring view = ViewText();
  EXPECT_TRUE(InOrder(view, {kMemoryScanned, kNoMalwareInMemory, kScanningDriveC,
                             kNoMalwareOnDrives, kReportHeading, kThankYou}));
  EXPECT_EQ(Occurrences(view, kDriveLine), 1u) << "C: is the prefix's only drive:\n" << Utf8(view);
  EXPECT_EQ(Occurrences(view, L"Scan aborted"), 0u) << Utf8(view);
  // The report counts what was really read: Wine's C: has directories and
  // hundreds of files, the prefix runs processes; nothing is infected.
  for (const wchar_t* label :
       {L"scanned directories:", L"scanned files:", L"scanned processes:", L"scanned modules:"}) {
    const auto count = ReportCount(view, label);
    ASSERT_TRUE(count) << Utf8(label) << " in\n" << Utf8(view);
    EXPECT_GT(*count, 0) << Utf8(label);
  }
  for (const wchar_t* label : {L"infected files:", L"infected processes:"}) {
    EXPECT_EQ(ReportCount(view, label), std::optional<long>(0)) << Utf8(label);
  }
  const auto status = tool_.window().ControlText(kStatusText);
  ASSERT_TRUE(Ok(status));
  EXPECT_EQ(*status, L"") << "the progress text stays after the scan";

  tool_.Click(kExitButton);
  tool_.ExpectExitStatus(0);
}

TEST_F(ScanRunTest, StopWhileScanningAbortsWithTheReportAndExitThenGivesMinus8) {
  ASSERT_NO_FATAL_FAILURE(StartScan());
  tool_.Click(kStopButton);

  WaitForView(kThankYou);
  ExpectIdleAfterScan();
  const std::wstring view = ViewText();
  EXPECT_TRUE(InOrder(view, {kAbortedByUser, kReportHeading, kThankYou}));
  // Stopped before the end: the file scan never finished.
  EXPECT_EQ(Occurrences(view, kNoMalwareOnDrives), 0u) << Utf8(view);
  EXPECT_EQ(Occurrences(view, kAbortedByUser), 1u) << Utf8(view);

  tool_.Click(kExitButton);
  tool_.ExpectExitStatus(kStoppedByUser);
}

TEST_F(ScanRunTest, ExitWhileScanningStopsTheScanAndEndsTheProgramWithMinus8) {
  ASSERT_NO_FATAL_FAILURE(StartScan());
  tool_.Click(kExitButton);
  tool_.ExpectExitStatus(kStoppedByUser);
  EXPECT_FALSE(tool_.window().Exists());
  // The exit path wrote the default log (the program's base name with .log
  // in its current folder, C:\qrt\) after the result line and the report.
  const std::wstring log = ReadUtf16File(L"C:\\qrt\\QuelvixRemovalTool.log");
  const std::size_t aborted = log.find(kAbortedByUser);
  ASSERT_NE(aborted, std::wstring::npos) << "log of " << log.size() << " characters";
  EXPECT_NE(log.find(kReportHeading, aborted), std::wstring::npos);
  EXPECT_NE(log.find(kThankYou, aborted), std::wstring::npos);
}

TEST_F(CommandLineRunTest, SilentWithALogFileScansByItselfWritesTheLogAndEndsWith0) {
  // Silent mode keeps the window hidden: the program is watched only through
  // its exit and its log. "x.log" is taken from its current folder, C:\qrt\.
  ::DeleteFileW(L"C:\\qrt\\x.log");
  ASSERT_NO_FATAL_FAILURE(tool_.Start(L"/SILENT /LOG x.log"));
  tool_.ExpectExitStatus(0, kScanTimeout);
  const std::wstring log = ReadUtf16File(L"C:\\qrt\\x.log");
  EXPECT_TRUE(InOrder(
      log, {L"Removal Tool 3.0", L"- Saving results to logfile \"x.log\".",
            L"- Silent Mode, program will exit after scan.", kMemoryScanned, kNoMalwareInMemory,
            kScanningDriveC, kNoMalwareOnDrives, kReportHeading, L"scanned files:", kThankYou}));
  EXPECT_EQ(Occurrences(log, kThankYou), 1u) << "one scan, one report:\n" << Utf8(log);
}

TEST_F(CommandLineRunTest, HelpOptionListsTheSyntaxOptionsAndReturnCodesInTheWindow) {
  ASSERT_NO_FATAL_FAILURE(Launch(L"/?"));
  const std::wstring view = WaitForView(L"> 0 : Malware was found.\r\n");
  EXPECT_TRUE(InOrder(
      view,
      {L"Syntax:\r\n", L"QuelvixRemovalTool path /options [driveletter: driveletter: ...]\r\n",
       L"Available options:\r\n", L"/NOLOG\t\t\t: Cancel log file creation\r\n",
       L"/LOG filename\t\t: Change default log filename\r\n",
       L"/APPEND\t\t: Extends existing log instead of replacing it\r\n",
       L"/HELP\t\t\t: Shows this help\r\n", L"Return codes:\r\n",
       L"< 0 : Error during scan.\r\n"}));
  EXPECT_EQ(Occurrences(view, L"/SILENT"), 0u) << "silent mode is not listed:\n" << Utf8(view);
  // Help starts no scan.
  tool_.ExpectButton(kStartButton, L"&Start scan", true);
  tool_.Click(kExitButton);
  tool_.ExpectExitStatus(0);
}

TEST_F(CommandLineRunTest, LogFileInAMissingFolderIsReportedAtTheStart) {
  ASSERT_NO_FATAL_FAILURE(Launch(L"/LOG C:\\no-such-folder\\x.log"));
  const std::wstring view =
      WaitForView(L"Error: failed to access logfile \"C:\\no-such-folder\\x.log\".\r\n");
  EXPECT_EQ(Occurrences(view, L"Saving results to logfile"), 0u) << Utf8(view);
  tool_.Click(kExitButton);
  tool_.ExpectExitStatus(0);
}

}  // namespace
}  // namespace e2e
