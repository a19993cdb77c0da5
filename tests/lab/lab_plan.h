// What the infection lab plants and what it expects after the cleaning: one
// table of items (infected files, companion files, start-up values, registry
// keys, ini entries, hosts lines, the infected process, and the neighbours
// that must stay exactly as they were), each knowing how it is made and how
// it must look afterwards, and the lines the first run's log must hold for
// each finding. `plant` walks the table making the items; `check` walks it
// again verifying them.
//
// No signature is kept as bytes in the program: the script's signatures are
// read as hex text from the built-in script, the built-in handlers' are
// forged from their compiled records, and the lab's own is hex text below;
// the bytes exist only in memory and in the planted files.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "lab_system.h"

namespace lab {

// The lab's own malware, appended to the tool's script by make-tool.
inline constexpr char16_t kLabBlock[] =
    u"[Malware Trojan/LabDemo.A]\r\n"
    u"SIGNATURE_FILE "
    u"FF7821F2842057170D5C9EF6150D6D06AED1A09CA0B210171690C0956B8D622E"
    u"210AE53EBE2347906EFD956089A1797F0C8682290F0EB20A94146B5568775A92\r\n"
    u"REMOVE_FILE %infected_file%\r\n"
    u"REMOVE_FILE %WINDIR%\\labdemo.dll %SYSDIR%\\labdemo.dat\r\n"
    u"REMOVE_RUN_REG %infected_file% labhelper.exe\r\n"
    u"CLEAN_WIN_INI %infected_file%\r\n"
    u"CLEAN_SYSTEM_INI labsvc.exe\r\n"
    u"REMOVE_FROM_HOSTS www.lab-bank.example update.lab-bank.example\r\n"
    u"REMOVE_REG_KEY \"HKLM\\SOFTWARE\\LabDemo\\Settings\" \"HKLM\\SOFTWARE\\LabDemo\"\r\n"
    u"SHOW_POPUP_INFO \"Trojan/LabDemo.A started itself from the registry, win.ini and "
    u"system.ini and sent two bank sites of the hosts file elsewhere. It was removed.\"\r\n";
// The text of its pop-up, as the message box shows it.
inline constexpr wchar_t kLabPopupText[] =
    L"Trojan/LabDemo.A started itself from the registry, win.ini and system.ini and sent two bank "
    L"sites of the hosts file elsewhere. It was removed.";
inline constexpr char16_t kLabMalware[] = u"Trojan/LabDemo.A";

// The sample programs that qrt-lab.exe expects beside itself.
inline constexpr wchar_t kWaiterFile[] = L"lab-wait.exe";
inline constexpr wchar_t kConsoleHostFile[] = L"qrt_console_host.exe";

enum class Outcome { kRemoved, kRepaired, kDisabled, kLeft };
const char* OutcomeName(Outcome outcome);

struct Item {
  std::string malware;  // the malware it belongs to, empty for a neighbour
  std::wstring what;    // the item as the tables show it
  Outcome expected;
  // Makes the item: empty on success, else what failed. Hosts lines have
  // none: the hosts file is written whole before the items.
  std::function<std::string()> plant;
  // Empty when the item is as expected after the cleaning, else what is
  // wrong.
  std::function<std::string()> verify;
};

// The lines (whole lines, without CR LF) the first run's log must hold for
// one finding.
struct Finding {
  std::string malware;
  std::wstring label;
  std::vector<std::wstring> lines;
};

struct Lab {
  Folders folders;
  std::vector<Item> items;
  std::vector<Finding> findings;
  std::wstring hostsPath;
  std::string hostsPlanted;   // the whole hosts file as planted
  std::string hostsExpected;  // and as it must read afterwards
  // The ini files, and the entries each must have after the cleaning in
  // place of those planted ("key=value" as the profile functions read them).
  struct IniChange {
    std::wstring file;
    std::wstring section;
    std::wstring planted;
    std::wstring expected;
  };
  std::vector<IniChange> iniChanges;
  std::wstring winIni;
  std::wstring systemIni;
  std::wstring repairedProgram;  // the repaired file infector's host
  std::wstring cleanProgram;     // the program it was a copy of

  // The entries of an ini file now, in UTF-8 (IniEntries, with the sections
  // of the lab's changes).
  std::vector<std::string> IniEntriesOf(const std::wstring& iniFile) const;
  // Where plant keeps them as planted, one a line.
  std::wstring PlantedEntriesOf(const std::wstring& iniFile) const;
};

// The lab for this prefix; nothing, with `error` set, when a folder, a
// sample program or a signature is missing.
std::optional<Lab> MakeLab(std::string& error);

// The lines of a text (split at LF, a CR before it dropped).
std::vector<std::wstring> LinesOf(const std::wstring& text);
std::vector<std::string> LinesOf(const std::string& text);

}  // namespace lab
