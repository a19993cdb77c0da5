// The registry area: opening and creating keys, deleting them as each
// family does, and reading, writing, listing and deleting values with the
// buffers the caller offers. Every case works below its own key of
// HKEY_CURRENT_USER.
#include <vector>

#include "common/text.h"
#include "tests/platform_cases/platform_cases.h"

namespace platform_cases {
namespace {

using namespace platform;
using Bytes = std::vector<std::uint8_t>;

Registry& RegistryOf(Bench& b) { return b.system().registry(); }
std::u16string Below(Bench& b, std::u16string_view path) {
  return b.key() + u"\\" + std::u16string(path);
}

// Creates `path` below the case's key and closes it again.
void MakeKey(Bench& b, std::u16string_view path) {
  const RegistryCreateResult made =
      RegistryOf(b).RegCreateKeyExWide(kHkeyCurrentUser, Below(b, path), 0, kKeyAllAccess);
  if (made.status == kErrorSuccess) RegistryOf(b).RegCloseKey(made.key);
}

// Opens the case's key itself with `access`.
RegistryKey OpenCaseKey(Bench& b, std::uint32_t access) {
  return RegistryOf(b).RegOpenKeyExWide(kHkeyCurrentUser, b.key(), access).key;
}

std::string Status(std::uint32_t status) { return ErrorName(status); }

Bytes Utf16(std::u16string_view text) {
  Bytes bytes;
  text::AppendUtf16Le(bytes, text);
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

// A value as "status type size [n data bytes]".
std::string Value(const RegistryValueData& value) {
  std::string line = Status(value.status);
  if (value.status == kErrorSuccess || value.status == kErrorMoreData) {
    line += ", type " + std::to_string(value.type) + ", size " + std::to_string(value.size) + ", " +
            std::to_string(value.data.size()) + " given";
  }
  return line;
}

const std::vector<Case>& Table() {
  static const std::vector<Case> cases = {
      // --- Keys ---
      {"a key opens in another case and with a trailing backslash",
       [](Bench& b) {
         MakeKey(b, u"A\\B");
         const RegistryOpenResult a = RegistryOf(b).RegOpenKeyExWide(
             kHkeyCurrentUser, text::ToUpper(Below(b, u"a\\")), kKeyRead);
         RegistryOf(b).RegCloseKey(a.key);
         return Status(a.status);
       },
       "success"},
      {"a missing key is not found",
       [](Bench& b) {
         return Status(
             RegistryOf(b).RegOpenKeyExWide(kHkeyCurrentUser, Below(b, u"none"), kKeyRead).status);
       },
       "not found"},
      // Windows 95/98/ME answer a leading backslash otherwise (RegOpenKeyEx
      // "not found", RegCreateKeyEx ignores it), which the fake does not
      // model: the program never passes one.
      {"a path with a leading backslash is refused",
       [](Bench& b) {
         MakeKey(b, u"A");
         return Status(RegistryOf(b)
                           .RegOpenKeyExWide(kHkeyCurrentUser, u"\\" + Below(b, u"A"), kKeyRead)
                           .status);
       },
       "bad path", kNotApplicable},
      {"create makes every key on the way, and opens an existing one",
       [](Bench& b) {
         const RegistryCreateResult made = RegistryOf(b).RegCreateKeyExWide(
             kHkeyCurrentUser, Below(b, u"C\\D"), kRegOptionNonVolatile, kKeyAllAccess);
         const RegistryCreateResult again = RegistryOf(b).RegCreateKeyExWide(
             kHkeyCurrentUser, text::ToUpper(Below(b, u"c")), kRegOptionNonVolatile, 0);
         RegistryOf(b).RegCloseKey(made.key);
         RegistryOf(b).RegCloseKey(again.key);
         return Status(made.status) + " " + std::to_string(made.disposition) + ", " +
                Status(again.status) + " " + std::to_string(again.disposition);
       },
       "success 1, success 2"},
      // Windows 9x/ME have no security on the registry: the access asked
      // for is not checked there.
      {"a handle without the right to create subkeys creates none",
       [](Bench& b) {
         const RegistryKey read = OpenCaseKey(b, kKeyRead);
         const RegistryCreateResult made = RegistryOf(b).RegCreateKeyExWide(read, u"C", 0, 0);
         RegistryOf(b).RegCloseKey(made.key);
         RegistryOf(b).RegCloseKey(read);
         return Status(made.status);
       },
       "denied", kNotApplicable, Wine::kCannotShow,
       "RegCreateKeyEx: \"The calling process must have KEY_CREATE_SUB_KEY access to the key\" "
       "(Platform SDK); Wine creates the key through any handle"},
      {"a key with subkeys: the NT family refuses to delete it, Windows 9x/ME delete it all",
       [](Bench& b) {
         MakeKey(b, u"A\\B");
         const std::string line =
             Status(RegistryOf(b).RegDeleteKeyWide(kHkeyCurrentUser, Below(b, u"A")));
         return line + ", " +
                Status(RegistryOf(b)
                           .RegOpenKeyExWide(kHkeyCurrentUser, Below(b, u"A\\B"), kKeyRead)
                           .status);
       },
       "denied, success", "success, not found", Wine::kShowsNtOnly,
       "Windows 95/98/ME delete a key with all its subkeys (Platform SDK, RegDeleteKey: "
       "\"Windows 95/98/Me: RegDeleteKey deletes all subkeys and values\"); Wine refuses on "
       "every version setting"},
      {"a deleted key: its open handle answers key deleted, a second delete not found",
       [](Bench& b) {
         MakeKey(b, u"A");
         const RegistryKey open =
             RegistryOf(b).RegOpenKeyExWide(kHkeyCurrentUser, Below(b, u"A"), kKeyRead).key;
         std::string line =
             Status(RegistryOf(b).RegDeleteKeyWide(kHkeyCurrentUser, Below(b, u"a")));
         line += ", " + Status(RegistryOf(b).RegQueryInfoKeyWide(open).status);
         line += ", " + Status(RegistryOf(b).RegDeleteKeyWide(kHkeyCurrentUser, Below(b, u"A")));
         line += ", close " + Status(RegistryOf(b).RegCloseKey(open));
         return line + ", again " + Status(RegistryOf(b).RegCloseKey(open));
       },
       "success, key deleted, not found, close success, again invalid handle"},

      // --- Values ---
      {"values read back by name in any case, their data cut by no buffer",
       [](Bench& b) {
         const RegistryKey key = OpenCaseKey(b, kKeyAllAccess);
         const Bytes text = Utf16(u"caf\u00e9 au lait");
         RegistryOf(b).RegSetValueExWide(key, u"Texte", kRegSz, text);
         RegistryOf(b).RegSetValueExWide(key, u"Number", kRegDword, Bytes{7, 0, 0, 0});
         const RegistryValueData read = RegistryOf(b).RegQueryValueExWide(key, u"texte", 260);
         const RegistryValueData number = RegistryOf(b).RegQueryValueExWide(key, u"NUMBER", 4);
         RegistryOf(b).RegCloseKey(key);
         return Value(read) + (read.data == text ? " as written" : " changed") + "; " +
                Value(number) + (number.data == Bytes{7, 0, 0, 0} ? " as written" : " changed");
       },
       "success, type 1, size 26, 26 given as written; success, type 4, size 4, 4 given as "
       "written"},
      {"data that does not fit answers more data with its size and nothing of it",
       [](Bench& b) {
         const RegistryKey key = OpenCaseKey(b, kKeyAllAccess);
         RegistryOf(b).RegSetValueExWide(key, u"Big", kRegBinary, Bytes(261, 0x5A));
         const std::string line = Value(RegistryOf(b).RegQueryValueExWide(key, u"big", 260)) +
                                  "; " + Value(RegistryOf(b).RegQueryValueExWide(key, u"Big", 261));
         RegistryOf(b).RegCloseKey(key);
         return line;
       },
       "more data, type 3, size 261, 0 given; success, type 3, size 261, 261 given"},
      {"a missing value is not found, also for deleting, a deleted one is gone",
       [](Bench& b) {
         const RegistryKey key = OpenCaseKey(b, kKeyAllAccess);
         RegistryOf(b).RegSetValueExWide(key, u"Number", kRegDword, Bytes{7, 0, 0, 0});
         std::string line = Status(RegistryOf(b).RegQueryValueExWide(key, u"Missing", 260).status);
         line += ", " + Status(RegistryOf(b).RegDeleteValueWide(key, u"number"));
         line += ", " + Status(RegistryOf(b).RegDeleteValueWide(key, u"Number"));
         line += ", " + Status(RegistryOf(b).RegQueryValueExWide(key, u"Number", 260).status);
         RegistryOf(b).RegCloseKey(key);
         return line;
       },
       "not found, success, not found, not found"},
      {"values are listed in the order written, subkeys by name, each with its buffer",
       [](Bench& b) {
         MakeKey(b, u"Sub");
         const RegistryKey key = OpenCaseKey(b, kKeyAllAccess);
         RegistryOf(b).RegSetValueExWide(key, u"Big", kRegBinary, Bytes(261, 7));
         RegistryOf(b).RegSetValueExWide(key, u"Small", kRegDword, Bytes{5, 0, 0, 0});
         Registry& registry = RegistryOf(b);
         const RegistryValueData big = registry.RegEnumValueWide(key, 0, 260, 260);
         std::string line = Value(big) + " " + Utf8(big.name);
         // "Small" needs six characters with its zero.
         line += "; " + Status(registry.RegEnumValueWide(key, 1, 5, 4).status);
         const RegistryValueData small = registry.RegEnumValueWide(key, 1, 6, 4);
         line += "; " + Value(small) + " " + Utf8(small.name);
         line += "; " + Status(registry.RegEnumValueWide(key, 2, 260, 260).status);
         const RegistryKeyInfo info = registry.RegQueryInfoKeyWide(key);
         line += "; " + std::to_string(info.subKeys) + " subkey, " + std::to_string(info.values) +
                 " values";
         line += "; " + Utf8(registry.RegEnumKeyExWide(key, 0, 260).name);
         line += "; " + Status(registry.RegEnumKeyExWide(key, 0, 3).status);
         line += "; " + Status(registry.RegEnumKeyExWide(key, 1, 260).status);
         registry.RegCloseKey(key);
         return line;
       },
       "more data, type 3, size 261, 0 given Big; more data; success, type 4, size 4, 4 given "
       "Small; no more items; 1 subkey, 2 values; Sub; more data; no more items"},
      {"a name that does not fit its buffer is not given",
       [](Bench& b) {
         const RegistryKey key = OpenCaseKey(b, kKeyAllAccess);
         RegistryOf(b).RegSetValueExWide(key, u"Number", kRegDword, Bytes{7, 0, 0, 0});
         const RegistryValueData cut = RegistryOf(b).RegEnumValueWide(key, 0, 2, 260);
         RegistryOf(b).RegCloseKey(key);
         return Status(cut.status) + ", name \"" + Utf8(cut.name) + "\"";
       },
       "more data, name \"\""},
      // Windows 9x/ME have no security on the registry: the access asked
      // for is not checked there.
      {"a key opened for reading only takes no writes",
       [](Bench& b) {
         const RegistryKey all = OpenCaseKey(b, kKeyAllAccess);
         RegistryOf(b).RegSetValueExWide(all, u"Small", kRegDword, Bytes{5, 0, 0, 0});
         RegistryOf(b).RegCloseKey(all);
         const RegistryKey read = OpenCaseKey(b, kKeyRead);
         std::string line =
             Status(RegistryOf(b).RegSetValueExWide(read, u"New", kRegDword, Bytes{1, 0, 0, 0}));
         line += ", " + Status(RegistryOf(b).RegDeleteValueWide(read, u"Small"));
         RegistryOf(b).RegCloseKey(read);
         return line;
       },
       "denied, denied", kNotApplicable},
      // The narrow functions of Windows 9x/ME take names in the ANSI code
      // page only: the backend refuses a name without an exact form there.
      {"a value name outside the ANSI code page",
       [](Bench& b) {
         const RegistryKey key = OpenCaseKey(b, kKeyAllAccess);
         const std::uint32_t status =
             RegistryOf(b).RegSetValueExWide(key, u"\u4E2D", kRegSz, Utf16(u"x"));
         const RegistryKeyInfo info = RegistryOf(b).RegQueryInfoKeyWide(key);
         RegistryOf(b).RegCloseKey(key);
         return Status(status) + ", " + std::to_string(info.values) + " values";
       },
       "success, 1 values", "no translation, 0 values"},
  };
  return cases;
}

}  // namespace

std::span<const Case> RegistryCases() { return Table(); }

}  // namespace platform_cases
