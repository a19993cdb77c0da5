// The profile files area: the section names and a section's lines as the
// system gives them, buffers that cut the lists, and writes that set the
// first matching line and add missing keys, sections and files.
#include <vector>

#include "tests/platform_cases/platform_cases.h"

namespace platform_cases {
namespace {

using Strings = std::vector<std::u16string>;

constexpr std::string_view kSystemIni =
    "top=none\r\n"
    "[Boot]\r\n"
    "  Shell = Explorer.exe evil.exe  \r\n"
    "; a comment\r\n"
    "\r\n"
    "no equals here\r\n"
    "[boot]\r\n"
    "shell=second\r\n"
    "[386Enh]\r\n"
    "x=1";

platform::ProfileFiles& ProfilesOf(Bench& b) { return b.system().profileFiles(); }

// The case's system.ini, written with the text above.
std::u16string Ini(Bench& b) {
  const std::u16string path = b.folder() + u"system.ini";
  WriteBytes(b.system(), path, kSystemIni);
  return path;
}

std::string Names(Bench& b, const std::u16string& path, std::uint32_t chars) {
  const Strings names = ProfilesOf(b).GetPrivateProfileSectionNamesWide(chars, path);
  return Join(names);
}

std::string Lines(Bench& b, std::u16string_view section, const std::u16string& path) {
  const Strings lines = ProfilesOf(b).GetPrivateProfileSectionWide(section, 1000, path);
  return Join(lines);
}

const std::vector<Case>& Table() {
  static const std::vector<Case> cases = {
      {"section names in file order, each duplicate too",
       [](Bench& b) { return Names(b, Ini(b), 100); }, "Boot|boot|386Enh"},
      // "Boot\0boot\0" and "38" in a buffer of 14 with its two zeros.
      {"a buffer too small cuts the names", [](Bench& b) { return Names(b, Ini(b), 14); },
       "Boot|boot|38"},
      {"a section's lines without blanks, comments and empty lines; the first section wins",
       [](Bench& b) { return Lines(b, u"BOOT", Ini(b)); },
       "Shell=Explorer.exe evil.exe|no equals here"},
      {"a missing section and a missing file give nothing",
       [](Bench& b) {
         const std::u16string ini = Ini(b);
         return "[" + Lines(b, u"none", ini) + "][" + Names(b, b.folder() + u"none.ini", 100) +
                "][" + Lines(b, u"boot", b.folder() + u"none.ini") + "]";
       },
       "[][][]"},
      {"a write sets the first matching line only",
       [](Bench& b) {
         const std::u16string ini = Ini(b);
         const bool written =
             ProfilesOf(b).WritePrivateProfileStringWide(u"boot", u"SHELL", u"explorer.exe", ini);
         return Ok(written) + "; " + Lines(b, u"Boot", ini) + "; " + Names(b, ini, 100);
       },
       "ok; Shell=explorer.exe|no equals here; Boot|boot|386Enh"},
      {"a write adds a missing key to its section and a missing section at the end",
       [](Bench& b) {
         const std::u16string ini = Ini(b);
         ProfilesOf(b).WritePrivateProfileStringWide(u"386enh", u"y", u"", ini);
         ProfilesOf(b).WritePrivateProfileStringWide(u"drivers", u"wave", u"x.drv", ini);
         return Lines(b, u"386Enh", ini) + "; " + Lines(b, u"drivers", ini) + "; " +
                Names(b, ini, 100);
       },
       "x=1|y=; wave=x.drv; Boot|boot|386Enh|drivers"},
      {"writes change only their own lines, keeping the key's spelling and the line's end",
       [](Bench& b) {
         const std::u16string ini = Ini(b);
         ProfilesOf(b).WritePrivateProfileStringWide(u"boot", u"SHELL", u"explorer.exe", ini);
         ProfilesOf(b).WritePrivateProfileStringWide(u"386enh", u"y", u"", ini);
         ProfilesOf(b).WritePrivateProfileStringWide(u"drivers", u"wave", u"x.drv", ini);
         return ReadBytes(b.system(), ini);
       },
       "top=none\r\n"
       "[Boot]\r\n"
       "Shell=explorer.exe  \r\n"
       "; a comment\r\n"
       "\r\n"
       "no equals here\r\n"
       "[boot]\r\n"
       "shell=second\r\n"
       "[386Enh]\r\n"
       "x=1\r\n"
       "y=\r\n"
       "[drivers]\r\n"
       "wave=x.drv\r\n",
       nullptr, Wine::kCannotShow,
       "Wine writes the whole file anew from what it parsed (blank lines and the blanks after a "
       "value dropped); this layout is the fake's model of changing the file in place, not "
       "checked against Windows here"},
      {"a write creates a missing file",
       [](Bench& b) {
         const std::u16string ini = b.folder() + u"new.ini";
         const std::string line =
             Ok(ProfilesOf(b).WritePrivateProfileStringWide(u"s", u"k", u"v", ini));
         return line + "; " + ReadBytes(b.system(), ini);
       },
       "ok; [s]\r\nk=v\r\n"},
      {"a read-only file takes no write",
       [](Bench& b) {
         const std::u16string ini = Ini(b);
         b.system().files().SetFileAttributesWide(ini, platform::kFileAttributeReadOnly);
         const bool written =
             ProfilesOf(b).WritePrivateProfileStringWide(u"boot", u"shell", u"x", ini);
         const std::string line = Ok(written) + "; " + Lines(b, u"boot", ini);
         b.system().files().SetFileAttributesWide(ini, platform::kFileAttributeNormal);
         return line;
       },
       "fails; Shell=Explorer.exe evil.exe|no equals here", nullptr, Wine::kCannotShow,
       "a read-only file cannot be written (Platform SDK, FILE_ATTRIBUTE_READONLY); Wine keeps "
       "the bit as the Unix write permission, which the test machine's root user passes"},
  };
  return cases;
}

}  // namespace

std::span<const Case> ProfileFileCases() { return Table(); }

}  // namespace platform_cases
