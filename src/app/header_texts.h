// The texts at the head of the output view: the banner with the title line,
// the malware list and the version line, and the hint. They are built once
// when the main window starts and kept for the run.
#pragma once

#include <string>
#include <string_view>

#include "app/output_view.h"
#include "platform/system.h"

namespace app {

// The product-family word that opens the banner: its first four letters in
// dark red, the rest and a space in black, all bold.
inline constexpr char16_t kBannerWordRed[] = u"Quel";
inline constexpr char16_t kBannerWordBlack[] = u"vix ";
inline constexpr platform::CharFormat kBannerRedFormat{true, platform::Rgb(180, 0, 0), false};
inline constexpr platform::CharFormat kBannerBlackFormat{true, platform::Rgb(0, 0, 0), false};
inline constexpr platform::CharFormat kTitleLineFormat{true, platform::Rgb(80, 80, 80), false};

// The build's date and time as the compiler gives them, e.g. "May 28 2008"
// and "15:11:17". A day below 10 keeps the compiler's leading space:
// "Dec  3 2026".
std::u16string_view BuildDate();
std::u16string_view BuildTime();

// The FileVersion of the program's own version resource with every ", "
// replaced by "." ("3, 0, 1, 16" gives "3.0.1.16"). The value is looked up in
// the string block of the resource's first translation when the translation
// entry holds exactly one (4 bytes), else in the block of the user's default
// language with code page 04B0. Empty when the file has no version
// information, it cannot be read, or the value is missing.
std::u16string FileVersionText(platform::System& system);

// `date` with the first month abbreviation that it contains ("Jan" to
// "Dec", looked for in that order) replaced by that month's text from the
// string table (strings::kJanuary to strings::kDecember). Unchanged when it
// contains none or the month's string is missing.
std::u16string BuildDateText(platform::System& system, std::u16string_view date);

struct HeaderTexts {
  std::u16string titleLine;  // strings::kTitleLine
  // strings::kVersionLine with the file version, build date and build time
  std::u16string versionLine;
  std::u16string lineBreak;    // strings::kLineBreak
  std::u16string hint;         // strings::kHint
  std::u16string listHeading;  // strings::kListHeading, followed in the banner by the malware list
};

HeaderTexts BuildHeaderTexts(platform::System& system);

// The banner. It replaces whatever the view holds: the product-family word,
// the title line and a line break in bold grey, then, plain, the list
// heading, the malware list, a line break and the version line.
void WriteBanner(OutputView& output, const HeaderTexts& texts, std::u16string_view malwareList);

// The hint, in the view's default format: a line break, strings::kHint and a
// line break.
void WriteHint(OutputView& output, const HeaderTexts& texts);

}  // namespace app
