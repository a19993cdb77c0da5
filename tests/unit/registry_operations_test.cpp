// The registry operations against the fake registry: start-up entries under
// HKEY_LOCAL_MACHINE and every profile, keys and values, their result codes,
// the 260-byte and 260-character limits, and every key closed again.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/text.h"
#include "removal/registry_operations.h"
#include "removal_operations_fixture.h"

namespace {

using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;
using platform::kHkeyUsers;
using platform::fake::FakeRegistry;
using Bytes = std::vector<std::uint8_t>;

constexpr char16_t kRun[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr char16_t kRunOnce[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char16_t kRunServicesOnceEx[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnceEx";

Bytes Utf16(std::u16string_view text) {
  Bytes bytes;
  text::AppendUtf16Le(bytes, text);
  return bytes;
}

std::u16string InProfile(std::u16string_view profile, std::u16string_view path) {
  return std::u16string(profile).append(u"\\").append(path);
}

class RegistryOperationsTest : public qrt_test::RemovalOperationsTest {
 protected:
  ~RegistryOperationsTest() override {
    // Every key an operation opened is closed again, on every path.
    EXPECT_EQ(system.OpenRegistryKeyCount(), 0u);
  }

  FakeRegistry& tree = system.registryTree;
  bool Exists(platform::RegistryKey root, std::u16string_view path, std::u16string_view name) {
    return tree.FindValue(root, path, name).has_value();
  }
};

TEST(RegistryNames, RootsAreFullNamesComparedExactlyAndTypesIgnoreCase) {
  const std::pair<std::u16string_view, std::optional<platform::RegistryKey>> roots[] = {
      {u"HKEY_LOCAL_MACHINE", kHkeyLocalMachine},
      {u"HKEY_CURRENT_USER", kHkeyCurrentUser},
      {u"HKEY_USERS", kHkeyUsers},
      {u"HKEY_CLASSES_ROOT", platform::kHkeyClassesRoot},
      {u"HKEY_CURRENT_CONFIG", platform::kHkeyCurrentConfig},
      {u"HKEY_PERFORMANCE_DATA", platform::kHkeyPerformanceData},
      {u"HKEY_DYN_DATA", platform::kHkeyDynData},
      {u"hkey_local_machine", std::nullopt},
      {u"HKLM", std::nullopt},
      {u"HKEY_LOCAL_MACHINE\\", std::nullopt},
      {u"", std::nullopt},
  };
  for (const auto& [name, key] : roots) {
    EXPECT_EQ(removal::RootKeyFromName(name), key) << text::ToUtf8(name);
  }
  const std::pair<std::optional<std::u16string_view>, std::uint32_t> types[] = {
      {std::nullopt, scan::kRegSz}, {u"SZ", scan::kRegSz},         {u"dword", scan::kRegDword},
      {u"DWORD", scan::kRegDword},  {u"Binary", scan::kRegBinary}, {u"EXPAND_SZ", scan::kRegSz},
      {u"", scan::kRegSz},
  };
  for (const auto& [name, type] : types) {
    EXPECT_EQ(removal::ValueTypeFromName(name), type) << text::ToUtf8(name.value_or(u"<none>"));
  }
}

// --- Start-up entries ---

class RunEntriesTest : public RegistryOperationsTest {
 protected:
  RunEntriesTest() {
    tree.AddKey(kHkeyUsers, u".DEFAULT");
    tree.AddKey(kHkeyUsers, u"S-1-5-21-7");
  }
};

TEST_F(RunEntriesTest, StringValuesNamingTheFileGoUnderTheMachineAndEveryProfile) {
  tree.SetString(kHkeyLocalMachine, kRun, u"Guard", u"C:\\WINDOWS\\SYSTEM32\\FVPROTECT.EXE -s");
  tree.SetString(kHkeyLocalMachine, kRun, u"Editor", u"notepad.exe");
  tree.SetString(kHkeyLocalMachine, kRun, u"Expanded", u"%windir%\\fvprotect.exe",
                 scan::kRegExpandSz);
  tree.SetString(kHkeyLocalMachine, kRunOnce, u"Once", u"\"c:\\fvprotect.exe\"");
  tree.SetString(kHkeyUsers, InProfile(u".DEFAULT", kRun), u"Guard", u"fvprotect.exe");
  tree.SetString(kHkeyUsers, InProfile(u"S-1-5-21-7", kRunServicesOnceEx), u"x", u"FvProtect.Exe");
  tree.SetValue(kHkeyUsers, InProfile(u"S-1-5-21-7", kRun), u"Bytes", scan::kRegBinary,
                Utf16(u"fvprotect.exe"));
  // The current user is examined as one of the profiles only.
  tree.SetString(kHkeyCurrentUser, kRun, u"Guard", u"fvprotect.exe");

  EXPECT_EQ(codes::ToInt(Operations().RemoveRunEntries(u"fvprotect.exe")), 1);
  EXPECT_EQ(Stats().registryChanged, 1u);
  EXPECT_FALSE(Exists(kHkeyLocalMachine, kRun, u"Guard"));
  EXPECT_FALSE(Exists(kHkeyLocalMachine, kRunOnce, u"Once"));
  EXPECT_FALSE(Exists(kHkeyUsers, InProfile(u".DEFAULT", kRun), u"Guard"));
  EXPECT_FALSE(Exists(kHkeyUsers, InProfile(u"S-1-5-21-7", kRunServicesOnceEx), u"x"));
  EXPECT_TRUE(Exists(kHkeyLocalMachine, kRun, u"Editor"));
  EXPECT_TRUE(Exists(kHkeyLocalMachine, kRun, u"Expanded"));
  EXPECT_TRUE(Exists(kHkeyUsers, InProfile(u"S-1-5-21-7", kRun), u"Bytes"));
  EXPECT_TRUE(Exists(kHkeyCurrentUser, kRun, u"Guard"));
}

TEST_F(RunEntriesTest, DataIsReadAsAtMost260BytesAndDataThatDidNotFitMatchesNothing) {
  // 130 characters without a terminating zero: the name at its very end.
  const std::u16string full = std::u16string(117, u'x') + u"fvprotect.exe";
  tree.SetValue(kHkeyLocalMachine, kRun, u"Exact", scan::kRegSz, Utf16(full));
  // 131 characters with the name at its start: does not fit, never compared.
  tree.SetString(kHkeyLocalMachine, kRun, u"Long", u"fvprotect.exe" + std::u16string(118, u'x'));
  // An odd byte at the end of otherwise fitting data is left out.
  Bytes odd = Utf16(u"fvprotect.exe");
  odd.push_back(0x41);
  tree.SetValue(kHkeyLocalMachine, kRun, u"Odd", scan::kRegSz, odd);

  EXPECT_EQ(codes::ToInt(Operations().RemoveRunEntries(u"fvprotect.exe")), 1);
  EXPECT_FALSE(Exists(kHkeyLocalMachine, kRun, u"Exact"));
  EXPECT_TRUE(Exists(kHkeyLocalMachine, kRun, u"Long"));
  EXPECT_FALSE(Exists(kHkeyLocalMachine, kRun, u"Odd"));
  for (std::uint32_t bytes : tree.dataBufferBytes) EXPECT_EQ(bytes, 260u);
  for (std::uint32_t chars : tree.nameBufferChars) EXPECT_EQ(chars, 260u);
}

TEST_F(RunEntriesTest, AFailedDeletionEndsTheCleaningAndEveryOtherCaseAnswersItsCode) {
  struct Case {
    const char* label;
    std::u16string fileName;
    std::function<void(FakeRegistry&)> setUp;
    int result;
    std::uint32_t changed;
    bool laterKept;  // the match in the profile, examined last
  };
  const Case cases[] = {
      {"an empty name does nothing", u"", [](FakeRegistry&) {}, 2, 0, true},
      {"a name matching nothing still counts as a change", u"other.exe", [](FakeRegistry&) {}, 1, 1,
       true},
      {"no profile can be listed", u"fvprotect.exe",
       [](FakeRegistry& t) { t.roots[kHkeyUsers].subkeys.clear(); }, 2, 0, false},
      {"a start-up key that refuses full access is passed over", u"fvprotect.exe",
       [](FakeRegistry& t) {
         t.SetString(kHkeyLocalMachine, kRun, u"Guard", u"fvprotect.exe");
         t.AddKey(kHkeyLocalMachine, kRun).deniedAccess = platform::kKeySetValue;
       },
       1, 1, false},
      {"a value that cannot be deleted ends everything", u"fvprotect.exe",
       [](FakeRegistry& t) {
         t.SetString(kHkeyLocalMachine, kRunOnce, u"Guard", u"fvprotect.exe");
         t.AddKey(kHkeyLocalMachine, kRunOnce).changesFail = true;
       },
       2, 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    system.registryTree = FakeRegistry();
    tree.SetString(kHkeyUsers, InProfile(u".DEFAULT", kRun), u"Later", u"fvprotect.exe");
    c.setUp(tree);
    Context().statistics().registryChanged = 0;
    EXPECT_EQ(codes::ToInt(Operations().RemoveRunEntries(c.fileName)), c.result);
    EXPECT_EQ(Stats().registryChanged, c.changed);
    EXPECT_EQ(Exists(kHkeyUsers, InProfile(u".DEFAULT", kRun), u"Later"), c.laterKept);
  }
}

// --- Keys ---

TEST_F(RegistryOperationsTest, KeysAreDeletedAloneOnNtAndWithTheirSubtreeOn9x) {
  struct Case {
    const char* label;
    bool windows9x;
    std::u16string root;
    std::u16string subkey;
    int result;
    bool leafRemains;
  };
  const Case cases[] = {
      {"a leaf", false, u"HKEY_LOCAL_MACHINE", u"Software\\Bad\\Leaf", 1, false},
      {"a key with subkeys on NT", false, u"HKEY_LOCAL_MACHINE", u"Software\\Bad", 0, true},
      {"a key with subkeys on 9x", true, u"HKEY_LOCAL_MACHINE", u"Software\\Bad", 1, false},
      {"a missing key", false, u"HKEY_LOCAL_MACHINE", u"Software\\Gone", 0, true},
      {"no subkey names the root itself", true, u"HKEY_LOCAL_MACHINE", u"", 0, true},
      {"a root name in lower case", false, u"hkey_local_machine", u"Software\\Bad\\Leaf", 5, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    system.registryTree = FakeRegistry();
    system.version->platformId =
        c.windows9x ? platform::kPlatformWin32Windows : platform::kPlatformWin32Nt;
    tree.AddKey(kHkeyLocalMachine, u"Software\\Bad\\Leaf");
    Context().statistics().registryChanged = 0;
    EXPECT_EQ(codes::ToInt(Operations().RemoveRegistryKey(c.root, c.subkey)), c.result);
    EXPECT_EQ(Stats().registryChanged, c.result == 1 ? 1u : 0u);
    EXPECT_EQ(tree.FindKey(kHkeyLocalMachine, u"Software\\Bad\\Leaf") != nullptr, c.leafRemains);
  }
}

TEST_F(RegistryOperationsTest, AddedKeysAreCreatedOnceWithTheirPath) {
  tree.AddKey(kHkeyLocalMachine, u"Software\\Locked").changesFail = true;
  EXPECT_EQ(codes::ToInt(Operations().AddRegistryKey(u"HKEY_LOCAL_MACHINE", u"Software\\A\\B")), 1);
  EXPECT_NE(tree.FindKey(kHkeyLocalMachine, u"Software\\A\\B"), nullptr);
  EXPECT_EQ(Stats().registryChanged, 1u);

  Context().statistics().registryChanged = 0;
  EXPECT_EQ(codes::ToInt(Operations().AddRegistryKey(u"HKEY_LOCAL_MACHINE", u"software\\a\\b")), 6);
  EXPECT_EQ(
      codes::ToInt(Operations().AddRegistryKey(u"HKEY_LOCAL_MACHINE", u"Software\\Locked\\C")), 2);
  EXPECT_EQ(codes::ToInt(Operations().AddRegistryKey(u"HKEY_LOCAL_MACHINE", u"")), 5);
  EXPECT_EQ(codes::ToInt(Operations().AddRegistryKey(u"HKLM", u"Software\\D")), 5);
  EXPECT_EQ(Stats().registryChanged, 0u);
}

// --- Values ---

TEST_F(RegistryOperationsTest, ValuesAreDeletedFromKeysThatOpen) {
  struct Case {
    const char* label;
    std::u16string root;
    std::u16string subkey;
    std::u16string name;
    int result;
  };
  const Case cases[] = {
      {"a value, named in another case", u"HKEY_CURRENT_USER", u"Software\\Open", u"VALUE", 1},
      {"a missing value", u"HKEY_CURRENT_USER", u"Software\\Open", u"Other", 0},
      {"a key whose values cannot change", u"HKEY_CURRENT_USER", u"Software\\Stuck", u"Value", 0},
      {"a key that refuses full access", u"HKEY_CURRENT_USER", u"Software\\Denied", u"Value", -1},
      {"a missing key", u"HKEY_CURRENT_USER", u"Software\\Gone", u"Value", -1},
      {"no root", u"HKCU", u"Software\\Open", u"Value", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    system.registryTree = FakeRegistry();
    for (const char16_t* key : {u"Software\\Open", u"Software\\Stuck", u"Software\\Denied"}) {
      tree.SetString(kHkeyCurrentUser, key, u"Value", u"data");
    }
    tree.AddKey(kHkeyCurrentUser, u"Software\\Stuck").changesFail = true;
    tree.AddKey(kHkeyCurrentUser, u"Software\\Denied").deniedAccess = platform::kKeyDelete;
    Context().statistics().registryChanged = 0;
    EXPECT_EQ(codes::ToInt(Operations().RemoveRegistryValue(c.root, c.subkey, c.name)), c.result);
    EXPECT_EQ(Stats().registryChanged, c.result == 1 ? 1u : 0u);
  }
}

TEST_F(RegistryOperationsTest, ReplacementNeedsTheOldContentAndATypeItKnows) {
  const Bytes one = {1, 0, 0, 0};
  struct Case {
    const char* label;
    std::uint32_t type;
    Bytes stored;
    std::u16string oldContent;
    std::u16string newContent;
    int result;
    Bytes after;  // the data afterwards, when replaced
  };
  const std::u16string longText(130, u'x');
  const Case cases[] = {
      {"a string holding the old content", scan::kRegSz,
       Utf16(std::u16string(u"Explorer.exe evil") + u'\0'), u"EXPLORER.EXE EVIL", u"Explorer.exe",
       1, Utf16(std::u16string(u"Explorer.exe") + u'\0')},
      {"a string holding other content", scan::kRegSz, Utf16(u"other"), u"evil", u"good", 2, {}},
      {"a string holding the new content already",
       scan::kRegSz,
       Utf16(u"good"),
       u"GOOD",
       u"Good",
       2,
       {}},
      {"a string longer than 260 bytes",
       scan::kRegSz,
       Utf16(longText + u"y"),
       longText + u"y",
       u"good",
       2,
       {}},
      {"a number holding the old one", scan::kRegDword, one, u"1", u"0", 1, {0, 0, 0, 0}},
      {"a number holding another", scan::kRegDword, {2, 0, 0, 0}, u"1", u"0", 2, {}},
      {"a number with a sign", scan::kRegDword, one, u"+1", u"0", 2, {}},
      {"a number with letters", scan::kRegDword, one, u"1", u"0x0", 2, {}},
      {"an empty number", scan::kRegDword, one, u"1", u"", 2, {}},
      {"a number past 32 bits", scan::kRegDword, one, u"1", u"4294967296", 2, {}},
      {"the largest number",
       scan::kRegDword,
       one,
       u"01",
       u"4294967295",
       1,
       {0xFF, 0xFF, 0xFF, 0xFF}},
      {"a number stored in fewer than 4 bytes", scan::kRegDword, {1, 0}, u"1", u"0", 2, {}},
      {"binary data", scan::kRegBinary, {1}, u"01", u"00", 2, {}},
      {"an expandable string", scan::kRegExpandSz, Utf16(u"a"), u"a", u"b", 2, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    system.registryTree = FakeRegistry();
    tree.SetValue(kHkeyLocalMachine, u"Software\\K", u"V", c.type, c.stored);
    Context().statistics().registryChanged = 0;
    EXPECT_EQ(codes::ToInt(Operations().ReplaceRegistryValue(u"HKEY_LOCAL_MACHINE", u"Software\\K",
                                                             u"v", c.oldContent, c.newContent)),
              c.result);
    const auto value = tree.FindValue(kHkeyLocalMachine, u"Software\\K", u"V");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->data, c.result == 1 ? c.after : c.stored);
    EXPECT_EQ(value->type, c.type);
    EXPECT_EQ(Stats().registryChanged, c.result == 1 ? 1u : 0u);
  }
}

TEST_F(RegistryOperationsTest, ReplacementNeedsItsArgumentsAKeyAndAWritableValue) {
  tree.SetString(kHkeyLocalMachine, u"Software\\K", u"V", u"old");
  tree.SetString(kHkeyLocalMachine, u"Software\\Stuck", u"V", u"old");
  tree.AddKey(kHkeyLocalMachine, u"Software\\Stuck").changesFail = true;
  const auto replace = [&](std::u16string_view root, std::u16string_view key,
                           std::u16string_view name) {
    return codes::ToInt(Operations().ReplaceRegistryValue(root, key, name, u"old", u"new"));
  };
  EXPECT_EQ(replace(u"hkey_local_machine", u"Software\\K", u"V"), 5);
  EXPECT_EQ(replace(u"HKEY_LOCAL_MACHINE", u"", u"V"), 5);
  EXPECT_EQ(replace(u"HKEY_LOCAL_MACHINE", u"Software\\K", u""), 5);
  EXPECT_EQ(replace(u"HKEY_LOCAL_MACHINE", u"Software\\Gone", u"V"), 2);
  EXPECT_EQ(replace(u"HKEY_LOCAL_MACHINE", u"Software\\K", u"Missing"), 2);
  EXPECT_EQ(replace(u"HKEY_LOCAL_MACHINE", u"Software\\Stuck", u"V"), 2);
  EXPECT_EQ(Stats().registryChanged, 0u);
  EXPECT_EQ(replace(u"HKEY_LOCAL_MACHINE", u"Software\\K", u"V"), 1);
}

TEST_F(RegistryOperationsTest, AddedValuesTakeTheirTypeAndDataAndNeverReplaceOne) {
  struct Case {
    const char* label;
    std::optional<std::u16string> type;
    std::optional<std::u16string> data;
    int result;
    std::uint32_t storedType;
    Bytes stored;
  };
  const Case cases[] = {
      {"a string with its zero", std::nullopt, u"C:\\a.exe", 1, scan::kRegSz,
       Utf16(std::u16string(u"C:\\a.exe") + u'\0')},
      {"a string without data: two zeros", u"SZ", std::nullopt, 1, scan::kRegSz, {0, 0, 0, 0}},
      {"an unknown type is a string", u"MULTI_SZ", u"x", 1, scan::kRegSz, {0x78, 0, 0, 0}},
      {"binary from lenient hex", u"binary", u"41 z42 4", 1, scan::kRegBinary, {0x41, 0x42}},
      {"binary without data", u"BINARY", std::nullopt, 1, scan::kRegBinary, {}},
      {"binary text with a character the code page lacks",
       u"BINARY",
       u"41\u4E2D42",
       1,
       scan::kRegBinary,
       {0x41, 0x42}},
      {"binary text of 259 bytes", u"BINARY", std::u16string(259, u'4'), 1, scan::kRegBinary,
       Bytes(129, 0x44)},
      {"binary text of 260 bytes", u"BINARY", std::u16string(260, u'4'), 2, 0, {}},
      {"a number", u"DWORD", u"1234", 1, scan::kRegDword, {0xD2, 0x04, 0, 0}},
      {"a number with text after it", u"dword", u" 7 days", 1, scan::kRegDword, {7, 0, 0, 0}},
      {"a negative number", u"DWORD", u"-1", 1, scan::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}},
      {"no number", u"DWORD", u"none", 1, scan::kRegDword, {0, 0, 0, 0}},
      {"a number past 32 bits", u"DWORD", u"99999999999", 2, 0, {}},
      {"a number without data", u"DWORD", std::nullopt, 1, scan::kRegDword, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    system.registryTree = FakeRegistry();
    tree.AddKey(kHkeyLocalMachine, u"Software\\K");
    Context().statistics().registryChanged = 0;
    const auto view = [](const std::optional<std::u16string>& s) {
      return s ? std::optional<std::u16string_view>(*s) : std::nullopt;
    };
    EXPECT_EQ(codes::ToInt(Operations().AddRegistryValue(u"HKEY_LOCAL_MACHINE", u"Software\\K",
                                                         u"New", view(c.type), view(c.data))),
              c.result);
    const auto value = tree.FindValue(kHkeyLocalMachine, u"Software\\K", u"New");
    ASSERT_EQ(value.has_value(), c.result == 1);
    if (value) {
      EXPECT_EQ(value->type, c.storedType);
      EXPECT_EQ(value->data, c.stored);
    }
    EXPECT_EQ(Stats().registryChanged, c.result == 1 ? 1u : 0u);
  }
}

TEST_F(RegistryOperationsTest, BinaryDataThatCannotBeConvertedIsNotWritten) {
  tree.AddKey(kHkeyLocalMachine, u"Software\\K");
  system.wideToAnsiFails = true;
  EXPECT_EQ(codes::ToInt(Operations().AddRegistryValue(u"HKEY_LOCAL_MACHINE", u"Software\\K",
                                                       u"New", u"BINARY", u"4142")),
            2);
  EXPECT_FALSE(Exists(kHkeyLocalMachine, u"Software\\K", u"New"));
}

TEST_F(RegistryOperationsTest, AddingAValueNeedsAnOpenKeyAndANameNotTakenYet) {
  tree.SetString(kHkeyLocalMachine, u"Software\\K", u"Taken", u"old");
  tree.SetString(kHkeyLocalMachine, u"Software\\Stuck", u"Other", u"old");
  tree.AddKey(kHkeyLocalMachine, u"Software\\Stuck").changesFail = true;
  const auto add = [&](std::u16string_view root, std::u16string_view key,
                       std::u16string_view name) {
    return codes::ToInt(Operations().AddRegistryValue(root, key, name, std::nullopt, u"new"));
  };
  EXPECT_EQ(add(u"HKEY_LOCAL_MACHINE", u"Software\\K", u"TAKEN"), 2);
  EXPECT_EQ(tree.FindValue(kHkeyLocalMachine, u"Software\\K", u"Taken")->data,
            Utf16(std::u16string(u"old") + u'\0'));
  EXPECT_EQ(add(u"HKEY_LOCAL_MACHINE", u"Software\\Gone", u"New"), 2);
  EXPECT_EQ(tree.FindKey(kHkeyLocalMachine, u"Software\\Gone"), nullptr);
  EXPECT_EQ(add(u"HKEY_LOCAL_MACHINE", u"Software\\Stuck", u"New"), 2);
  EXPECT_EQ(add(u"HKEY_LOCAL_MACHINE", u"Software\\K", u""), 5);
  EXPECT_EQ(add(u"Hkey_Local_Machine", u"Software\\K", u"New"), 5);
  EXPECT_EQ(Stats().registryChanged, 0u);
}

// --- Listings ---

TEST_F(RegistryOperationsTest, ListingsKeepTheirOrderAndMarkDataThatDidNotFit) {
  const std::u16string longName(260, u'n');
  tree.SetString(kHkeyLocalMachine, u"Software\\K", u"b", u"text");
  tree.SetDword(kHkeyLocalMachine, u"Software\\K", u"a", 7);
  tree.SetValue(kHkeyLocalMachine, u"Software\\K", u"big", scan::kRegBinary, Bytes(261, 1));
  tree.SetValue(kHkeyLocalMachine, u"Software\\K", u"edge", scan::kRegBinary, Bytes(260, 2));
  tree.SetString(kHkeyLocalMachine, u"Software\\K", longName, u"x");

  const auto values = Operations().EnumerateValues(u"HKEY_LOCAL_MACHINE", u"Software\\K");
  ASSERT_TRUE(values);
  ASSERT_EQ(values->size(), 5u);
  EXPECT_EQ((*values)[0].name, u"b");
  EXPECT_EQ(removal::StringData((*values)[0]), u"text");
  EXPECT_EQ((*values)[1].name, u"a");
  EXPECT_EQ((*values)[1].type, scan::kRegDword);
  EXPECT_EQ((*values)[1].data, (Bytes{7, 0, 0, 0}));
  EXPECT_EQ((*values)[2].name, u"big");
  EXPECT_FALSE((*values)[2].dataComplete);
  EXPECT_TRUE((*values)[2].data.empty());
  EXPECT_TRUE((*values)[3].dataComplete);
  EXPECT_EQ((*values)[3].data.size(), 260u);
  // A name that did not fit is no name: the element matches nothing.
  EXPECT_TRUE((*values)[4].name.empty());
  EXPECT_FALSE((*values)[4].dataComplete);

  tree.AddKey(kHkeyLocalMachine, u"Software\\Empty");
  EXPECT_FALSE(Operations().EnumerateValues(u"HKEY_LOCAL_MACHINE", u"Software\\Empty"));
  EXPECT_FALSE(Operations().EnumerateValues(u"HKEY_LOCAL_MACHINE", u"Software\\Gone"));
  EXPECT_FALSE(Operations().EnumerateValues(u"HKLM", u"Software\\K"));

  auto& registry = static_cast<platform::System&>(system).registry();
  tree.AddKey(kHkeyUsers, u"S-1-5-21-7");
  tree.AddKey(kHkeyUsers, u".DEFAULT");
  EXPECT_EQ(removal::EnumerateSubkeys(registry, u"HKEY_USERS"),
            (std::vector<std::u16string>{u".DEFAULT", u"S-1-5-21-7"}));
  tree.AddKey(kHkeyUsers, longName);
  EXPECT_FALSE(removal::EnumerateSubkeys(registry, u"HKEY_USERS"));
  EXPECT_FALSE(removal::EnumerateSubkeys(registry, u"HKEY_CURRENT_CONFIG"));
}

}  // namespace
