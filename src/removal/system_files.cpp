// Cleaning win.ini, system.ini and the hosts file.
//
// CleanIniFile reads and writes through the system's profile functions, key
// by key, so lines changed before a failed write stay changed. It goes
// through the sections in file order, and then through the one the system
// starts programs from when the list of names left it out. The profile
// functions write the first line of a key only (Microsoft Knowledge Base
// Q107695, "PRB: Updating Multiple Device= Lines in SYSTEM.INI"): in a
// section where a key that names the file stands on more than one line
// (device= in system.ini's [386Enh] on Windows 9x/ME), a write by the key
// would clear a driver of the system and leave the malware's line. Such a
// section is changed in the file itself instead, only on the lines that name
// the file, whole or not at all, between two flushes of the system's cached
// copy of it (before, so that the keys written already are in the file;
// after, so that the profile functions read the new text). The hosts
// file is read whole and replaced whole (system_file_io.h); its new text is
// computed from the old bytes (system_file_text.h), so every byte that is not
// changed survives whatever the code page. A hosts file that begins with a
// UTF-16 byte order mark is no 8-bit text: it is left as it is, backup and
// all, and the driver reports the failure; a UTF-8 byte order mark stays at
// the start. Where it lives:
//   Windows 9x/ME    %WINDIR%\hosts, backup %WINDIR%\hosts.bak
//   NT family        %SYSDIR%\drivers\etc\hosts, backup ...\hosts.bak
#include <algorithm>

#include "common/limits.h"
#include "common/text.h"
#include "removal/system_file_io.h"
#include "removal/system_file_text.h"
#include "removal/system_operations.h"

