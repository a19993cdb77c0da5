#include "app/command_line.h"

#include <array>
#include <cstdint>

#include "common/string_ids.h"
#include "common/text.h"
#include "scan/texts.h"

namespace app {
namespace {

constexpr char16_t kLineBreak[] = u"\r\n";

bool IsWhiteSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

// One argument as read: white space off both ends, then a surrounding pair of
// double quotes.
std::u16string Cleaned(std::u16string_view raw) {
  std::size_t begin = 0;
  std::size_t end = raw.size();
  while (begin < end && IsWhiteSpace(raw[begin])) ++begin;
  while (end > begin && IsWhiteSpace(raw[end - 1])) --end;
  std::u16string_view arg = raw.substr(begin, end - begin);
  if (arg.size() >= 2 && arg.front() == u'"' && arg.back() == u'"') {
    arg = arg.substr(1, arg.size() - 2);
  }
  return std::u16string(arg);
}

// An argument of at least two characters that starts with "-" or "/".
bool IsOption(std::u16string_view arg) {
  return arg.size() >= 2 && (arg[0] == u'-' || arg[0] == u'/');
}

// Whether option `arg` is one of `names` (given without their "-" or "/").
template <std::size_t N>
bool IsOneOf(std::u16string_view arg, const std::array<std::u16string_view, N>& names) {
  const std::u16string_view name = arg.substr(1);
  for (const std::u16string_view candidate : names) {
    if (text::EqualsNoCase(name, candidate)) return true;
  }
  return false;
}

constexpr std::array<std::u16string_view, 3> kHelpNames = {u"?", u"H", u"HELP"};
constexpr std::array<std::u16string_view, 1> kSilentNames = {u"SILENT"};
constexpr std::array<std::u16string_view, 1> kLogNames = {u"LOG"};
constexpr std::array<std::u16string_view, 1> kNoLogNames = {u"NOLOG"};
constexpr std::array<std::u16string_view, 1> kAppendNames = {u"APPEND"};

// A drive letter with its colon: exactly two characters, a letter A to Z in
// either case and ":".
bool IsDrive(std::u16string_view arg) {
  if (arg.size() != 2 || arg[1] != u':') return false;
  const char16_t letter = text::ToUpper(arg[0]);
  return letter >= u'A' && letter <= u'Z';
}

// The state of one reading of the command line.
class Parser {
 public:
  Parser(platform::System& system, std::u16string_view exeBaseName, bool& helpShown,
         CommandLineOutput& out, CommandLineResult& result)
      : system_(system),
        exeBaseName_(exeBaseName),
        helpShown_(helpShown),
        out_(out),
        result_(result),
        lastDrive_(result.drives.before_begin()) {}

  void Handle(const std::u16string& arg) {
    LogSettings& log = result_.log;
    if (pendingLogName_) {
      pendingLogName_ = false;
      if (IsOption(arg)) {
        Write(strings::kLogFilenameMissing);
        log.logEnabled = false;
      } else if (arg.find_first_of(u"*?") != std::u16string::npos ||
                 arg.size() > kMaxLogFileNameLength) {
        Write(strings::kInvalidLogFilename);
        log.logEnabled = false;
      } else {
        log.logEnabled = true;
        log.logFileName = arg;
      }
      return;
    }

    if (IsOption(arg)) {
      if (IsOneOf(arg, kHelpNames)) {
        if (!helpShown_) {
          WriteHelpText(system_, exeBaseName_, out_);
          helpShown_ = true;
        }
      } else if (IsOneOf(arg, kSilentNames)) {
        result_.silent = true;
      } else if (IsOneOf(arg, kLogNames)) {
        if (noLogSeen_) WarnLogNoLog();
        logSeen_ = true;
        pendingLogName_ = true;
      } else if (IsOneOf(arg, kNoLogNames)) {
        if (logSeen_) WarnLogNoLog();
        if (appendSeen_) WarnAppendNoLog();
        log.logEnabled = false;
        noLogSeen_ = true;
      } else if (IsOneOf(arg, kAppendNames)) {
        if (noLogSeen_) WarnAppendNoLog();
        appendSeen_ = true;
        log.appendLog = true;
      } else {
        Write(strings::kInvalidOption, arg);
      }
      return;
    }

    if (IsDrive(arg)) {
      lastDrive_ = result_.drives.insert_after(lastDrive_, arg);
    }
  }

  void Write(std::uint32_t id) { out_.Append(scan::LoadText(system_, id), kDefaultFormat); }
  void Write(std::uint32_t id, std::u16string_view arg) {
    out_.Append(text::Format(scan::LoadText(system_, id), {arg}), kDefaultFormat);
  }

 private:
  void WarnLogNoLog() {
    if (warnedLogNoLog_) return;
    Write(strings::kLogNoLogConflict);
    warnedLogNoLog_ = true;
  }
  void WarnAppendNoLog() {
    if (warnedAppendNoLog_) return;
    Write(strings::kAppendNoLogConflict);
    warnedAppendNoLog_ = true;
  }

