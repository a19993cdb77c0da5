#include "descriptions/word_expansion.h"

#include <array>
#include <utility>

#include "common/limits.h"
#include "common/text.h"

namespace descriptions {
namespace {

constexpr std::array<std::pair<std::u16string_view, std::u16string_view>, 5> kRegistryRoots = {{
    {u"HKCU", u"HKEY_CURRENT_USER"},
    {u"HKLM", u"HKEY_LOCAL_MACHINE"},
    {u"HKCR", u"HKEY_CLASSES_ROOT"},
    {u"HKUS", u"HKEY_USERS"},
    {u"HKCC", u"HKEY_CURRENT_CONFIG"},
}};

constexpr std::array<std::pair<std::u16string_view, Folder>, 7> kPlaceholders = {{
    {u"%SYSDIR%", Folder::kSystem},
    {u"%WINDIR%", Folder::kWindows},
    {u"%PROGRAM_FILES%", Folder::kProgramFiles},
    {u"%HOME%", Folder::kHome},
    {u"%TEMPDIR%", Folder::kTemp},
    {u"%TEMPORARY_INTERNET_FILES%", Folder::kInternetCache},
    {u"%COOKIES%", Folder::kCookies},
}};

std::optional<std::u16string> Usable(std::optional<std::u16string> path) {
  if (!path || path->empty() || path->size() > limits::kMaxFolderPath) return std::nullopt;
  return path;
}

std::optional<std::u16string> SpecialFolder(int csidl, const sys::SystemContext& context) {
  if (!context.specialFolderPath()) return std::nullopt;
  return Usable(context.specialFolderPath()(0, csidl, false));
}

std::optional<std::u16string> TempFolder(const sys::SystemContext& context) {
  auto path = Usable(context.system().folders().TempPath());
  if (!path) return std::nullopt;
  if (!context.isWindowsNt4()) {
    if (!context.longPathName()) return std::nullopt;
    path = Usable(context.longPathName()(*path));
    if (!path) return std::nullopt;
  }
  // GetTempPathW ends the path with a backslash; the folder is named without
  // it. A path without one is left whole rather than losing a letter.
  if (path->back() == u'\\') path->pop_back();
  return Usable(std::move(path));
}

}  // namespace

std::u16string ExpandRegistryRoot(std::u16string_view word) {
  for (const auto& [abbreviation, root] : kRegistryRoots) {
    if (text::StartsWithNoCase(word, abbreviation)) {
      std::u16string expanded(root);
      expanded.append(word.substr(abbreviation.size()));
      return expanded;
    }
  }
  return std::u16string(word);
}

std::optional<std::u16string> FolderPath(Folder folder, const sys::SystemContext& context) {
  switch (folder) {
    case Folder::kSystem:
      return Usable(context.system().folders().SystemDirectory());
    case Folder::kWindows:
      return Usable(context.system().folders().WindowsDirectory());
    case Folder::kProgramFiles:
      return SpecialFolder(platform::kCsidlProgramFiles, context);
    case Folder::kHome:
      return SpecialFolder(platform::kCsidlProfile, context);
    case Folder::kTemp:
      return TempFolder(context);
    case Folder::kInternetCache:
      return SpecialFolder(platform::kCsidlInternetCache, context);
    case Folder::kCookies:
      return SpecialFolder(platform::kCsidlCookies, context);
  }
  return std::nullopt;
}

std::optional<std::u16string> ExpandFolderPlaceholders(std::u16string_view word,
                                                       const sys::SystemContext& context) {
  std::u16string expanded(word);
  for (const auto& [placeholder, folder] : kPlaceholders) {
    std::size_t at = text::FindNoCase(expanded, placeholder);
    if (at == std::u16string::npos) continue;
    const auto path = FolderPath(folder, context);
    if (!path) return std::nullopt;
    while (at != std::u16string::npos) {
      expanded.replace(at, placeholder.size(), *path);
      // Searching on after the inserted path: a path that itself holds the
      // placeholder is not expanded again.
      at = text::FindNoCase(expanded, placeholder, at + path->size());
    }
  }
  return expanded;
}

}  // namespace descriptions
