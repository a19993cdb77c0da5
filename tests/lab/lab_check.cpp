#include "lab_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>

#include "tests/win32/sample_files.h"

namespace lab {
namespace {

// A test whose body is given when it is registered.
class LabTest : public testing::Test {
 public:
  explicit LabTest(std::function<void()> body) : body_(std::move(body)) {}
  void TestBody() override { body_(); }

 private:
  std::function<void()> body_;
};

void Register(const std::string& suite, const std::string& name, std::function<void()> body) {
  testing::RegisterTest(suite.c_str(), name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                        [body]() -> LabTest* { return new LabTest(body); });
}

// A test name from a label: letters and digits, the rest as single '_'.
std::string NameOf(std::size_t index, const std::wstring& label) {
  std::string name = (index < 10 ? "0" : "") + std::to_string(index) + "_";
  for (const wchar_t c : label) {
    const bool plain =
        (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
    if (plain) {
      name += static_cast<char>(c);
    } else if (name.back() != '_') {
      name += '_';
    }
    if (name.size() >= 64) break;
  }
  while (name.back() == '_') name.pop_back();
  return name;
}

// The log's lines (UTF-16LE, with or without byte-order mark); nothing when
// it cannot be read.
std::optional<std::vector<std::wstring>> LogLines(const std::wstring& path) {
  const auto bytes = qrt_test::ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  std::wstring text;
  for (std::size_t i = 0; i + 1 < bytes->size(); i += 2) {
    text += static_cast<wchar_t>((*bytes)[i] | ((*bytes)[i + 1] << 8));
  }
  if (!text.empty() && text.front() == L'\uFEFF') text.erase(0, 1);
  return LinesOf(text);
}

bool Holds(const std::vector<std::wstring>& lines, const std::wstring& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The lines of `finding` missing from the log.
std::vector<std::wstring> Missing(const std::vector<std::wstring>& log, const Finding& finding) {
  std::vector<std::wstring> missing;
  for (const std::wstring& line : finding.lines) {
    if (!Holds(log, line)) missing.push_back(line);
  }
  return missing;
}

std::string Utf8Lines(const std::vector<std::wstring>& lines) {
  std::string text;
  for (const std::wstring& line : lines) text += "\n  " + Utf8(line);
  return text;
}

std::string TextOf(const std::wstring& path) {
  const auto bytes = qrt_test::ReadWholeFile(path);
  return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<cannot be read>");
}

// The fields of one line of qrt-auto's message-boxes: process, caption,
// text, buttons (the texts with \\, \r, \n and \t written as escapes).
std::vector<std::string> FieldsOf(const std::string& line) {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (c == '\t') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

void RegisterTests(const Lab& lab, const RunResult& windowed, const RunResult& silent,
                   const RunResult& self, const std::wstring& popups,
                   const std::vector<std::wstring>& log1, const std::vector<std::wstring>& log2,
                   const std::vector<std::wstring>& log3) {
  Register("LabRuns", "WindowedRunFoundEveryInfection", [&lab, &windowed, &log1] {
    EXPECT_EQ(windowed.status, 1) << "exit status of the first run";
    int inMemory = 0;
    for (const Finding& finding : lab.findings) {
      if (finding.lines.front().ends_with(L" was found in memory !")) ++inMemory;
    }
    const int inFiles = static_cast<int>(lab.findings.size()) - inMemory;
    EXPECT_TRUE(Holds(log1, L"infected files:\t\t\t" + std::to_wstring(inFiles)))
        << "the report of " << Utf8(windowed.log) << " should count " << inFiles;
    EXPECT_TRUE(Holds(log1, L"infected processes:\t\t\t" + std::to_wstring(inMemory)))
        << "the report of " << Utf8(windowed.log) << " should count " << inMemory;
  });
  Register("LabRuns", "SilentRerunFindsNothing", [&silent, &log2] {
    EXPECT_EQ(silent.status, 0) << "exit status of the second run";
    EXPECT_TRUE(Holds(log2, L"No malware found in memory"));
    EXPECT_TRUE(Holds(log2, L"No malware found on hard drives"));
    for (const std::wstring& line : log2) {
      EXPECT_EQ(line.find(L" was found in "), std::wstring::npos) << Utf8(line);
    }
  });

  // A copy of the program that carries the file infector finds it in its own
  // process, leaves that process running, writes its log and tells a script
  // that malware was found.
  Register("LabRuns", "InfectedCopyOfTheProgramDoesNotEndItself", [&self, &log3] {
    EXPECT_EQ(self.status, 1) << "exit status of the infected copy";
    ASSERT_FALSE(log3.empty()) << "no log " << Utf8(self.log);
    for (const std::wstring& line :
         {std::wstring(L"W32/Stanit file infector was found in memory !"),
          std::wstring(
              L"terminating process ...not ended: a process of Windows or of this program"),
          std::wstring(L"W32/Stanit was not removed!"), std::wstring(L"infected processes:\t\t\t1"),
          std::wstring(L"terminated processes:\t\t0")}) {
      EXPECT_TRUE(Holds(log3, line)) << "missing from " << Utf8(self.log) << ": " << Utf8(line)
                                     << "\nthe log:" << Utf8Lines(log3);
    }
  });

  Register("LabRuns", "WindowedRunShowedTheLabPopUpOnceWithTheWindowsTitle", [&popups] {
    const auto bytes = qrt_test::ReadWholeFile(popups);
    ASSERT_TRUE(bytes.has_value()) << "no list of message boxes " << Utf8(popups);
    std::vector<std::string> boxes = LinesOf(std::string(bytes->begin(), bytes->end()));
    std::erase(boxes, std::string());
    ASSERT_EQ(boxes.size(), 1u) << "message boxes of the first run:" << [&] {
      std::string all;
      for (const std::string& box : boxes) all += "\n  " + box;
      return all;
    }();
    const std::vector<std::string> fields = FieldsOf(boxes[0]);
    ASSERT_EQ(fields.size(), 4u) << boxes[0];
    EXPECT_TRUE(fields[1].starts_with("Quelvix Removal Tool")) << "caption " << fields[1];
    EXPECT_EQ(fields[2], Utf8(kLabPopupText));
    EXPECT_EQ(fields[3], "OK") << "buttons";
  });

  for (std::size_t i = 0; i < lab.findings.size(); ++i) {
    const Finding& finding = lab.findings[i];
    Register("LabFindings", NameOf(i, finding.label), [&finding, &log1] {
      const auto missing = Missing(log1, finding);
      EXPECT_TRUE(missing.empty())
          << finding.malware << ": the first run's log lacks" << Utf8Lines(missing);
    });
  }

  for (std::size_t i = 0; i < lab.items.size(); ++i) {
    const Item& item = lab.items[i];
    Register("LabItems", NameOf(i, item.what), [&item] {
      EXPECT_EQ(item.verify(), "")
          << Utf8(item.what) << " should be " << OutcomeName(item.expected);
    });
  }

  Register("LabSystemFiles", "HostsFileHasTheLabEntriesDisabledAndTheRestAsPlanted",
           [&lab] { EXPECT_EQ(TextOf(lab.hostsPath), lab.hostsExpected); });
  Register("LabSystemFiles", "IniFilesChangedOnlyInTheLabEntries", [&lab] {
    for (const std::wstring& file : {lab.winIni, lab.systemIni}) {
      const auto planted = qrt_test::ReadWholeFile(lab.PlantedEntriesOf(file));
      ASSERT_TRUE(planted.has_value()) << "plant's list of the entries of " << Utf8(file);
      std::vector<std::string> expected = LinesOf(std::string(planted->begin(), planted->end()));
      for (const Lab::IniChange& change : lab.iniChanges) {
        if (change.file != file) continue;
        const auto entry = std::find(expected.begin(), expected.end(), Utf8(change.planted));
        ASSERT_NE(entry, expected.end()) << Utf8(change.planted);
        *entry = Utf8(change.expected);
      }
      EXPECT_EQ(lab.IniEntriesOf(file), expected) << Utf8(file);
    }
  });

  Register("LabRepair", "RepairedProgramPrintsWhatTheCleanOnePrints", [&lab] {
    const auto clean = qrt_test::RunProgram(lab.cleanProgram);
    ASSERT_TRUE(clean.has_value());
    const auto repaired = qrt_test::RunProgram(lab.repairedProgram);
    ASSERT_TRUE(repaired.has_value()) << "the repaired program does not start";
    EXPECT_EQ(repaired->output, clean->output);
    EXPECT_EQ(repaired->exitCode, 0u);
  });
}

void PrintSummary(const Lab& lab, const std::vector<std::wstring>& log1) {
  // Per malware (the neighbours as one more row): found in the log, then
  // the items by outcome.
  struct Row {
    std::string malware;
    bool found = false;
    std::map<Outcome, int> counts;
    int wrong = 0;
  };
  std::vector<Row> rows;
  auto rowOf = [&rows](const std::string& malware) -> Row& {
    const std::string name = malware.empty() ? "(neighbours)" : malware;
    for (Row& row : rows) {
      if (row.malware == name) return row;
    }
    Row& row = rows.emplace_back();
    row.malware = name;
    return row;
  };
  for (const Finding& finding : lab.findings) {
    rowOf(finding.malware).found = Missing(log1, finding).empty();
  }

  std::printf("\nThe infection lab after the cleaning:\n%-18s %-20s %s\n", "outcome", "malware",
              "item");
  for (const Item& item : lab.items) {
    const std::string fault = item.verify();
    Row& row = rowOf(item.malware);
    if (fault.empty()) {
      ++row.counts[item.expected];
    } else {
      ++row.wrong;
    }
    const std::string outcome = fault.empty() ? OutcomeName(item.expected) : "WRONG";
    std::printf("%-18s %-20s %s%s\n", outcome.c_str(),
                item.malware.empty() ? "(neighbour)" : item.malware.c_str(),
                Utf8(item.what).c_str(), fault.empty() ? "" : (": " + fault).c_str());
  }

  auto count = [](const Row& row, Outcome outcome) {
    const auto it = row.counts.find(outcome);
    return it == row.counts.end() ? 0 : it->second;
  };
  const char* format = "%-20s %-6s %8d %9d %9d %5d %6d\n";
  std::printf("\nSummary:\n%-20s %-6s %8s %9s %9s %5s %6s\n", "malware", "found", "removed",
              "repaired", "disabled", "left", "WRONG");
  Row total;
  int found = 0;
  int findings = 0;
  for (const Row& row : rows) {
    const bool malware = row.malware != "(neighbours)";
    std::printf(format, row.malware.c_str(), malware ? (row.found ? "yes" : "NO") : "-",
                count(row, Outcome::kRemoved), count(row, Outcome::kRepaired),
                count(row, Outcome::kDisabled), count(row, Outcome::kLeft), row.wrong);
    for (const auto& [outcome, n] : row.counts) total.counts[outcome] += n;
    total.wrong += row.wrong;
    findings += malware ? 1 : 0;
    found += malware && row.found ? 1 : 0;
  }
  const std::string foundText = std::to_string(found) + "/" + std::to_string(findings);
  std::printf(format, "all", foundText.c_str(), count(total, Outcome::kRemoved),
              count(total, Outcome::kRepaired), count(total, Outcome::kDisabled),
              count(total, Outcome::kLeft), total.wrong);
}

}  // namespace

int RunCheck(const Lab& lab, const LabRunResults& runs, const std::wstring& popups, int argc,
             wchar_t** argv) {
  testing::InitGoogleTest(&argc, argv);
  const auto lines = [](const RunResult& run) {
    return LogLines(run.log).value_or(std::vector<std::wstring>{});
  };
  const std::vector<std::wstring> log1 = lines(runs.windowed);
  const std::vector<std::wstring> log2 = lines(runs.silent);
  const std::vector<std::wstring> log3 = lines(runs.self);
  RegisterTests(lab, runs.windowed, runs.silent, runs.self, popups, log1, log2, log3);
  const int result = RUN_ALL_TESTS();
  PrintSummary(lab, log1);
  std::fflush(stdout);
  return result == 0 ? 0 : 1;
}

}  // namespace lab