  platform::System& system_;
  std::u16string_view exeBaseName_;
  bool& helpShown_;
  CommandLineOutput& out_;
  CommandLineResult& result_;
  // The drive list's last node: drives are added at the end, in order.
  scan::DriveNameList::iterator lastDrive_;
  bool pendingLogName_ = false;
  bool logSeen_ = false;
  bool noLogSeen_ = false;
  bool appendSeen_ = false;
  bool warnedLogNoLog_ = false;
  bool warnedAppendNoLog_ = false;
};

}  // namespace

std::u16string ExecutableBaseName(std::u16string_view modulePath) {
  const std::size_t folder = modulePath.find_last_of(u"\\/:");
  std::u16string_view name =
      folder == std::u16string_view::npos ? modulePath : modulePath.substr(folder + 1);
  const std::size_t dot = name.rfind(u'.');
  if (dot != std::u16string_view::npos) name = name.substr(0, dot);
  return std::u16string(name);
}

std::vector<std::u16string> ReadArguments(std::u16string_view commandLine) {
  std::u16string_view line = commandLine.substr(0, commandLine.find(u'\0'));
  while (!line.empty() && line.back() == u' ') line.remove_suffix(1);
  const std::size_t n = line.size();
  constexpr std::size_t npos = std::u16string_view::npos;

  std::vector<std::u16string> arguments;
  std::size_t position = 0;
  while (position + 1 < n) {
    std::size_t first = position;
    std::size_t last = 0;  // the argument's last character
    if (line[position] == u'"') {
      std::size_t end = line.find(u'"', position + 1);
      if (end == npos) end = line.find(u' ', position + 1);
      last = end == npos ? n - 1 : end;
    } else {
      const std::size_t space = line.find(u' ', position);
      if (space == npos) {
        last = n - 1;
      } else if (space == position) {
        first = position + 1;
        if (first >= n) break;
        const std::size_t end = line.find(u' ', first);
        last = end == npos ? n - 1 : end;
      } else {
        last = space;
      }
    }
    arguments.push_back(Cleaned(line.substr(first, last - first + 1)));
    position = last + 1;
  }
  return arguments;
}

bool IsLogFileWritable(platform::System& system, std::u16string_view path) {
  // Shared with other readers and writers (Windows 9x knows no sharing for
  // deletion and refuses the flag).
  const platform::FileOpenResult existing = system.files().CreateFileWide(
      path, platform::kGenericWrite, platform::kFileShareRead | platform::kFileShareWrite,
      platform::kOpenExisting, platform::kFileAttributeNormal);
  if (existing.handle != 0) {
    system.runtime().CloseHandle(existing.handle);
    return true;
  }
  if (existing.lastError != platform::kErrorFileNotFound &&
      existing.lastError != platform::kErrorPathNotFound) {
    return false;  // it is there, but not to be written
  }
  // A new file only: should one appear meanwhile, it is not ours to delete.
  const platform::FileOpenResult created =
      system.files().CreateFileWide(path, platform::kGenericRead | platform::kGenericWrite, 0,
                                    platform::kCreateNew, platform::kFileAttributeNormal);
  if (created.handle == 0) return false;
  system.runtime().CloseHandle(created.handle);
  system.files().DeleteFileWide(path);
  return true;
}

void WriteHelpText(platform::System& system, std::u16string_view exeBaseName,
                   CommandLineOutput& out) {
  const auto plain = [&](std::uint32_t id) {
    out.Append(scan::LoadText(system, id), kPlainFormat);
  };
  const auto heading = [&](std::uint32_t id) {
    out.Append(scan::LoadText(system, id), kHelpHeadingFormat);
  };

  plain(strings::kLineBreak);
  heading(strings::kSyntaxHeading);
  out.Append(text::Format(scan::LoadText(system, strings::kSyntaxLine), {exeBaseName}),
             kPlainFormat);
  out.Append(kLineBreak, kPlainFormat);

  heading(strings::kOptionsHeading);
  // /SILENT (strings::kSilentOptionHelp) is left out of the list.
  for (const std::uint32_t id : {strings::kNoLogOptionHelp, strings::kLogOptionHelp,
                                 strings::kAppendOptionHelp, strings::kHelpOptionHelp}) {
    plain(id);
  }
  out.Append(kLineBreak, kPlainFormat);

  heading(strings::kReturnCodesHeading);
  for (const std::uint32_t id :
       {strings::kReturnCodeError, strings::kReturnCodeClean, strings::kReturnCodeMalware}) {
    plain(id);
  }
  out.Append(kLineBreak, kPlainFormat);
}

CommandLineResult ReadCommandLine(platform::System& system, std::u16string_view commandLine,
                                  std::u16string_view exeBaseName, bool& helpShown,
                                  CommandLineOutput& out) {
  CommandLineResult result;
  result.log.logEnabled = true;
  result.log.appendLog = false;
  result.log.logFileName = text::Format(kDefaultLogNameFormat, {exeBaseName});

  Parser parser(system, exeBaseName, helpShown, out, result);
  for (const std::u16string& arg : ReadArguments(commandLine)) parser.Handle(arg);

  if (result.log.logEnabled) {
    const std::uint32_t line = !IsLogFileWritable(system, result.log.logFileName)
                                   ? strings::kLogFileAccessError
                               : result.log.appendLog ? strings::kAppendingLogFile
                                                      : strings::kSavingLogFile;
    parser.Write(line, result.log.logFileName);
  }

  if (result.silent) parser.Write(strings::kSilentMode);
  return result;
}

}  // namespace app
