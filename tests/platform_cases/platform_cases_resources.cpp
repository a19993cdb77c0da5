// The resources and runtime areas: the program's version block as the
// version functions hand it out and look values up in it, its string table,
// named mutexes, libraries and the ANSI code page.
#include <vector>

#include "common/string_table.h"
#include "tests/platform_cases/platform_cases.h"

namespace platform_cases {
namespace {

using Bytes = std::vector<std::uint8_t>;

platform::Resources& ResourcesOf(Bench& b) { return b.system().resources(); }

// The version block of the program's own file.
std::optional<Bytes> OwnBlock(Bench& b) {
  const std::u16string own = b.system().runtime().ModuleFileName();
  const std::uint32_t size = ResourcesOf(b).GetFileVersionInfoSizeWide(own);
  if (size == 0) return std::nullopt;
  return ResourcesOf(b).GetFileVersionInfoWide(own, size);
}

std::string Hex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (const std::uint8_t byte : bytes) {
    if (!text.empty()) text += " ";
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

std::string Text(Bench& b, const Bytes& block, std::u16string_view subBlock) {
  const auto text = ResourcesOf(b).VerQueryValueText(block, subBlock);
  return text ? "\"" + Utf8(*text) + "\"" : "none";
}

const std::vector<Case>& ResourceTable() {
  static const std::vector<Case> cases = {
      {"the version block's fixed file information: signature and file version",
       [](Bench& b) {
         const auto block = OwnBlock(b);
         if (!block) return std::string("no block");
         const auto fixed = ResourcesOf(b).VerQueryValueBytes(*block, u"\\");
         if (!fixed) return std::string("no fixed information");
         // dwSignature, dwStrucVersion, dwFileVersionMS and LS.
         return std::to_string(fixed->size()) +
                " bytes: " + Hex(Bytes(fixed->begin(), fixed->begin() + 4)) + ", " +
                Hex(Bytes(fixed->begin() + 8, fixed->begin() + 16));
       },
       "52 bytes: BD 04 EF FE, 00 00 03 00 10 00 01 00"},
      {"the version block's translation and texts, keys in any case",
       [](Bench& b) {
         const auto block = OwnBlock(b);
         if (!block) return std::string("no block");
         const auto translation =
             ResourcesOf(b).VerQueryValueBytes(*block, u"\\VarFileInfo\\Translation");
         return (translation ? Hex(*translation) : "none") + "; " +
                Text(b, *block, u"\\StringFileInfo\\040904B0\\FileVersion") + "; " +
                Text(b, *block, u"\\stringfileinfo\\040904b0\\productname") + "; " +
                Text(b, *block, u"StringFileInfo\\040904B0\\CompanyName");
       },
       "09 04 B0 04; \"3, 0, 1, 16\"; \"Quelvix Removal Tool\"; \"Quelvix\""},
      // GetFileVersionInfoW: "If the buffer pointed to by lpData is not
      // large enough, the function truncates the file's version
      // information to the size of the buffer" (Platform SDK).
      {"a buffer smaller than the block gets it cut to its size",
       [](Bench& b) {
         const std::u16string own = b.system().runtime().ModuleFileName();
         const auto cut = ResourcesOf(b).GetFileVersionInfoWide(own, 64);
         return cut ? std::to_string(cut->size()) + " bytes" : std::string("fails");
       },
       "64 bytes"},
      {"values the block lacks are not found",
       [](Bench& b) {
         const auto block = OwnBlock(b);
         if (!block) return std::string("no block");
         return Text(b, *block, u"\\StringFileInfo\\040904B0\\NoSuchValue") + "; " +
                Text(b, *block, u"\\StringFileInfo\\0407\\FileVersion") + "; " +
                (ResourcesOf(b).VerQueryValueBytes(*block, u"\\Nothing") ? "found" : "none");
       },
       "none; none; none"},
      {"a file without a version resource has no block",
       [](Bench& b) {
         const std::u16string path = b.folder() + u"plain.txt";
         WriteBytes(b.system(), path, "no resources");
         return std::to_string(ResourcesOf(b).GetFileVersionInfoSizeWide(path)) + ", " +
                std::to_string(ResourcesOf(b).GetFileVersionInfoSizeWide(b.folder() + u"none.exe"));
       },
       "0, 0"},
      {"every text of the string table loads; a missing one does not",
       [](Bench& b) {
         for (const strings::Entry& entry : strings::Table()) {
           if (ResourcesOf(b).LoadStringResource(entry.id) != std::u16string(entry.text)) {
             return "string " + std::to_string(entry.id) + " differs";
           }
         }
         return std::string(ResourcesOf(b).LoadStringResource(29) ? "29 found" : "29 missing");
       },
       "29 missing"},
  };
  return cases;
}

const std::vector<Case>& RuntimeTable() {
  static const std::vector<Case> cases = {
      {"a named mutex exists after its first creation",
       [](Bench& b) {
         const std::u16string name = u"QRT-CASE-" + b.unique();
         const platform::MutexResult first = b.system().runtime().CreateNamedMutex(name, true);
         const platform::MutexResult second = b.system().runtime().CreateNamedMutex(name, true);
         std::string line = Ok(first.handle != 0) + " " + ErrorName(first.lastError) + ", " +
                            Ok(second.handle != 0) + " " + ErrorName(second.lastError);
         b.system().runtime().CloseHandle(second.handle);
         b.system().runtime().CloseHandle(first.handle);
         return line;
       },
       "ok success, ok already exists"},
      {"libraries load by name without regard to case",
       [](Bench& b) {
         platform::Runtime& runtime = b.system().runtime();
         const platform::Handle riched = runtime.LoadLibraryAnsi("riched20.dll");
         const std::string line =
             Ok(riched != 0) + ", " + Ok(runtime.LoadLibraryWide(u"NoSuchLibrary.dll") != 0);
         if (riched != 0) runtime.FreeLibraryHandle(riched);
         return line;
       },
       "ok, fails"},
      {"the ANSI code page is Windows-1252",
       [](Bench& b) {
         platform::Runtime& runtime = b.system().runtime();
         const std::u16string wide = runtime.AnsiToWide("A\x80\x9F\xE9");
         return Utf8(wide) + ", " + Ok(runtime.WideToAnsi(wide) == "A\x80\x9F\xE9") + ", " +
                runtime.WideToAnsi(u"\u4E2D").value_or("fails");
       },
       "A\u20AC\u0178\u00E9, ok, ?"},
  };
  return cases;
}

}  // namespace

std::span<const Case> ResourceCases() { return ResourceTable(); }
std::span<const Case> RuntimeCases() { return RuntimeTable(); }

}  // namespace platform_cases
