// The fake's profile functions over the files of its file system, with the
// rules of the system's own:
// - the file is 8-bit text in the ANSI code page; lines end at "\n", and
//   blanks (space, tab, CR, VT, FF) around a line do not count;
// - a line "[name]" starts a section: the name is what lies between the "["
//   and the last "]" of the line; lines before the first section belong to
//   none;
// - in a section, the key of a line is the text before its first "=" (the
//   whole line without one), without the blanks around it, and the value is
//   what follows the "=", without the blanks before it; blank lines and
//   comments (";" first) are no keys;
// - sections and keys are found without regard to case, the first of a name
//   winning: a section may hold a key on several lines (device= in
//   system.ini's [386Enh]), and a write changes the first of them only
//   (Microsoft Knowledge Base Q107695, "PRB: Updating Multiple Device= Lines
//   in SYSTEM.INI": the profile functions work on unique keys), while the
//   section's lines list them all;
// - a write changes only the line it sets (keeping the key's spelling and the
//   line's end), adds a missing key after the last line of its section and a
//   missing section at the end of the file, and stores the whole file (one
//   step of change, see fake_files.h).
#include <algorithm>

#include "common/text.h"
#include "platform/fake/fake_system.h"

namespace platform::fake {
namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f';
}

std::u16string_view TrimLeft(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::u16string_view TrimRight(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::u16string_view Trim(std::u16string_view s) { return TrimRight(TrimLeft(s)); }

// One line of the file: where it starts and ends in the text (without its
// "\n"), and whether a "\n" follows it.
struct Line {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool hasNewline = false;
};

struct Section {
  std::u16string name;
  std::size_t header = 0;          // index of its header line
  std::vector<std::size_t> lines;  // indices of the lines below it
};

struct Profile {
  std::u16string text;
  std::vector<Line> lines;
  std::vector<Section> sections;

  std::u16string_view LineText(std::size_t index) const {
    const Line& line = lines[index];
    return std::u16string_view(text).substr(line.begin, line.end - line.begin);
  }
  const Section* Find(std::u16string_view name) const {
    for (const Section& section : sections) {
      if (text::EqualsNoCase(section.name, name)) return &section;
    }
    return nullptr;
  }
};

Profile Parse(std::u16string text) {
  Profile profile;
  profile.text = std::move(text);
  std::size_t begin = 0;
  while (begin < profile.text.size()) {
    const std::size_t newline = profile.text.find(u'\n', begin);
    const bool hasNewline = newline != std::u16string::npos;
    const std::size_t end = hasNewline ? newline : profile.text.size();
    profile.lines.push_back(Line{begin, end, hasNewline});
    begin = hasNewline ? newline + 1 : end;
  }
  for (std::size_t i = 0; i < profile.lines.size(); ++i) {
    const std::u16string_view line = Trim(profile.LineText(i));
    const std::size_t close = line.rfind(u']');
    if (!line.empty() && line.front() == u'[' && close != std::u16string_view::npos) {
      profile.sections.push_back(Section{std::u16string(line.substr(1, close - 1)), i, {}});
    } else if (!profile.sections.empty()) {
      profile.sections.back().lines.push_back(i);
    }
  }
  return profile;
}

// The key of a line (trimmed), or nothing for a blank line or a comment.
std::optional<std::u16string_view> KeyOf(std::u16string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == u';') return std::nullopt;
  return TrimRight(line.substr(0, line.find(u'=')));
}

// `strings` as a buffer of `bufferChars` characters holds them: each with
// its zero, whole when there is room for two more zeros, else cut after
// bufferChars - 2 characters.
std::vector<std::u16string> CutToBuffer(const std::vector<std::u16string>& strings,
                                        std::uint32_t bufferChars) {
  std::u16string list;
  for (const std::u16string& s : strings) {
    list += s;
    list += u'\0';
  }
  if (list.size() + 2 <= bufferChars) return strings;
  if (bufferChars < 2) return {};
  list.resize(bufferChars - 2);
  std::vector<std::u16string> cut;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || list[i] == u'\0') {
      if (i > start) cut.push_back(list.substr(start, i - start));
      start = i + 1;
    }
  }
  return cut;
}

