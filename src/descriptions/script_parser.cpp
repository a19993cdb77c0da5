#include "descriptions/script_parser.h"

#include <utility>

#include "common/text.h"
#include "descriptions/word_expansion.h"

namespace descriptions {
namespace {

// The messages; each is formatted with the line number first.
constexpr char16_t kUnterminatedQuote[] =
    u"Line %3d: An argument starts with \" character, but doesn't contain an \" end character. "
    u"Word ignored.\n";
constexpr char16_t kMustBegin[] = u"Line %3d: New malware description block must begin.\n";
constexpr char16_t kNameMissing[] = u"Line %3d: Malware name was not provided.\n";
constexpr char16_t kNameMalformed[] =
    u"Line %3d: Malware name must be base_name.variant_name, provided \"%s\".\n";
constexpr char16_t kNameRepeated[] =
    u"Line %3d: A malware with %s.%s name has already been specified.\n";
constexpr char16_t kEndOfFile[] =
    u"Line %3d: End of file reached before the signatures and actions have been provided.\n";
constexpr char16_t kKeyword[] =
    u"Line %3d: The line should start with \"SIGNATURE_MEM\" or \"SIGNATURE_FILE\" keywords.\n";
constexpr char16_t kOddLength[] =
    u"Line %3d: The line contains a signature with odd length (must be even): %d.\n";
constexpr char16_t kBadCharacter[] =
    u"Line %3d: The line contains a bad character encountered at position %d.\n";
constexpr char16_t kSignatureEmpty[] = u"Line %3d: Signature empty.\n";
constexpr char16_t kConversionFailed[] =
    u"Line %3d: Error while converting signature from wchar_t to char .\n";
constexpr char16_t kSameKind[] = u"Line %3d: This type of signature has already been provided.\n";
constexpr char16_t kMemorySignatureRepeated[] =
    u"Line %3d: A malware description with the same memory signature has already been "
    u"provided.\n";
constexpr char16_t kFileSignatureRepeated[] =
    u"Line %3d: A malware description with the same file signature has already been "
    u"provided.\n";
constexpr char16_t kInvalidAction[] = u"Line %3d: Invalid action name \"%s\".\n";
constexpr char16_t kArgumentMissing[] =
    u"Line %3d: The argument for the %s action was not provided.\n";
constexpr char16_t kKeyMissing[] =
    u"Line %3d: The key argument for the %s action was not provided.\n";
constexpr const char16_t* kRenameShort[] = {
    u"Line %3d: The %s action must have two or three arguments (none provided).\n",
    u"Line %3d: The %s action must have two or three arguments (one provided).\n"};
constexpr const char16_t* kReplaceShort[] = {
    u"Line %3d: The %s action must have four arguments (none provided).\n",
    u"Line %3d: The %s action must have four arguments (one provided).\n",
    u"Line %3d: The %s action must have four arguments (two provided).\n",
    u"Line %3d: The %s action must have four arguments (three provided).\n"};
constexpr const char16_t* kAddValueShort[] = {
    u"Line %3d: The %s action must have at least two arguments (none provided).\n",
    u"Line %3d: The %s action must have at least two arguments (one provided).\n"};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool IsBlankLine(std::u16string_view line) {
  return line.find_first_not_of(u" \t\r\n") == std::u16string_view::npos;
}

bool IsHexDigit(char16_t c) {
  const char16_t upper = text::ToUpper(c);
  return (upper >= u'0' && upper <= u'9') || (upper >= u'A' && upper <= u'F');
}

// Equal signature texts: both present, same length, equal without regard to
// the case of the hexadecimal letters.
bool SameSignature(const std::optional<std::string>& a, const std::optional<std::string>& b) {
  if (!a || !b || a->size() != b->size()) return false;
  for (std::size_t i = 0; i < a->size(); ++i) {
    if (text::ToUpper(static_cast<unsigned char>((*a)[i])) !=
        text::ToUpper(static_cast<unsigned char>((*b)[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

ScriptParser::ScriptParser(sys::SystemContext& context, std::u16string text,
                           MessageHandler onMessage)
    : context_(context), text_(std::move(text)), onMessage_(std::move(onMessage)) {
  const std::size_t nul = text_.find(u'\0');
  if (nul != std::u16string::npos) text_.resize(nul);
}

bool ScriptParser::ReadLine() {
  for (;;) {
    ++lineNumber_;
    while (nextFetch_ < text_.size() && text_[nextFetch_] == u'\n') ++nextFetch_;
    if (nextFetch_ >= text_.size()) return false;
    const std::size_t start = nextFetch_;
    std::size_t end = text_.find(u'\n', start);
    if (end == std::u16string::npos) end = text_.size();
    nextFetch_ = end < text_.size() ? end + 1 : end;
    if (IsBlankLine(std::u16string_view(text_).substr(start, end - start))) continue;
    if (text_[end - 1] == u'\r') --end;
    lineStart_ = start;
    lineEnd_ = end;
    position_ = start;
    return true;
  }
}

std::u16string ScriptParser::ReadWord() {
  while (position_ < lineEnd_ && IsBlank(text_[position_])) ++position_;
  if (position_ >= lineEnd_) return {};

  std::u16string word;
  if (text_[position_] == u'"') {
    const std::u16string_view line(text_.data() + lineStart_, lineEnd_ - lineStart_);
    std::size_t close = line.find(u'"', position_ - lineStart_ + 1);
    if (close == std::u16string_view::npos) {
      // The position stays at the quote, so reading this place again warns
      // again.
      Show(text::Format(kUnterminatedQuote, {lineNumber_}));
      return {};
    }
    close += lineStart_;
    word = text_.substr(position_ + 1, close - position_ - 1);
    position_ = close + 1;
  } else {
    const std::size_t start = position_;
    while (position_ < lineEnd_ && !IsBlank(text_[position_])) ++position_;
    word = text_.substr(start, position_ - start);
  }

  auto expanded = ExpandFolderPlaceholders(ExpandRegistryRoot(word), context_);
  return expanded ? std::move(*expanded) : std::u16string();
}

ScriptParser::Outcome ScriptParser::TestHeader() {
  std::u16string word = ReadWord();
  bool header = false;
  if (word.size() == 1) {
    // The opening bracket stands apart; which character it is, is not
    // examined.
    header = text::EqualsNoCase(ReadWord(), u"Malware");
  } else {
    header = text::EqualsNoCase(word, u"[Malware");
  }
  if (header) return Outcome::kDone;
  if (reportMissingHeader_) {
    Show(text::Format(kMustBegin, {lineNumber_}));
    return Outcome::kError;
  }
  return Outcome::kNotThisKind;
}

bool ScriptParser::ReadName(MalwareDescription& record) {
  const std::u16string word = ReadWord();
  if (word.empty()) {
    Show(text::Format(kNameMissing, {lineNumber_}));
    return false;
  }
  const std::size_t dot = word.find(u'.');
  if (dot == std::u16string::npos || dot == 0) {
    Show(text::Format(kNameMalformed, {lineNumber_, word}));
    return false;
  }
  record.baseName = word.substr(0, dot);
  record.variantName = word.substr(dot + 1);
  if (!record.variantName.empty() && record.variantName.back() == u']') {
    record.variantName.pop_back();
  }
  return true;
}

bool ScriptParser::CheckNameIsNew(const MalwareDescription& record) {
  for (const MalwareDescription& earlier : records_) {
    if (text::EqualsNoCase(earlier.baseName, record.baseName) &&
        text::EqualsNoCase(earlier.variantName, record.variantName)) {
      Show(text::Format(kNameRepeated, {lineNumber_, record.baseName, record.variantName}));
      return false;
    }
  }
  return true;
}

ScriptParser::Outcome ScriptParser::ReadSignatureLine(MalwareDescription& record) {
  const std::u16string keyword = ReadWord();
  const bool memory = text::EqualsNoCase(keyword, u"SIGNATURE_MEM");
  if (!memory && !text::EqualsNoCase(keyword, u"SIGNATURE_FILE")) {
    if (!record.memorySignature && !record.fileSignature) {
      Show(text::Format(kKeyword, {lineNumber_}));
      return Outcome::kError;
    }
    return Outcome::kNotThisKind;
  }

  const std::u16string hex = ReadWord();
  if (hex.size() % 2 != 0) {
    Show(text::Format(kOddLength, {lineNumber_, hex.size()}));
    return Outcome::kError;
  }
  for (std::size_t i = 0; i < hex.size(); ++i) {
    if (!IsHexDigit(hex[i])) {
      Show(text::Format(kBadCharacter, {lineNumber_, i + 1}));
      return Outcome::kError;
    }
  }
  if (hex.empty()) {
    Show(text::Format(kSignatureEmpty, {lineNumber_}));
    return Outcome::kError;
  }
  auto converted = context_.system().runtime().WideToAnsi(hex);
  if (!converted) {
    Show(text::Format(kConversionFailed, {lineNumber_}));
    return Outcome::kError;
  }

  std::optional<std::string>& slot = memory ? record.memorySignature : record.fileSignature;
  if (slot) {
    Show(text::Format(kSameKind, {lineNumber_}));
    return Outcome::kError;
  }
  slot = std::move(*converted);
  return Outcome::kDone;
}

bool ScriptParser::CheckSignaturesAreNew(const MalwareDescription& record) {
  // Numbered one line above the second signature line.
  const int line = lineNumber_ - 1;
  for (const MalwareDescription& earlier : records_) {
    if (SameSignature(earlier.memorySignature, record.memorySignature)) {
      Show(text::Format(kMemorySignatureRepeated, {line}));
      return false;
    }
    if (SameSignature(earlier.fileSignature, record.fileSignature)) {
      Show(text::Format(kFileSignatureRepeated, {line}));
      return false;
    }
  }
  return true;
}

void ScriptParser::ReadList(std::vector<std::u16string>& arguments) {
  for (std::u16string word = ReadWord(); !word.empty(); word = ReadWord()) {
    arguments.push_back(std::move(word));
  }
}

bool ScriptParser::ReadAction(MalwareDescription& record) {
  const std::u16string name = ReadWord();
  const auto code = LookupAction(name);
  if (!code) {
    Show(text::Format(kInvalidAction, {lineNumber_, name}));
    return false;
  }
  const std::u16string_view actionName = ActionName(*code);
  ScriptAction action;
  action.code = *code;
  auto& named = action.namedArguments;

  // Reads the next `count` words; on the first empty one shows the message
  // for that shortage and fails.
  std::u16string words[4];
  auto require = [&](int count, const char16_t* const* shortage) {
    for (int i = 0; i < count; ++i) {
      words[i] = ReadWord();
      if (words[i].empty()) {
        Show(text::Format(shortage[i], {lineNumber_, actionName}));
        return false;
      }
    }
    return true;
  };

  switch (*code) {
    case ActionCode::kKillProcess:
    case ActionCode::kRemoveFile:
    case ActionCode::kRemoveFromHosts:
    case ActionCode::kRemoveRunReg:
    case ActionCode::kRemoveRegKey:
    case ActionCode::kAddRegKey:
      ReadList(action.arguments);
      break;
    case ActionCode::kCleanSystemIni:
    case ActionCode::kCleanWinIni:
    case ActionCode::kShowPopupInfo: {
      const char16_t* shortage[] = {kArgumentMissing};
      if (!require(1, shortage)) return false;
      action.arguments.push_back(std::move(words[0]));
      break;
    }
    case ActionCode::kRestoreHosts:
      break;
    case ActionCode::kRemoveRegValue: {
      const char16_t* shortage[] = {kKeyMissing};
      if (!require(1, shortage)) return false;
      named[kArgKey] = std::move(words[0]);
      ReadList(action.arguments);
      break;
    }
    case ActionCode::kRenameFile: {
      if (!require(2, kRenameShort)) return false;
      std::u16string third = ReadWord();
      if (third.empty()) {
        named[kArgOldValue] = std::move(words[0]);
        named[kArgNewValue] = std::move(words[1]);
      } else {
        named[kArgDirectory] = std::move(words[0]);
        named[kArgOldValue] = std::move(words[1]);
        named[kArgNewValue] = std::move(third);
      }
      break;
    }
    case ActionCode::kReplaceRegValue:
      if (!require(4, kReplaceShort)) return false;
      named[kArgKey] = std::move(words[0]);
      named[kArgValueName] = std::move(words[1]);
      named[kArgOldValue] = std::move(words[2]);
      named[kArgNewValue] = std::move(words[3]);
      break;
    case ActionCode::kAddRegValue: {
      if (!require(2, kAddValueShort)) return false;
      named[kArgKey] = std::move(words[0]);
      // "Name:DWORD" gives the value Name of type DWORD; a colon in front
      // belongs to the name.
      const std::u16string& value = words[1];
      const std::size_t colon = value.rfind(u':');
      if (colon != std::u16string::npos && colon != 0) {
        named[kArgValue] = value.substr(0, colon);
        named[kArgDataType] = value.substr(colon + 1);
      } else {
        named[kArgValue] = value;
      }
      std::u16string data = ReadWord();
      if (!data.empty()) named[kArgData] = std::move(data);
      break;
    }
  }
  record.actions.push_back(std::move(action));
  return true;
}

void ScriptParser::Show(std::u16string message) {
  lastMessage_ = std::move(message);
  if (onMessage_) {
    onMessage_(kParseErrorCaption, lastMessage_);
  } else {
    context_.system().ui().ShowMessageBox(0, lastMessage_, kParseErrorCaption, platform::kMbOk);
  }
}

bool ScriptParser::Fail() {
  records_.clear();
  return false;
}

bool ScriptParser::ParseScript() {
  if (!ReadLine()) return true;
  for (;;) {
    // A header opens the block; at the start of the text and after a
    // completed block a missing one is an error.
    if (TestHeader() != Outcome::kDone) return Fail();
    MalwareDescription record;
    if (!ReadName(record) || !CheckNameIsNew(record)) return Fail();

    // One signature line must follow.
    if (!ReadLine()) {
      Show(text::Format(kEndOfFile, {lineNumber_}));
      return Fail();
    }
    if (ReadSignatureLine(record) != Outcome::kDone) return Fail();

    // Then a second signature line of the other kind, or the first action
    // line, or the next header.
    if (!ReadLine()) {
      Show(text::Format(kEndOfFile, {lineNumber_}));
      return Fail();
    }
    bool atEnd = false;
    switch (ReadSignatureLine(record)) {
      case Outcome::kError:
        return Fail();
      case Outcome::kNotThisKind:
        Rewind();
        break;
      case Outcome::kDone:
        if (!CheckSignaturesAreNew(record)) return Fail();
        atEnd = !ReadLine();
        break;
    }

    // Action lines up to the next header or the end of the text.
    if (!atEnd) {
      reportMissingHeader_ = false;
      for (;;) {
        if (TestHeader() == Outcome::kDone) break;
        Rewind();
        if (!ReadAction(record)) return Fail();
        if (!ReadLine()) {
          atEnd = true;
          break;
        }
      }
    }

    records_.push_back(std::move(record));
    if (atEnd) return true;
    reportMissingHeader_ = true;
    Rewind();
  }
}

}  // namespace descriptions
