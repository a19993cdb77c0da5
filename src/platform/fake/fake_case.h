// Letter case in the in-memory Windows: how its NT family and its Windows
// 95/98/ME with the Western code page fold names.
#pragma once

#include <string>
#include <string_view>

namespace platform::fake {

// The NT family's upper case of `c`: Unicode's simple upper case for ASCII,
// Latin-1, Latin Extended-A, Greek and Cyrillic, each other code unit
// itself. NT's CharUpperBuffW, and the upcase table that its file systems
// compare names with, follow Unicode's simple mapping for these scripts
// (Unicode Character Database, UnicodeData.txt, field 12). The fake's files
// and registry keys fold their names with it on every family.
char16_t NtUpper(char16_t c);
std::u16string NtUpper(std::u16string_view s);

// The table of Runtime::UpperCaseTable: on the NT family NtUpper of every
// code unit; on Windows 95/98/ME CharUpperBuffA over Windows-1252 (the fake's
// ANSI code page), so a character that the code page cannot hold, Cyrillic
// or Greek on a Western system, keeps its case there.
std::u16string UpperCaseTable(bool windows9x);

}  // namespace platform::fake
