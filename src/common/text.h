// Text helpers shared by every component. All text of the program is UTF-16
// (std::u16string); 8-bit text only appears at the edges (signature texts,
// the hosts file, ini files) and is converted through the platform's ANSI
// code page.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace text {

// One argument of Format: an integer, a floating point value or a text.
class FormatArg {
 public:
  FormatArg(int value) : value_(static_cast<std::int64_t>(value)) {}
  FormatArg(unsigned value) : value_(static_cast<std::int64_t>(value)) {}
  FormatArg(long value) : value_(static_cast<std::int64_t>(value)) {}
  FormatArg(unsigned long value) : value_(static_cast<std::int64_t>(value)) {}
  FormatArg(long long value) : value_(static_cast<std::int64_t>(value)) {}
  FormatArg(unsigned long long value) : value_(static_cast<std::int64_t>(value)) {}
  FormatArg(double value) : value_(value) {}
  FormatArg(std::u16string_view value) : value_(value) {}
  FormatArg(const std::u16string& value) : value_(std::u16string_view(value)) {}
  FormatArg(const char16_t* value) : value_(std::u16string_view(value)) {}

  const std::variant<std::int64_t, double, std::u16string_view>& value() const { return value_; }

 private:
  std::variant<std::int64_t, double, std::u16string_view> value_;
};

// Formats the way the string table's formats are meant, as the C library's
// wide printf does for them: "%%", and conversions "%[flags][width][.precision]C"
// with flags "-", "0", "+", " ", and C one of s, d, i, u, x, X, f, c.
// Examples: "%3d" with 7 gives "  7", "%01.2f" with 4.0 gives "4.00",
// "%02X" with 10 gives "0A". An integer's "%x"/"%X"/"%u" take its low 32 bits
// as unsigned. A conversion without an argument, or with one of the wrong
// kind, writes nothing; an unknown conversion is copied as it stands.
std::u16string Format(std::u16string_view format, std::initializer_list<FormatArg> args = {});

// Letter case as the system folds it for names. ToUpper and the comparisons
// below use the system's table once one is installed (CaseMapping), and
// until then ASCII and the Latin-1 letters. ToLower folds ASCII and Latin-1.
char16_t ToUpper(char16_t c);
char16_t ToLower(char16_t c);
std::u16string ToUpper(std::u16string_view s);

// The number of UTF-16 code units: the size of a case table.
inline constexpr std::size_t kCaseTableSize = 0x10000;

// Installs the system's upper case of every UTF-16 code unit (a table of
// kCaseTableSize entries, entry i the upper case of i) for as long as the
// object lives; the newest living one is in force, and when none lives the
// built-in folding. A table of another size installs nothing. ASCII letters always fold as ASCII,
// whatever the table says: the file systems' own table does so in every locale, and the words of
// the description script must not depend on the user's language. Made and ended on one thread,
// before a worker thread starts and after it has ended: the worker reads the table without a lock.
class CaseMapping {
 public:
  explicit CaseMapping(std::u16string table);
  ~CaseMapping();
  CaseMapping(const CaseMapping&) = delete;
  CaseMapping& operator=(const CaseMapping&) = delete;

 private:
  std::u16string table_;
};

// Comparisons without regard to case.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix);
bool EndsWithNoCase(std::u16string_view s, std::u16string_view suffix);
// Position of the first occurrence of `needle` in `s`, or npos.
std::size_t FindNoCase(std::u16string_view s, std::u16string_view needle, std::size_t from = 0);

// Conversions for ASCII literals and for diagnostics (tests, console tools).
std::u16string FromAscii(std::string_view ascii);
std::u16string FromUtf8(std::string_view utf8);
std::string ToUtf8(std::u16string_view s);

// Appends the UTF-16LE bytes of `s` (two per code unit, low byte first): the
// form of the program's files and resources.
void AppendUtf16Le(std::vector<std::uint8_t>& bytes, std::u16string_view s);

}  // namespace text