// The text of the profile file at `path`; nothing when it cannot be read
// (missing, or held by another program).
std::optional<std::u16string> ReadProfile(FakeSystem& system, std::u16string_view path) {
  const FakeFile* file = system.fileSystem.Find(path);
  if (file == nullptr || file->refusesOpening) return std::nullopt;
  return system.runtime().AnsiToWide(std::string(file->bytes.begin(), file->bytes.end()));
}

}  // namespace

std::vector<std::u16string> FakeProfileFilesArea::GetPrivateProfileSectionNamesWide(
    std::uint32_t bufferChars, std::u16string_view path) {
  const auto text = ReadProfile(system_, path);
  if (!text) return {};
  std::vector<std::u16string> names;
  for (const Section& section : Parse(*text).sections) {
    if (!section.name.empty()) names.push_back(section.name);
  }
  return CutToBuffer(names, bufferChars);
}

std::vector<std::u16string> FakeProfileFilesArea::GetPrivateProfileSectionWide(
    std::u16string_view section, std::uint32_t bufferChars, std::u16string_view path) {
  const auto text = ReadProfile(system_, path);
  if (!text) return {};
  const Profile profile = Parse(*text);
  const Section* found = profile.Find(section);
  if (found == nullptr) return {};
  std::vector<std::u16string> lines;
  for (const std::size_t index : found->lines) {
    const std::u16string_view line = Trim(profile.LineText(index));
    if (!KeyOf(line)) continue;
    const std::size_t equals = line.find(u'=');
    if (equals == std::u16string_view::npos) {
      lines.emplace_back(line);
    } else {
      lines.push_back(std::u16string(TrimRight(line.substr(0, equals))) + u"=" +
                      std::u16string(TrimLeft(line.substr(equals + 1))));
    }
  }
  return CutToBuffer(lines, bufferChars);
}

bool FakeProfileFilesArea::WritePrivateProfileStringWide(std::u16string_view section,
                                                         std::u16string_view key,
                                                         std::u16string_view value,
                                                         std::u16string_view path) {
  std::u16string text;
  if (system_.fileSystem.Find(path) != nullptr) {
    const auto read = ReadProfile(system_, path);
    if (!read) return false;
    text = *read;
  }
  const Profile profile = Parse(text);
  const std::u16string_view sectionName = Trim(section);
  const std::u16string_view keyName = Trim(key);
  const Section* found = profile.Find(sectionName);
  if (found == nullptr) {
    if (!text.empty() && text.back() != u'\n') text += u"\r\n";
    text += u"[" + std::u16string(sectionName) + u"]\r\n" + std::u16string(keyName) + u"=" +
            std::u16string(value) + u"\r\n";
  } else {
    std::optional<std::size_t> keyLine;
    std::size_t lastLine = found->header;
    for (const std::size_t index : found->lines) {
      const auto lineKey = KeyOf(profile.LineText(index));
      if (!Trim(profile.LineText(index)).empty()) lastLine = index;
      if (!keyLine && lineKey && text::EqualsNoCase(*lineKey, keyName)) keyLine = index;
    }
    if (keyLine) {
      // The line without its blanks is replaced; a CR before its "\n" stays.
      const Line& line = profile.lines[*keyLine];
      const std::u16string_view content = profile.LineText(*keyLine);
      const std::size_t end = line.begin + TrimRight(content).size();
      const std::u16string replacement =
          std::u16string(*KeyOf(content)) + u"=" + std::u16string(value);
      text.replace(line.begin, end - line.begin, replacement);
    } else {
      const Line& after = profile.lines[lastLine];
      std::u16string added = std::u16string(keyName) + u"=" + std::u16string(value) + u"\r\n";
      if (!after.hasNewline) added.insert(0, u"\r\n");
      text.insert(after.hasNewline ? after.end + 1 : after.end, added);
    }
  }
  const auto bytes = system_.runtime().WideToAnsi(text);
  if (!bytes) return false;
  return system_.fileSystem.Store(path, std::vector<std::uint8_t>(bytes->begin(), bytes->end()));
}

void FakeProfileFilesArea::FlushProfileCache(std::u16string_view path) {
  system_.profileCacheFlushes.emplace_back(path);
}

}  // namespace platform::fake
