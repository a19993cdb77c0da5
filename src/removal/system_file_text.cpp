#include "removal/system_file_text.h"

#include <vector>

#include "common/limits.h"

namespace removal {
namespace {

constexpr std::string_view kRenameHeader = "[rename]";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kDisabled = "# ";
constexpr std::string_view kLocalhostEntry = "\r\n127.0.0.1\t\tlocalhost\r\n";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// Where "[rename]" begins a line (after blanks), or npos. A line starts
// after "\n" only: that byte is never part of a double-byte character, nor
// are the ASCII bytes that follow it up to the header's end.
std::size_t FindRenameHeader(std::string_view text) {
  std::size_t lineStart = 0;
  while (lineStart < text.size()) {
    std::size_t at = lineStart;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r')) ++at;
    if (EqualsAsciiNoCase(text.substr(at, kRenameHeader.size()), kRenameHeader)) return at;
    const std::size_t newline = text.find('\n', at);
    if (newline == std::string_view::npos) break;
    lineStart = newline + 1;
  }
  return std::string_view::npos;
}

// The blanks that the profile functions pass over around a line and around
// its key and value.
bool IsIniBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view TrimIniRight(std::string_view s) {
  while (!s.empty() && IsIniBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view TrimIniLeft(std::string_view s) {
  while (!s.empty() && IsIniBlank(s.front())) s.remove_prefix(1);
  return s;
}

// The white space of the C library's word reading (isspace in the "C"
// locale).
bool IsHostsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The pieces of a hosts text: the runs between line feeds, empty ones left
// out.
std::vector<std::string_view> HostsPieces(std::string_view text) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

// The next word of `piece` from `from` on, or nothing.
std::optional<std::string_view> NextWord(std::string_view piece, std::size_t from) {
  while (from < piece.size() && IsHostsBlank(piece[from])) ++from;
  if (from >= piece.size()) return std::nullopt;
  std::size_t end = from;
  while (end < piece.size() && !IsHostsBlank(piece[end])) ++end;
  return piece.substr(from, end - from);
}

// Whether `piece` is an entry: its first word exists and is no comment.
// The whole piece is searched, so that no amount of leading blanks hides an
// entry from being disabled.
bool IsEntry(std::string_view piece) {
  const auto word = NextWord(piece, 0);
  return word && word->front() != '#';
}

// Whether `word` read into a buffer of kHostsWordBytes equals `name`: a word
// that did not fit equals nothing.
bool WordMatches(std::string_view word, std::string_view name) {
  return word.size() < limits::kHostsWordBytes && EqualsAsciiNoCase(word, name);
}

// The UTF-8 byte order mark that `text` begins with, or nothing; `text`
// then starts after it.
std::string_view TakeUtf8Mark(std::string_view& text) {
  if (!text.starts_with(kUtf8Mark)) return {};
  text.remove_prefix(kUtf8Mark.size());
  return kUtf8Mark;
}

void AppendPiece(std::string& out, std::string_view piece, bool disable) {
  if (disable) out += kDisabled;
  out += piece;
  out += '\n';
}

// Characters that short names cannot hold besides blanks and control
// characters (Microsoft, "FAT: General Overview of On-Disk Format" 1.03,
// the notes on DIR_Name).
constexpr std::string_view kNotInShortNames = "\"*+,./:;<=>?[\\]|";

bool IsShortNameByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte > 0x20 && byte != 0x7F && kNotInShortNames.find(c) == std::string_view::npos;
}

}  // namespace

std::optional<std::string> WithIniValuesChanged(std::string_view oldText,
                                                const IniSectionTest& isSection,
                                                const IniValueChange& newValue) {
  std::string text;
  text.reserve(oldText.size());
  bool inSection = false;
  bool sectionFound = false;
  bool changed = false;
  std::size_t start = 0;
  while (start < oldText.size()) {
    const std::size_t newline = oldText.find('\n', start);
    const std::size_t end = newline == std::string_view::npos ? oldText.size() : newline;
    const std::string_view content = oldText.substr(start, end - start);
    const std::string_view lineEnd = oldText.substr(end, newline == std::string_view::npos ? 0 : 1);
    start = end + lineEnd.size();
    const std::string_view leading =
        content.substr(0, content.size() - TrimIniLeft(content).size());
    const std::string_view line = TrimIniRight(content.substr(leading.size()));
    const std::string_view trailing = content.substr(leading.size() + line.size());

    const std::size_t close = line.rfind(']');
    const bool isHeader = line.starts_with('[') && close != std::string_view::npos;
    if (isHeader) {
      // Only the first section of the name: the profile functions read no
      // other.
      inSection = !sectionFound && isSection(line.substr(1, close - 1));
      sectionFound = sectionFound || inSection;
    }
    const std::size_t equals = line.find('=');
    std::optional<std::string> value;
    if (inSection && !isHeader && !line.empty() && !line.starts_with(';') &&
        equals != std::string_view::npos) {
      value = newValue(TrimIniRight(line.substr(0, equals)), TrimIniLeft(line.substr(equals + 1)));
    }
    if (!value) {
      text += content;
      text += lineEnd;
      continue;
    }
    text += leading;
    text += TrimIniRight(line.substr(0, equals));
    text += '=';
    text += *value;
    text += trailing;
    text += lineEnd;
    changed = true;
  }
  if (!changed) return std::nullopt;
  return text;
}

bool IsShortName(std::string_view name) {
  const std::size_t dot = name.find('.');
  const std::string_view base = name.substr(0, dot);
  const std::string_view extension =
      dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || extension.size() > 3) return false;
  if (dot != std::string_view::npos && extension.empty()) return false;
  for (const std::string_view part : {base, extension}) {
    for (const char c : part) {
      if (!IsShortNameByte(c)) return false;
    }
  }
  return true;
}

bool IsShortPath(std::string_view path) {
  const auto isLetter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (path.size() < 3 || !isLetter(path[0]) || path.substr(1, 2) != ":\\") return false;
  std::string_view rest = path.substr(3);
  while (!rest.empty()) {
    const std::size_t slash = rest.find('\\');
    if (!IsShortName(rest.substr(0, slash))) return false;
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
    if (rest.empty()) return false;  // a trailing "\\"
  }
  return true;
}

std::string WithRenameLine(std::string_view oldText, std::string_view line) {
  std::string text;
  text.reserve(oldText.size() + kRenameHeader.size() + line.size() + 3 * kLineEnd.size());
  const std::size_t header = FindRenameHeader(oldText);
  if (header == std::string_view::npos) {
    text = oldText;
    if (!text.empty() && text.back() != '\n') text += kLineEnd;
    text += kRenameHeader;
    text += kLineEnd;
    text += line;
    text += kLineEnd;
    return text;
  }
  const std::string_view after = oldText.substr(header + kRenameHeader.size());
  text = oldText.substr(0, header);
  text += kRenameHeader;
  text += kLineEnd;
  text += line;
  // The header's own line end now ends the new line.
  if (!after.starts_with(kLineEnd) && !after.starts_with('\n')) text += kLineEnd;
  text += after;
  return text;
}

bool IsUtf16Text(std::string_view text) {
  return text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF");
}

std::string RestoredHosts(std::string_view oldText) {
  std::string text;
  text.reserve(oldText.size() + oldText.size() / 4 + kLocalhostEntry.size());
  text += TakeUtf8Mark(oldText);
  for (const std::string_view piece : HostsPieces(oldText)) {
    AppendPiece(text, piece, IsEntry(piece));
  }
  text += kLocalhostEntry;
  return text;
}

std::optional<std::string> HostsWithout(std::string_view oldText, std::string_view name) {
  std::string text;
  text.reserve(oldText.size() + 64);
  text += TakeUtf8Mark(oldText);
  bool disabledAny = false;
  for (const std::string_view piece : HostsPieces(oldText)) {
    bool disable = false;
    if (IsEntry(piece)) {
      const std::string_view address = *NextWord(piece, 0);
      const std::size_t afterAddress =
          static_cast<std::size_t>(address.data() - piece.data()) + address.size();
      const auto host = NextWord(piece, afterAddress);
      disable = host && (WordMatches(address, name) || WordMatches(*host, name));
    }
    disabledAny = disabledAny || disable;
    AppendPiece(text, piece, disable);
  }
  if (!disabledAny) return std::nullopt;
  return text;
}

}  // namespace removal
