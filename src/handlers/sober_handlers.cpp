#include "handlers/sober_handlers.h"

#include "common/string_ids.h"
#include "common/text.h"

namespace handlers {

namespace {

using Names = std::span<const std::u16string_view>;

constexpr std::u16string_view kSoberJ = u"Sober.J";
constexpr std::u16string_view kSoberP = u"Sober.P";
constexpr std::u16string_view kSoberY = u"Sober.Y";

// Companion files, in the order they are deleted. Each name follows its
// directory directly.
constexpr std::u16string_view kSoberJSystemFiles[] = {
    u"\\dgsfzipp.gmx", u"\\datamx.dam",    u"\\sysmms32.lla", u"\\dgssxy.yoi",
    u"\\nonrunso.ber", u"\\Odin_Anon.Ger", u"\\read.me"};

constexpr std::u16string_view kSoberPWindowsFiles[] = {
    u"\\Connection Wizard\\Status\\csrss.exe",   u"\\Connection Wizard\\Status\\services.exe",
    u"\\Connection Wizard\\Status\\smss.exe",    u"\\Connection Wizard\\Status\\packed1.sbr",
    u"\\Connection Wizard\\Status\\packed2.sbr", u"\\Connection Wizard\\Status\\packed3.sbr",
    u"\\Connection Wizard\\Status\\sacri1.ggg",  u"\\Connection Wizard\\Status\\sacri2.ggg",
    u"\\Connection Wizard\\Status\\sacri3.ggg",  u"\\Connection Wizard\\Status\\voner1.von",
    u"\\Connection Wizard\\Status\\voner2.von",  u"\\Connection Wizard\\Status\\voner3.von",
    u"\\Connection Wizard\\Status\\fastso.ber"};
constexpr std::u16string_view kSoberPSystemFiles[] = {
    u"\\adcmmmmq.hjg", u"\\langeinf.lin", u"\\nonrunso.ber", u"\\seppelmx.smx", u"\\xcvfpokd.tqa"};

constexpr std::u16string_view kSoberYWindowsFiles[] = {
    u"\\WinSecurity\\services.exe", u"\\WinSecurity\\smss.exe",     u"\\WinSecurity\\csrss.exe",
    u"\\WinSecurity\\starter.run",  u"\\WinSecurity\\nexttroj.tro", u"\\WinSecurity\\socket1.ifo",
    u"\\WinSecurity\\socket2.ifo",  u"\\WinSecurity\\socket3.ifo",  u"\\WinSecurity\\mssock1.dli",
    u"\\WinSecurity\\mssock2.dli",  u"\\WinSecurity\\mssock3.dli",  u"\\WinSecurity\\winmem1.ory",
    u"\\WinSecurity\\winmem2.ory",  u"\\WinSecurity\\winmem3.ory"};
// Of these, the first three have their start-up entries cleaned as well.
constexpr std::size_t kSoberYStartupFiles = 3;

// The finding line and the infected process or file, as the three share
// them:
//  - process finding: "terminating process ..." and "removing executable
//    ..." for the process and its module; with `tellFailures` a failed
//    termination or a WININIT.INI failure is told on that line, else both
//    lines end in "done";
//  - file finding: the file is deleted ("removing executable ..." unless
//    RemoveFile answered kScheduleFailed), then the start-up entries that
//    name it.
// Answers the process finding, or nothing for a file finding.
const scan::ProcessFinding* RemoveInfected(RemovalSteps& steps, std::u16string_view name,
                                           const scan::Finding& finding, bool tellFailures) {
  scan::RemovalOperations& operations = steps.operations();
  if (const auto* process = std::get_if<scan::ProcessFinding>(&finding)) {
    steps.Report(name, steps.Text(strings::kFoundInMemory));
    steps.AppendText(strings::kTerminatingProcess);
    const bool ended =
        operations.TerminateProcessById(process->processId) == codes::ProcessEndResult::kEnded;
    steps.AppendText(ended || !tellFailures ? strings::kDone : strings::kDeletionScheduled);
    steps.AppendText(strings::kRemovingExecutable);
    const bool removed =
        operations.RemoveFile(process->modulePath) != codes::FileRemovalResult::kScheduleFailed;
    steps.AppendText(removed || !tellFailures ? strings::kDone : strings::kRemovedAfterReboot);
    return process;
  }
  const std::u16string_view path = std::get<scan::FileFinding>(finding).path;
  steps.Report(name, text::Format(steps.Text(strings::kFoundInFile), {path}));
  if (operations.RemoveFile(path) != codes::FileRemovalResult::kScheduleFailed) {
    steps.AppendText(strings::kRemovingExecutable);
    steps.AppendText(strings::kDone);
  }
  steps.AppendText(strings::kCleaningRegistryKeys);
  steps.RemoveStartupEntries(path);
  steps.AppendText(strings::kDone);
  return nullptr;
}

}  // namespace

void SoberJHandler::Remove(scan::ScanContext& context, const scan::Finding& finding) {
  if (std::holds_alternative<scan::ScriptFinding>(finding)) return;
  RemovalSteps steps(context);
  if (const auto* process = RemoveInfected(steps, kSoberJ, finding, false)) {
    // A process finding cleans the start-up entries of the module here.
    steps.AppendText(strings::kCleaningRegistryKeys);
    steps.RemoveStartupEntries(process->modulePath);
    steps.AppendText(strings::kDone);
  }
  steps.CompanionSteps(steps.SystemDirectory(), kSoberJSystemFiles);
  steps.Report(kSoberJ, steps.Text(strings::kSuccessfullyRemoved));
}

void SoberPHandler::Remove(scan::ScanContext& context, const scan::Finding& finding) {
  if (std::holds_alternative<scan::ScriptFinding>(finding)) return;
  RemovalSteps steps(context);
  const auto windows = steps.WindowsDirectory();
  const auto system = steps.SystemDirectory();
  const Names windowsFiles(kSoberPWindowsFiles);
  if (const auto* process = RemoveInfected(steps, kSoberP, finding, true)) {
    if (!process->more) {
      // csrss.exe and services.exe, the start-up entries of services.exe,
      // smss.exe and its start-up entries, then the rest.
      steps.CompanionSteps(windows, windowsFiles.first(2));
      steps.StartupStep(windows, windowsFiles[1]);
      steps.CompanionStep(windows, windowsFiles[2]);
      steps.StartupStep(windows, windowsFiles[2]);
      steps.CompanionSteps(windows, windowsFiles.subspan(3));
      steps.CompanionSteps(system, kSoberPSystemFiles);
    }
  } else {
    steps.CompanionSteps(windows, windowsFiles);
    steps.CompanionSteps(system, kSoberPSystemFiles);
  }
  steps.Report(kSoberP, steps.Text(strings::kSuccessfullyRemoved));
}

void SoberYHandler::Remove(scan::ScanContext& context, const scan::Finding& finding) {
  if (std::holds_alternative<scan::ScriptFinding>(finding)) return;
  RemovalSteps steps(context);
  const auto* process = RemoveInfected(steps, kSoberY, finding, true);
  if (process == nullptr || !process->more) {
    const auto windows = steps.WindowsDirectory();
    const Names files(kSoberYWindowsFiles);
    for (std::size_t i = 0; i < files.size(); ++i) {
      steps.CompanionStep(windows, files[i]);
      if (i < kSoberYStartupFiles) steps.StartupStep(windows, files[i]);
    }
  }
  steps.Report(kSoberY, steps.Text(strings::kSuccessfullyRemoved));
}

}  // namespace handlers
