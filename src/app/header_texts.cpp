#include "app/header_texts.h"

#include <array>

#include "common/string_ids.h"
#include "common/text.h"
#include "scan/texts.h"

namespace app {
namespace {

// Taken from the build: the date and time at which this file was compiled.
constexpr char16_t kBuildDate[] = u"" __DATE__;
constexpr char16_t kBuildTime[] = u"" __TIME__;

constexpr char16_t kTranslation[] = u"\\VarFileInfo\\Translation";
constexpr char16_t kTranslationBlock[] = u"\\StringFileInfo\\%02X%02X%02X%02X\\";
constexpr char16_t kDefaultLanguageBlock[] = u"\\StringFileInfo\\%04X04B0\\";
constexpr char16_t kFileVersion[] = u"FileVersion";

constexpr std::array<std::u16string_view, 12> kMonths = {
    u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun", u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};
// The strings that name the months of kMonths in the build date.
constexpr std::array<std::uint32_t, 12> kMonthStrings = {
    strings::kJanuary,   strings::kFebruary, strings::kMarch,    strings::kApril,
    strings::kMay,       strings::kJune,     strings::kJuly,     strings::kAugust,
    strings::kSeptember, strings::kOctober,  strings::kNovember, strings::kDecember};

// `s` with every `from` replaced by `to`, built anew (GCC 12 warns falsely
// about std::u16string::replace in place).
std::u16string ReplaceAll(std::u16string_view s, std::u16string_view from, std::u16string_view to,
                          std::size_t limit = std::u16string::npos) {
  std::u16string out;
  std::size_t done = 0;
  for (std::size_t at = s.find(from); at != std::u16string_view::npos && limit > 0;
       at = s.find(from, done), --limit) {
    out.append(s.substr(done, at - done));
    out.append(to);
    done = at + from.size();
  }
  out.append(s.substr(done));
  return out;
}

}  // namespace

std::u16string_view BuildDate() { return kBuildDate; }
std::u16string_view BuildTime() { return kBuildTime; }

std::u16string FileVersionText(platform::System& system) {
  const std::u16string path = system.runtime().ModuleFileName();
  const std::uint32_t size = system.resources().GetFileVersionInfoSizeWide(path);
  if (size == 0) return {};
  const auto block = system.resources().GetFileVersionInfoWide(path, size);
  if (!block) return {};

  std::u16string subBlock;
  const auto translation = system.resources().VerQueryValueBytes(*block, kTranslation);
  if (translation && translation->size() == 4) {
    // Language then code page, each a little-endian word.
    const auto& t = *translation;
    subBlock = text::Format(kTranslationBlock, {t[1], t[0], t[3], t[2]});
  } else {
    subBlock = text::Format(kDefaultLanguageBlock, {system.resources().GetUserDefaultLangID()});
  }
  const auto version = system.resources().VerQueryValueText(*block, subBlock + kFileVersion);
  return version ? ReplaceAll(*version, u", ", u".") : std::u16string();
}

std::u16string BuildDateText(platform::System& system, std::u16string_view date) {
  for (std::size_t month = 0; month < kMonths.size(); ++month) {
    if (date.find(kMonths[month]) == std::u16string_view::npos) continue;
    const std::uint32_t id = kMonthStrings[month];
    const auto name = system.resources().LoadStringResource(id);
    return name ? ReplaceAll(date, kMonths[month], *name, 1) : std::u16string(date);
  }
  return std::u16string(date);
}

HeaderTexts BuildHeaderTexts(platform::System& system) {
  HeaderTexts texts;
  texts.titleLine = scan::LoadText(system, strings::kTitleLine);
  texts.versionLine =
      text::Format(scan::LoadText(system, strings::kVersionLine),
                   {FileVersionText(system), BuildDateText(system, BuildDate()), BuildTime()});
  texts.lineBreak = scan::LoadText(system, strings::kLineBreak);
  texts.hint = scan::LoadText(system, strings::kHint);
  texts.listHeading = scan::LoadText(system, strings::kListHeading);
  return texts;
}

void WriteBanner(OutputView& output, const HeaderTexts& texts, std::u16string_view malwareList) {
  output.SelectAll();
  output.Insert(kBannerWordRed, kBannerRedFormat);
  output.Append(kBannerWordBlack, kBannerBlackFormat);
  output.Append(texts.titleLine, kTitleLineFormat);
  output.Append(texts.lineBreak, kTitleLineFormat);
  output.Append(texts.listHeading, kPlainFormat);
  output.Append(malwareList, kPlainFormat);
  output.Append(texts.lineBreak, kPlainFormat);
  output.Append(texts.versionLine, kPlainFormat);
}

void WriteHint(OutputView& output, const HeaderTexts& texts) {
  output.Append(texts.lineBreak, kDefaultFormat);
  output.Append(texts.hint, kDefaultFormat);
  output.Append(texts.lineBreak, kDefaultFormat);
}

}  // namespace app
