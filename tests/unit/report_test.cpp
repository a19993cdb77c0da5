#include "app/report.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/fake/fake_system.h"

namespace {

// Keeps every appended text; the rest of the observer does nothing.
struct RecordingObserver : scan::ScanObserver {
  std::vector<std::u16string> lines;
  void SetProgressText(std::u16string_view) override {}
  void ReportFinding(std::u16string_view, std::optional<std::u16string_view>) override {}
  void AppendText(std::u16string_view text) override { lines.emplace_back(text); }
  void SetStatusText(std::u16string_view) override {}
  void ScanFinished(codes::ScanResult) override {}
};

std::vector<std::u16string> Report(const scan::ScanStatistics& statistics) {
  platform::fake::FakeSystem system;
  RecordingObserver observer;
  app::WriteReport(system, statistics, observer);
  return observer.lines;
}

TEST(Report, SixteenLinesInOrderWithEveryCounterInItsPlace) {
  scan::ScanStatistics s;
  s.scannedFiles = 2;
  s.scannedStreams = 3;
  s.scannedDirectories = 1;
  s.scannedProcesses = 4;
  s.scannedModules = 5;
  s.infectedFiles = 6;
  s.infectedProcesses = 7;
  s.removedFiles = 8;
  s.renamedFiles = 9;
  s.terminatedProcesses = 10;
  s.registryChanged = s.hostsChanged = s.iniChanged = 1;  // kept, not shown
  s.memoryScanTime = 1500;
  s.memoryScanKilobytes = 3000;
  s.fileScanTime = 4000;
  s.fileScanKilobytes = 600;
  const std::vector<std::u16string> expected = {
      u"scan results:\r\n\r\n",
      u"scanned directories:\t\t\t1\r\n",
      u"scanned files:\t\t\t2\r\n",
      u"scanned streams:\t\t\t3\r\n",
      u"scanned processes:\t\t\t4\r\n",
      u"scanned modules:\t\t\t5\r\n",
      u"\r\ninfected files:\t\t\t6\r\n",
      u"infected processes:\t\t\t7\r\n",
      u"\r\nrepaired/removed files:\t\t8\r\n",
      u"renamed files:\t\t\t9\r\n",
      u"terminated processes:\t\t10\r\n",
      u"\r\nelapsed time for memory scan:\t\t1.50 seconds\r\n",
      u"average memory scanner throughput:\t2000.00 KB/s\r\n",
      u"\r\nelapsed time for file scan:\t\t4.00 seconds\r\n",
      u"average file scanner throughput:\t150.00 KB/s\r\n",
      u"\r\nThank you for using Quelvix Removal Tool.\r\n"};
  EXPECT_EQ(Report(s), expected);
}

TEST(Report, FirstScanStoppedBeforeTheFileScanShowsZeros) {
  scan::ScanStatistics s;
  s.scannedProcesses = 12;
  s.memoryScanTime = 250;
  s.memoryScanKilobytes = 100;
  const auto lines = Report(s);
  ASSERT_EQ(lines.size(), 16u);
  EXPECT_EQ(lines[1], u"scanned directories:\t\t\t0\r\n");
  EXPECT_EQ(lines[2], u"scanned files:\t\t\t0\r\n");
  EXPECT_EQ(lines[13], u"\r\nelapsed time for file scan:\t\t0.00 seconds\r\n");
  EXPECT_EQ(lines[14], u"average file scanner throughput:\t0.00 KB/s\r\n");
  EXPECT_EQ(lines[12], u"average memory scanner throughput:\t400.00 KB/s\r\n");
}

TEST(Report, ThroughputIsZeroBelowOneMillisecond) {
  EXPECT_EQ(app::Throughput(600, 4000), 150.0);
  EXPECT_EQ(app::Throughput(5, 1.0), 5000.0);
  EXPECT_EQ(app::Throughput(5, 0.999), 0.0);
  EXPECT_EQ(app::Throughput(5, 0), 0.0);
  EXPECT_EQ(app::Throughput(0, 0), 0.0);
}

TEST(Report, ResultLineForEachCode) {
  platform::fake::FakeSystem system;
  const struct {
    int code;
    const char16_t* line;
  } cases[] = {
      {1, u"\r\nMalware was found and removed\r\n\r\n"},
      {-1, u"\r\nScan aborted: invalid argument\r\n\r\n"},
      {-2, u"\r\nScan aborted: synchronization error\r\n\r\n"},
      {-3, u"\r\nScan aborted: version query error\r\n\r\n"},
      {-4, u"\r\nScan aborted: invalid Windows version\r\n\r\n"},
      {-5, u"\r\nScan aborted: insufficient rights on system\r\n\r\n"},
      {-6, u"\r\nScan aborted: process snapshot error\r\n\r\n"},
      {-7, u"\r\nScan aborted: no processes to scan found\r\n\r\n"},
      {-8, u"\r\nScan aborted by user\r\n\r\n"},
      {-9, u"\r\nInvalid file handle detected\r\n\r\n"},
      {-10, u"\r\nNo appropriate drives were found.\r\n\r\n"},
      {-11, u"\r\nError initializing memory scanner. Please contact Morvo GmbH.\r\n\r\n"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(app::ScanResultLine(system, codes::ScanResult{c.code}), c.line) << c.code;
  for (int code : {0, 2, -12, -20}) {
    EXPECT_FALSE(app::ScanResultLine(system, codes::ScanResult{code}).has_value()) << code;
  }
}

}  // namespace
