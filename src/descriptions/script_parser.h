// The ScriptParser turns the text of the description script into
// MalwareDescription records. It accepts only a fully valid script: at the
// first error it shows one message that names the line and the fault, drops
// every record and gives up. The one warning that lets it go on is the one
// about a quote without its closing quote.
//
// A script is a sequence of blocks. The parser walks each block through
// these states; blank lines are skipped everywhere and change nothing.
//
//   expect header (start of text, and after a completed block)
//     header: the block begins (name read and checked) -> after header
//     any other line: must-begin error;  end of text: success
//   after header
//     signature line: stored -> after first signature
//     any other line: keyword error;  end of text: end-of-file error
//   after first signature
//     signature of the other kind: stored and checked for repeats -> actions
//     signature of the same kind: same-kind error
//     header: the block is complete -> expect header
//     any other line: read as an action -> actions
//     end of text: end-of-file error
//   actions
//     header: the block is complete -> expect header
//     any other line, signature lines included: read as an action
//     end of text: the block is complete; success
//
// Messages are formatted with the line number ("Line %3d: ...") and end with
// a line feed; each is shown at once, by default as a message box without
// owner window, caption "Parse Error", OK button only.
//
// Not thread-safe; runs once, before any scan thread exists.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "descriptions/malware_description.h"
#include "system/system_context.h"

namespace descriptions {

inline constexpr char16_t kParseErrorCaption[] = u"Parse Error";

class ScriptParser {
 public:
  // Receives each message (caption, text with its final line feed) and
  // answers when the user has seen it.
  using MessageHandler = std::function<void(std::u16string_view caption, std::u16string_view text)>;

  // `text` is the script past its byte-order mark; it ends at its first NUL
  // character if it holds one. Folder placeholders are resolved and signature
  // texts converted through `context`. Without `onMessage`, messages are
  // shown as message boxes by the context's system.
  ScriptParser(sys::SystemContext& context, std::u16string text, MessageHandler onMessage = {});

  // Parses the whole text. True for a valid script (an empty one included),
  // with records() filled; false after the first error, which has been
  // shown, with records() empty.
  bool ParseScript();

  // The records in script order, after a successful ParseScript.
  const std::vector<MalwareDescription>& records() const { return records_; }

  // --- The reading steps, public for the tests. ---

  // Fetches the next line that is not blank; false at the end of the text.
  // Lines are cut at LF, a run of LFs counting as one separator; a final CR
  // is dropped. Every fetch adds 1 to the line number, the one that finds
  // the end included.
  bool ReadLine();
  // The next word of the current line, expanded; the empty word at the end
  // of the line, for an unterminated quote (after its warning, leaving the
  // position at the quote) and for an unresolvable placeholder.
  std::u16string ReadWord();
  // Sets the reading position back to the start of the current line.
  void Rewind() { position_ = lineStart_; }
  int lineNumber() const { return lineNumber_; }
  // The text of the last message shown, empty when none was.
  const std::u16string& lastMessage() const { return lastMessage_; }

 private:
  enum class Outcome { kDone, kNotThisKind, kError };

  Outcome TestHeader();
  bool ReadName(MalwareDescription& record);
  bool CheckNameIsNew(const MalwareDescription& record);
  Outcome ReadSignatureLine(MalwareDescription& record);
  bool CheckSignaturesAreNew(const MalwareDescription& record);
  bool ReadAction(MalwareDescription& record);
  void ReadList(std::vector<std::u16string>& arguments);
  void Show(std::u16string message);
  bool Fail();

  sys::SystemContext& context_;
  std::u16string text_;
  MessageHandler onMessage_;

  std::size_t nextFetch_ = 0;  // where the next ReadLine starts
  std::size_t lineStart_ = 0;
  std::size_t lineEnd_ = 0;
  std::size_t position_ = 0;
  int lineNumber_ = 0;
  bool reportMissingHeader_ = true;
  std::u16string lastMessage_;
  std::vector<MalwareDescription> records_;
};

}  // namespace descriptions