namespace removal {
namespace {

using codes::HostsRemovalResult;
using codes::SystemFileResult;

constexpr int kSystemIni = 1;
constexpr int kWinIni = 2;

std::optional<std::u16string> HostsPath(sys::SystemContext& systemContext,
                                        std::u16string_view name) {
  platform::Folders& folders = systemContext.system().folders();
  if (systemContext.isWindows9x()) return PathInFolder(folders.WindowsDirectory(), name);
  return PathInFolder(folders.SystemDirectory(), u"drivers\\etc\\" + std::u16string(name));
}

// The hosts file read whole; nothing when it is missing, unreadable or
// empty.
std::optional<std::string> ReadHosts(platform::System& system, const std::u16string& path) {
  WholeFile hosts = ReadWholeFile(system, path);
  if (hosts.status != WholeFile::Status::kRead || hosts.bytes.empty()) return std::nullopt;
  return std::move(hosts.bytes);
}

// What a line's value becomes when it names the file (`needle`, in upper
// case): the shell goes back to the system's own, any other line keeps its
// key with nothing after the "=". Nothing for a line that stays as it is.
std::optional<std::u16string_view> CleanedValue(std::u16string_view needle, std::u16string_view key,
                                                std::u16string_view value) {
  if (text::ToUpper(value).find(needle) == std::u16string::npos) return std::nullopt;
  const std::u16string_view cleaned = text::EqualsNoCase(key, u"shell") ? u"explorer.exe" : u"";
  if (value == cleaned) return std::nullopt;
  return cleaned;
}

// A line "key=value" of a section as the profile functions list it.
struct KeyLine {
  std::u16string_view key;
  std::u16string_view value;
};

std::vector<KeyLine> KeyLines(const std::vector<std::u16string>& lines) {
  std::vector<KeyLine> keyLines;
  for (const std::u16string& line : lines) {
    const std::size_t equals = line.find(u'=');
    if (equals == std::u16string::npos) continue;
    const std::u16string_view view(line);
    keyLines.push_back(KeyLine{view.substr(0, equals), view.substr(equals + 1)});
  }
  return keyLines;
}

// Whether a key of a line that names the file stands on another line too.
bool NamingKeyRepeats(const std::vector<KeyLine>& lines, std::u16string_view needle) {
  for (const KeyLine& line : lines) {
    if (!CleanedValue(needle, line.key, line.value)) continue;
    const auto sameKey = std::count_if(lines.begin(), lines.end(), [&](const KeyLine& other) {
      return text::EqualsNoCase(other.key, line.key);
    });
    if (sameKey > 1) return true;
  }
  return false;
}

enum class SectionChange { kChanged, kUnchanged, kFailed };

// The lines of the first section `section` of the file at `path` that name
// the file, changed in the file itself (see above).
SectionChange CleanSectionInFile(platform::System& system, bool windows9x, std::u16string_view path,
                                 std::u16string_view section, std::u16string_view needle) {
  platform::Runtime& runtime = system.runtime();
  platform::ProfileFiles& profiles = system.profileFiles();
  profiles.FlushProfileCache(path);
  const WholeFile old = ReadWholeFile(system, path);
  if (old.status != WholeFile::Status::kRead) return SectionChange::kFailed;
  const auto changed = WithIniValuesChanged(
      old.bytes,
      [&](std::string_view name) { return text::EqualsNoCase(runtime.AnsiToWide(name), section); },
      [&](std::string_view key, std::string_view value) -> std::optional<std::string> {
        const auto cleaned =
            CleanedValue(needle, runtime.AnsiToWide(key), runtime.AnsiToWide(value));
        if (!cleaned) return std::nullopt;
        return ExactAnsi(runtime, *cleaned);
      });
  if (!changed) return SectionChange::kUnchanged;
  if (!ReplaceWholeFile(system, windows9x, path, *changed)) return SectionChange::kFailed;
  profiles.FlushProfileCache(path);
  return SectionChange::kChanged;
}

}  // namespace

SystemFileResult SystemRemovalOperations::CleanIniFile(std::u16string_view fileName, int which) {
  if (which != kSystemIni && which != kWinIni) return SystemFileResult::kNothingDone;
  // Every value contains the empty text: no name, no change.
  if (fileName.empty()) return SystemFileResult::kNothingDone;
  platform::System& system = systemContext_.system();
  const auto path = PathInFolder(system.folders().WindowsDirectory(),
                                 which == kSystemIni ? u"system.ini" : u"win.ini");
  if (!path) return SystemFileResult::kNothingDone;
  const auto attributes = system.files().GetFileAttributesWide(*path);
  if (!attributes || (*attributes & platform::kFileAttributeDirectory) != 0)
    return SystemFileResult::kNothingDone;

  platform::ProfileFiles& profiles = system.profileFiles();
  std::vector<std::u16string> sections =
      profiles.GetPrivateProfileSectionNamesWide(limits::kProfileSectionNamesChars, *path);
  // The section the system starts programs from is read also when the list
  // leaves it out: the NT family keeps [windows] of win.ini (load=, run=)
  // and [boot] of system.ini in the registry, where the profile functions
  // still reach them but the list of names may not show them.
  const std::u16string_view startSection = which == kSystemIni ? u"boot" : u"windows";
  if (std::none_of(sections.begin(), sections.end(), [&](const std::u16string& section) {
        return text::EqualsNoCase(section, startSection);
      })) {
    sections.emplace_back(startSection);
  }
  const std::u16string needle = text::ToUpper(fileName);
  bool changed = false;
  const auto failed = [&] {
    if (changed) statistics_.iniChanged = 1;
    return SystemFileResult::kNothingDone;
  };
  for (const std::u16string& section : sections) {
    const std::vector<std::u16string> lines =
        profiles.GetPrivateProfileSectionWide(section, limits::kProfileSectionChars, *path);
    const std::vector<KeyLine> keyLines = KeyLines(lines);
    if (NamingKeyRepeats(keyLines, needle)) {
      const SectionChange change =
          CleanSectionInFile(system, systemContext_.isWindows9x(), *path, section, needle);
      if (change == SectionChange::kFailed) return failed();
      if (change == SectionChange::kChanged) changed = true;
      continue;
    }
    for (const KeyLine& line : keyLines) {
      const auto cleaned = CleanedValue(needle, line.key, line.value);
      if (!cleaned) continue;
      if (!profiles.WritePrivateProfileStringWide(section, line.key, *cleaned, *path)) {
        return failed();
      }
      changed = true;
    }
  }
  if (!changed) return SystemFileResult::kNothingDone;
  statistics_.iniChanged = 1;
  return SystemFileResult::kChanged;
}

SystemFileResult SystemRemovalOperations::RestoreHosts() {
  platform::System& system = systemContext_.system();
  const auto path = HostsPath(systemContext_, u"hosts");
  const auto backupPath = HostsPath(systemContext_, u"hosts.bak");
  if (!path || !backupPath) return SystemFileResult::kNothingDone;
  const auto old = ReadHosts(system, *path);
  if (!old) return SystemFileResult::kNothingDone;
  if (IsUtf16Text(*old)) return SystemFileResult::kUtf16Text;
  // The backup is the former file, byte for byte, in place before the hosts
  // file is touched.
  const bool windows9x = systemContext_.isWindows9x();
  if (!ReplaceWholeFile(system, windows9x, *backupPath, *old))
    return SystemFileResult::kNothingDone;
  if (!ReplaceWholeFile(system, windows9x, *path, RestoredHosts(*old)))
    return SystemFileResult::kNothingDone;
  statistics_.hostsChanged = 1;
  return SystemFileResult::kChanged;
}

HostsRemovalResult SystemRemovalOperations::RemoveFromHosts(std::u16string_view name) {
  platform::System& system = systemContext_.system();
  const auto path = HostsPath(systemContext_, u"hosts");
  if (!path) return HostsRemovalResult::kNothingDone;
  const auto old = ReadHosts(system, *path);
  if (!old) return HostsRemovalResult::kNothingDone;
  if (IsUtf16Text(*old)) return HostsRemovalResult::kUtf16Text;
  const auto ansiName = ExactAnsi(system.runtime(), name);
  if (!ansiName) return HostsRemovalResult::kNothingDone;
  const auto cleaned = HostsWithout(*old, *ansiName);
  if (!cleaned) return HostsRemovalResult::kNoEntryMatched;
  if (!ReplaceWholeFile(system, systemContext_.isWindows9x(), *path, *cleaned))
    return HostsRemovalResult::kNothingDone;
  statistics_.hostsChanged = 1;
  return HostsRemovalResult::kChanged;
}

}  // namespace removal
