// The new text of WININIT.INI and of the hosts file, computed from the old
// bytes alone. Both files are 8-bit text in the ANSI code page; the rewrites
// work on the bytes and keep every byte they do not change, whatever the
// code page, so nothing here converts text.
//
// WININIT.INI (Windows 9x/ME carries out its [rename] section at the next
// start, target "=" source, target NUL deleting the source):
//   ""                               -> "[rename]\r\nNUL=C:\x.exe\r\n"
//   "[Rename]\r\nNUL=C:\a\r\n"       -> "[rename]\r\nNUL=C:\x.exe\r\nNUL=C:\a\r\n"
//   "[boot]\r\na=1"                  -> "[boot]\r\na=1\r\n[rename]\r\nNUL=C:\x.exe\r\n"
// The header is found without regard to case at the start of a line (after
// blanks), written in lower case, and the new line becomes the first of its
// section. A text without a final line feed gets CR LF before a new section;
// a header followed by anything but its line end gets CR LF after the new
// line, so that the line never runs into other text.
//
// The hosts file is split into pieces at every line feed; several line feeds
// in a row count as one, so empty lines ("\n") do not survive while "\r\n"
// lines do (their CR is a piece). Each piece is written back followed by one
// "\n". A UTF-8 byte order mark (EF BB BF) at the start stays there and is
// no part of the first piece. A piece is an entry when its first word (bytes other than space, TAB,
// LF, VT, FF, CR) exists and does not begin with "#"; an entry is disabled by
// "# " in front of it. Zero bytes are ordinary bytes of a word.
//   "127.0.0.1 localhost\r\n10.0.0.1 bank.example\r\n"
//     RestoredHosts -> "# 127.0.0.1 localhost\r\n# 10.0.0.1 bank.example\r\n"
//                      "\r\n127.0.0.1\t\tlocalhost\r\n"
//     HostsWithout(.., "BANK.example") -> "127.0.0.1 localhost\r\n# 10.0.0.1 bank.example\r\n"
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace removal {

// WININIT.INI's text `oldText` with `line` (without line end) as the first
// line of its [rename] section, which is added at the end when missing.
std::string WithRenameLine(std::string_view oldText, std::string_view line);

// An initialisation file's 8-bit text `oldText` with lines of its first
// section whose name `isSection` accepts changed. The lines and sections are
// read as the profile functions read them: a line ends at "\n" and blanks
// (space, TAB, CR, VT, FF) around it do not count; a line that begins with
// "[" starts a section named by what lies between it and the line's last
// "]". For each line "key=value" of the section (key and value without the
// blanks around them; blank lines, comments (";") and lines without "=" are
// passed over), `newValue(key, value)` gives the value it is to have, or
// nothing to keep the line as it is. A changed line is its key, "=" and the
// new value, between the line's own leading and trailing blanks and its
// end; every other byte stays. Nothing when no line changed.
using IniSectionTest = std::function<bool(std::string_view name)>;
using IniValueChange =
    std::function<std::optional<std::string>(std::string_view key, std::string_view value)>;
std::optional<std::string> WithIniValuesChanged(std::string_view oldText,
                                                const IniSectionTest& isSection,
                                                const IniValueChange& newValue);

// Whether `name` (ANSI bytes) is a short (8.3) name that MS-DOS can take:
// one to eight characters, optionally a dot and one to three more; no blank,
// no control character, none of "*+,./:;<=>?[\]| (the characters that FAT
// short names cannot hold; blanks end a name in MS-DOS's own parsing). Bytes
// of 0x80 and above, letters of the code page, are allowed.
bool IsShortName(std::string_view name);
// Whether `path` is a full path of short names: a drive letter, ":\", and
// short names joined by "\" ("C:\" alone included).
bool IsShortPath(std::string_view path);

// Whether the hosts text begins with a UTF-16 byte order mark (FF FE or
// FE FF): such a file is no 8-bit text, and a rewrite of it as one would
// break every line.
bool IsUtf16Text(std::string_view text);

// The hosts file with every entry disabled and one entry for localhost
// ("\r\n127.0.0.1\t\tlocalhost\r\n") appended.
std::string RestoredHosts(std::string_view oldText);

// The hosts file with every entry disabled whose address (first word) or
// first host name (second word) equals `name` without regard to ASCII case;
// further names of a line are not compared, and a word of more than 259
// bytes equals no name. Nothing when no entry matched.
std::optional<std::string> HostsWithout(std::string_view oldText, std::string_view name);

}  // namespace removal
