// The description script parser: its states, messages and line numbers, the
// reading of words and the arguments of every action.
#include "descriptions/script_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "descriptions/script_dump.h"
#include "script_test_support.h"

namespace {

using script_test::Crlf;

class ScriptParserTest : public script_test::FakeSystemTest {
 protected:
  // Parses `script`; answers whether it was valid.
  bool Parse(std::u16string script) {
    parser_ = std::make_unique<descriptions::ScriptParser>(Context(), std::move(script));
    return parser_->ParseScript();
  }

  // The records as listed by script-check --dump.
  std::string Dump() const {
    std::u16string out;
    for (const auto& record : parser_->records()) out += descriptions::DumpDescription(record);
    return text::ToUtf8(out);
  }

  // `script` (LF turned into CR LF) is rejected with exactly one message box:
  // "Line %3d: " `message` and a line feed, caption "Parse Error", no owner,
  // OK only.
  void ExpectParseError(std::string_view script, int line, std::string_view message) {
    EXPECT_FALSE(Parse(Crlf(script)));
    ASSERT_EQ(system.messageBoxes.size(), 1u) << testing::PrintToString(Boxes());
    const auto& box = system.messageBoxes[0];
    const std::u16string expected =
        text::Format(u"Line %3d: ", {line}) + text::FromUtf8(message) + u"\n";
    EXPECT_EQ(text::ToUtf8(box.text), text::ToUtf8(expected));
    EXPECT_EQ(box.caption, u"Parse Error");
    EXPECT_EQ(box.owner, 0u);
    EXPECT_EQ(box.type, platform::kMbOk);
    EXPECT_TRUE(parser_->records().empty());
  }

  // `script` (LF turned into CR LF) is valid, shows no message, and gives
  // the records that `dump` lists.
  void ExpectParses(std::string_view script, std::string_view dump) {
    EXPECT_TRUE(Parse(Crlf(script)));
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
    EXPECT_EQ(Dump(), dump);
  }

  std::unique_ptr<descriptions::ScriptParser> parser_;
};

struct ErrorCase {
  const char* label;
  const char* script;
  int line;
  const char* message;
};

// Every message that ends the parse, with the line numbers that matter.
const ErrorCase kErrorCases[] = {
    // Block structure.
    {"action line first", "REMOVE_FILE a\n", 1, "New malware description block must begin."},
    {"blank lines count", "\n \t\n\nKILL_PROCESS x\n", 4,
     "New malware description block must begin."},
    {"keyword run together with letters", "[MalwareX A.B]\n", 1,
     "New malware description block must begin."},
    {"bracket apart but keyword misspelt", "[ Malwar A.B]\n", 1,
     "New malware description block must begin."},
    {"header as last line", "[Malware A.B]\n", 2,
     "End of file reached before the signatures and actions have been provided."},
    {"header and blank lines at the end", "[Malware A.B]\n\n\n", 4,
     "End of file reached before the signatures and actions have been provided."},
    {"one signature line at the end", "[Malware A.B]\nSIGNATURE_FILE 00\n", 3,
     "End of file reached before the signatures and actions have been provided."},
    {"action directly after the header", "[Malware A.B]\nREMOVE_FILE x\n", 2,
     "The line should start with \"SIGNATURE_MEM\" or \"SIGNATURE_FILE\" keywords."},
    {"header directly after the header", "[Malware A.B]\n[Malware C.D]\n", 2,
     "The line should start with \"SIGNATURE_MEM\" or \"SIGNATURE_FILE\" keywords."},
    {"text after the actions", "[Malware A.B]\nSIGNATURE_FILE 00\nKILL_PROCESS a\nA.C\n", 4,
     "Invalid action name \"A.C\"."},
    // Names.
    {"no name", "[Malware\n", 1, "Malware name was not provided."},
    {"no name after a bracket standing apart", "[ MALWARE \n", 1, "Malware name was not provided."},
    {"name without dot", "[Malware NetSky]\n", 1,
     "Malware name must be base_name.variant_name, provided \"NetSky]\"."},
    {"name starting with the dot", "[Malware .P]\n", 1,
     "Malware name must be base_name.variant_name, provided \".P]\"."},
    {"names equal but for case",
     "[Malware Worm/NetSky.P]\nSIGNATURE_FILE 00\n\n[MALWARE worm/netsky.p]\n", 4,
     "A malware with worm/netsky.p name has already been specified."},
    // Signatures.
    {"odd length", "[Malware A.B]\nSIGNATURE_FILE 12345\n", 2,
     "The line contains a signature with odd length (must be even): 5."},
    {"length is checked before the characters", "[Malware A.B]\nSIGNATURE_MEM xyz\n", 2,
     "The line contains a signature with odd length (must be even): 3."},
    {"bad character", "[Malware A.B]\nSIGNATURE_FILE 12G4\n", 2,
     "The line contains a bad character encountered at position 3."},
    {"blank inside a quoted signature", "[Malware A.B]\nSIGNATURE_FILE \"0A 0B\"\n", 2,
     "The line contains a signature with odd length (must be even): 5."},
    {"no signature word", "[Malware A.B]\nSIGNATURE_MEM\n", 2, "Signature empty."},
    {"empty quoted signature", "[Malware A.B]\nSIGNATURE_MEM \"\" 00\n", 2, "Signature empty."},
    {"second signature of the same kind", "[Malware A.B]\nSIGNATURE_FILE 00\nsignature_file 11\n",
     3, "This type of signature has already been provided."},
    {"signature after an action",
     "[Malware A.B]\nSIGNATURE_FILE 00\nKILL_PROCESS a\nSIGNATURE_MEM 11\n", 4,
     "Invalid action name \"SIGNATURE_MEM\"."},
    {"memory signature of an earlier block",
     "[Malware A.B]\nSIGNATURE_MEM 00aa\nSIGNATURE_FILE 11\n\n"
     "[Malware A.C]\nSIGNATURE_FILE 22\nSIGNATURE_MEM 00AA\n",
     6, "A malware description with the same memory signature has already been provided."},
    {"file signature of an earlier one-signature block",
     "[Malware A.B]\nSIGNATURE_FILE ab\n\n[Malware A.C]\nSIGNATURE_MEM 22\nSIGNATURE_FILE AB\n", 5,
     "A malware description with the same file signature has already been provided."},
    {"duplicate numbered one above the second signature line",
     "[Malware A.B]\nSIGNATURE_FILE ab\n\n[Malware A.C]\nSIGNATURE_MEM 22\n\n\nSIGNATURE_FILE AB\n",
     7, "A malware description with the same file signature has already been provided."},
    // Actions and their arguments.
    {"unknown action", "[Malware A.B]\nSIGNATURE_FILE 00\nDELETE_FILE x\n", 3,
     "Invalid action name \"DELETE_FILE\"."},
    {"CLEAN_SYSTEM_INI without argument", "[Malware A.B]\nSIGNATURE_FILE 00\nCLEAN_SYSTEM_INI\n", 3,
     "The argument for the CLEAN_SYSTEM_INI action was not provided."},
    {"CLEAN_WIN_INI without argument", "[Malware A.B]\nSIGNATURE_FILE 00\nclean_win_ini \"\"\n", 3,
     "The argument for the CLEAN_WIN_INI action was not provided."},
    {"SHOW_POPUP_INFO without argument", "[Malware A.B]\nSIGNATURE_FILE 00\nSHOW_POPUP_INFO\n", 3,
     "The argument for the SHOW_POPUP_INFO action was not provided."},
    {"REMOVE_REG_VALUE without key", "[Malware A.B]\nSIGNATURE_FILE 00\nREMOVE_REG_VALUE\n", 3,
     "The key argument for the REMOVE_REG_VALUE action was not provided."},
    {"RENAME_FILE without words", "[Malware A.B]\nSIGNATURE_FILE 00\nRENAME_FILE\n", 3,
     "The RENAME_FILE action must have two or three arguments (none provided)."},
    {"RENAME_FILE with one word", "[Malware A.B]\nSIGNATURE_FILE 00\nRENAME_FILE a\n", 3,
     "The RENAME_FILE action must have two or three arguments (one provided)."},
    {"REPLACE_REG_VALUE without words", "[Malware A.B]\nSIGNATURE_FILE 00\nREPLACE_REG_VALUE\n", 3,
     "The REPLACE_REG_VALUE action must have four arguments (none provided)."},
    {"REPLACE_REG_VALUE with one word", "[Malware A.B]\nSIGNATURE_FILE 00\nREPLACE_REG_VALUE k\n",
     3, "The REPLACE_REG_VALUE action must have four arguments (one provided)."},
    {"REPLACE_REG_VALUE with two words",
     "[Malware A.B]\nSIGNATURE_FILE 00\nREPLACE_REG_VALUE k n\n", 3,
     "The REPLACE_REG_VALUE action must have four arguments (two provided)."},
    {"REPLACE_REG_VALUE with three words",
     "[Malware A.B]\nSIGNATURE_FILE 00\nREPLACE_REG_VALUE k n old\n", 3,
     "The REPLACE_REG_VALUE action must have four arguments (three provided)."},
    {"ADD_REG_VALUE without words", "[Malware A.B]\nSIGNATURE_FILE 00\nADD_REG_VALUE\n", 3,
     "The ADD_REG_VALUE action must have at least two arguments (none provided)."},
    {"ADD_REG_VALUE with only a key", "[Malware A.B]\nSIGNATURE_FILE 00\nADD_REG_VALUE HKCU\\X\n",
     3, "The ADD_REG_VALUE action must have at least two arguments (one provided)."},
    {"shortage counted after an unresolvable word",
     "[Malware A.B]\nSIGNATURE_FILE 00\nRENAME_FILE a %NOPE%%HOME% b\n", 3,
     "The RENAME_FILE action must have two or three arguments (one provided)."},
};

TEST_F(ScriptParserTest, EveryErrorShowsOneMessageWithItsLineNumber) {
  // %HOME% cannot be determined (as on Windows 9x).
  system.folderLayout.specialFolders.erase(platform::kCsidlProfile);
  for (const ErrorCase& c : kErrorCases) {
    SCOPED_TRACE(c.label);
    system.messageBoxes.clear();
    ExpectParseError(c.script, c.line, c.message);
  }
}

TEST_F(ScriptParserTest, FailedSignatureConversionIsAnError) {
  system.wideToAnsiFails = true;
  ExpectParseError("[Malware A.B]\nSIGNATURE_FILE 00\n", 2,
                   "Error while converting signature from wchar_t to char .");
}

TEST_F(ScriptParserTest, ErrorInALaterBlockDropsTheEarlierRecords) {
  EXPECT_FALSE(Parse(Crlf("[Malware A.B]\nSIGNATURE_FILE 00\n\n[Malware C.D]\n")));
  EXPECT_TRUE(parser_->records().empty());
  EXPECT_EQ(parser_->lastMessage(),
            u"Line   5: End of file reached before the signatures and actions have been "
            u"provided.\n");
}

TEST_F(ScriptParserTest, LinesAreCutAtLineFeedsAndRunsOfThemCountOnce) {
  // Without CR an empty line yields no line at all, so "FOO" is line 3.
  EXPECT_FALSE(Parse(u"\n\n[Malware A.B]\nSIGNATURE_FILE 00\n\n\n\nFOO\n"));
  EXPECT_EQ(parser_->lastMessage(), u"Line   3: Invalid action name \"FOO\".\n");
  // A second CR stays part of the line, and so of the last word.
  system.messageBoxes.clear();
  EXPECT_FALSE(Parse(u"[Malware A.B]\r\nSIGNATURE_FILE 00\r\nFOO\r\r\n"));
  EXPECT_EQ(parser_->lastMessage(), u"Line   3: Invalid action name \"FOO\r\".\n");
  // Line numbers above 999 widen the field.
  system.messageBoxes.clear();
  std::u16string numbered;
  for (int i = 0; i < 1233; ++i) numbered += u"\r\n";
  EXPECT_FALSE(Parse(numbered + u"X\r\n"));
  EXPECT_EQ(parser_->lastMessage(), u"Line 1234: New malware description block must begin.\n");
}

TEST_F(ScriptParserTest, EmptyScriptsAreValid) {
  for (const char* script : {"", "\n", "  \t\n\n\t\n", " "}) {
    SCOPED_TRACE(script);
    ExpectParses(script, "");
  }
}

struct ValidCase {
  const char* label;
  const char* script;
  const char* dump;
};

// Headers, names, signatures and the block structure that is accepted.
const ValidCase kBlockCases[] = {
    {"two signatures and no actions at the end",
     "[Malware A.B]\nSIGNATURE_FILE 0a\nSIGNATURE_MEM 0B\n",
     "BLOCK A.B\nSIGNATURE_MEM 0B\nSIGNATURE_FILE 0a\n"},
    {"block without actions followed by a block",
     "[malware A.B]\nSIGNATURE_MEM ab\n\n[MALWARE A.C]\nSIGNATURE_FILE ab\nKILL_PROCESS x\n",
     "BLOCK A.B\nSIGNATURE_MEM ab\nBLOCK A.C\nSIGNATURE_FILE ab\nKILL_PROCESS <x>\n"},
    {"brackets standing apart, trailing words ignored",
     "[ Malware Worm/NetSky.P ] whatever\nSIGNATURE_FILE 00 11 22\nRESTORE_HOSTS\n",
     "BLOCK Worm/NetSky.P\nSIGNATURE_FILE 00\nRESTORE_HOSTS\n"},
    {"any character as the opening bracket", "< malware A.B]\nSIGNATURE_FILE 00\nRESTORE_HOSTS\n",
     "BLOCK A.B\nSIGNATURE_FILE 00\nRESTORE_HOSTS\n"},
    {"variant names keep further dots and lose one bracket",
     "[Malware TR/Spy.Banker.AATZ.1]]\nSIGNATURE_FILE 00\n\n[Malware TR/Spy.Banker.AATZ\n"
     "SIGNATURE_FILE 00\n\n[Malware X.]\nSIGNATURE_FILE 00\n\n[Malware Y.\nSIGNATURE_FILE 00\n"
     "RESTORE_HOSTS\n",
     "BLOCK TR/Spy.Banker.AATZ.1]\nSIGNATURE_FILE 00\nBLOCK TR/Spy.Banker.AATZ\nSIGNATURE_FILE "
     "00\nBLOCK X.\nSIGNATURE_FILE 00\nBLOCK Y.\nSIGNATURE_FILE 00\nRESTORE_HOSTS\n"},
    {"names differing in one part are distinct",
     "[Malware A.B]\nSIGNATURE_FILE 00\n[Malware A.C]\nSIGNATURE_FILE 00\n[Malware C.B]\n"
     "SIGNATURE_FILE 00\nRESTORE_HOSTS\n",
     "BLOCK A.B\nSIGNATURE_FILE 00\nBLOCK A.C\nSIGNATURE_FILE 00\nBLOCK C.B\nSIGNATURE_FILE 00\n"
     "RESTORE_HOSTS\n"},
    {"equal signatures of one-signature blocks are not compared",
     "[Malware A.B]\nSIGNATURE_FILE 00ff\n[Malware A.C]\nSIGNATURE_FILE 00FF\nRESTORE_HOSTS\n",
     "BLOCK A.B\nSIGNATURE_FILE 00ff\nBLOCK A.C\nSIGNATURE_FILE 00FF\nRESTORE_HOSTS\n"},
    {"memory and file signature may be equal within a block",
     "[Malware A.B]\nSIGNATURE_MEM 00ff\nSIGNATURE_FILE 00ff\n",
     "BLOCK A.B\nSIGNATURE_MEM 00ff\nSIGNATURE_FILE 00ff\n"},
    {"keywords ignore case, blanks and tabs separate",
     "\t[mAlWaRe\tA.B]\t\nsignature_mem\t\t0123456789abcdefABCDEF \nremove_FILE\ta  b\t\n",
     "BLOCK A.B\nSIGNATURE_MEM 0123456789abcdefABCDEF\nREMOVE_FILE <a> <b>\n"},
};

TEST_F(ScriptParserTest, ValidBlocks) {
  for (const ValidCase& c : kBlockCases) {
    SCOPED_TRACE(c.label);
    system.messageBoxes.clear();
    ExpectParses(c.script, c.dump);
  }
}

// Words and the arguments of every action, on one block.
const ValidCase kActionCases[] = {
    {"lists run to the end of the line",
     "KILL_PROCESS %infected_processes% b.exe\nREMOVE_FILE %infected_file% %WINDIR%\\x.exe\n"
     "REMOVE_FROM_HOSTS a.com 1.2.3.4\nREMOVE_RUN_REG fvprotect.exe\n"
     "REMOVE_REG_KEY HKLM\\A hkcu\\B\nADD_REG_KEY HKCR\\C\nKILL_PROCESS\n",
     "KILL_PROCESS <%infected_processes%> <b.exe>\n"
     "REMOVE_FILE <%infected_file%> <C:\\WINDOWS\\x.exe>\n"
     "REMOVE_FROM_HOSTS <a.com> <1.2.3.4>\nREMOVE_RUN_REG <fvprotect.exe>\n"
     "REMOVE_REG_KEY <HKEY_LOCAL_MACHINE\\A> <HKEY_CURRENT_USER\\B>\n"
     "ADD_REG_KEY <HKEY_CLASSES_ROOT\\C>\nKILL_PROCESS\n"},
    {"quoted words",
     "REMOVE_FILE \"C:\\Program Files\\a b.exe\" c.exe\nREMOVE_FILE \"a\"b\n"
     "REMOVE_FILE a\"b c\"\nREMOVE_FILE a \"\" b\n",
     "REMOVE_FILE <C:\\Program Files\\a b.exe> <c.exe>\nREMOVE_FILE <a> <b>\n"
     "REMOVE_FILE <a\"b> <c\">\nREMOVE_FILE <a>\n"},
    {"one-argument actions ignore further words",
     "CLEAN_SYSTEM_INI %infected_file% x\nCLEAN_WIN_INI a b\nSHOW_POPUP_INFO \"Restart now.\" x\n"
     "RESTORE_HOSTS a b\n",
     "CLEAN_SYSTEM_INI <%infected_file%>\nCLEAN_WIN_INI <a>\nSHOW_POPUP_INFO <Restart now.>\n"
     "RESTORE_HOSTS\n"},
    {"RENAME_FILE with two, three and four words",
     "RENAME_FILE a b\nRENAME_FILE %WINDIR% a b\nRENAME_FILE d a b c\n",
     "RENAME_FILE old_value=<a> new_value=<b>\n"
     "RENAME_FILE directory=<C:\\WINDOWS> old_value=<a> new_value=<b>\n"
     "RENAME_FILE directory=<d> old_value=<a> new_value=<b>\n"},
    {"registry values",
     "REMOVE_REG_VALUE HKLM\\K\nREMOVE_REG_VALUE HKLM\\K a \"b c\"\n"
     "REPLACE_REG_VALUE HKLM\\K Shell %infected_file% Explorer.exe extra\n",
     "REMOVE_REG_VALUE key=<HKEY_LOCAL_MACHINE\\K>\n"
     "REMOVE_REG_VALUE key=<HKEY_LOCAL_MACHINE\\K> <a> <b c>\n"
     "REPLACE_REG_VALUE old_value=<%infected_file%> new_value=<Explorer.exe> "
     "key=<HKEY_LOCAL_MACHINE\\K> value_name=<Shell>\n"},
    {"ADD_REG_VALUE splits the value word at its last colon",
     "ADD_REG_VALUE HKCU\\Software\\X Name:DWORD 1\nADD_REG_VALUE k a:b:c\nADD_REG_VALUE k :x\n"
     "ADD_REG_VALUE k a: \"\"\nADD_REG_VALUE k ::x d e\n",
     "ADD_REG_VALUE key=<HKEY_CURRENT_USER\\Software\\X> value=<Name> data_type=<DWORD> "
     "data=<1>\n"
     "ADD_REG_VALUE key=<k> value=<a:b> data_type=<c>\nADD_REG_VALUE key=<k> value=<:x>\n"
     "ADD_REG_VALUE key=<k> value=<a> data_type=<>\n"
     "ADD_REG_VALUE key=<k> value=<:> data_type=<x> data=<d>\n"},
    {"an unresolvable placeholder ends a list",
     "REMOVE_FILE a %PROGRAM_FILES%\\b c\nREMOVE_FILE %Windir%\\%SYSDIR%\n",
     "REMOVE_FILE <a>\nREMOVE_FILE <C:\\WINDOWS\\C:\\WINDOWS\\system32>\n"},
};

TEST_F(ScriptParserTest, ActionArguments) {
  system.missingFunctions.insert("SHGetSpecialFolderPathW");
  for (const ValidCase& c : kActionCases) {
    SCOPED_TRACE(c.label);
    system.messageBoxes.clear();
    ExpectParses(std::string("[Malware A.B]\nSIGNATURE_FILE 00\n") + c.script,
                 std::string("BLOCK A.B\nSIGNATURE_FILE 00\n") + c.dump);
  }
}

TEST_F(ScriptParserTest, UnterminatedQuoteWarnsEachTimeTheLineIsReadFromItsStart) {
  const std::string warning =
      "[Parse Error] Line   4: An argument starts with \" character, but doesn't contain an "
      "\" end character. Word ignored.\n";
  const std::string invalid = "[Parse Error] Line   4: Invalid action name \"\".\n";

  // After an action line: header test, then action line.
  EXPECT_FALSE(Parse(Crlf("[Malware A.B]\nSIGNATURE_FILE 00\nKILL_PROCESS a\n\"x y\n")));
  EXPECT_EQ(Boxes(), (std::vector<std::string>{warning, warning, invalid}));

  // After the first signature line: also tested as a second signature line.
  system.messageBoxes.clear();
  EXPECT_FALSE(Parse(Crlf("[Malware A.B]\nSIGNATURE_FILE 00\n\n  \"x y\n")));
  EXPECT_EQ(Boxes(), (std::vector<std::string>{warning, warning, warning, invalid}));
}

TEST_F(ScriptParserTest, UnterminatedQuoteInAnArgumentEndsTheListAndParsingGoesOn) {
  EXPECT_TRUE(
      Parse(Crlf("[Malware A.B]\nSIGNATURE_FILE 00\nREMOVE_FILE a \"b c\nKILL_PROCESS d\n"
                 "REMOVE_FILE e \"f\"\"\n")));
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         "[Parse Error] Line   3: An argument starts with \" character, but "
                         "doesn't contain an \" end character. Word ignored.\n",
                         "[Parse Error] Line   5: An argument starts with \" character, but "
                         "doesn't contain an \" end character. Word ignored.\n"}));
  EXPECT_EQ(Dump(),
            "BLOCK A.B\nSIGNATURE_FILE 00\nREMOVE_FILE <a>\nKILL_PROCESS <d>\n"
            "REMOVE_FILE <e> <f>\n");
}

TEST_F(ScriptParserTest, ReadWordGivesExpandedWordsThenEmptyOnes) {
  parser_ = std::make_unique<descriptions::ScriptParser>(
      Context(), u"  \n hkLM\\x \"%TEMPDIR%\\a b\"c \"unterminated\n");
  EXPECT_TRUE(parser_->ReadLine());
  EXPECT_EQ(parser_->lineNumber(), 2);
  EXPECT_EQ(parser_->ReadWord(), u"HKEY_LOCAL_MACHINE\\x");
  EXPECT_EQ(parser_->ReadWord(),
            u"C:\\Documents and Settings\\Administrator\\Local Settings\\Temp\\a b");
  EXPECT_EQ(parser_->ReadWord(), u"c");
  EXPECT_EQ(parser_->ReadWord(), u"");
  EXPECT_EQ(parser_->ReadWord(), u"");  // stays at the quote and warns again
  EXPECT_EQ(system.messageBoxes.size(), 2u);
  parser_->Rewind();
  EXPECT_EQ(parser_->ReadWord(), u"HKEY_LOCAL_MACHINE\\x");
  EXPECT_FALSE(parser_->ReadLine());
  EXPECT_EQ(parser_->lineNumber(), 3);
}

TEST_F(ScriptParserTest, TextEndsAtItsFirstNul) {
  EXPECT_TRUE(Parse(Crlf("[Malware A.B]\nSIGNATURE_FILE 00\nRESTORE_HOSTS") + u'\0' + u"FOO\r\n"));
  EXPECT_EQ(Dump(), "BLOCK A.B\nSIGNATURE_FILE 00\nRESTORE_HOSTS\n");
}

TEST_F(ScriptParserTest, BuiltInScriptParsesIntoItsFiveBlocks) {
  const auto bytes = descriptions::BuiltInScriptBytes();
  EXPECT_TRUE(Parse(descriptions::ScriptTextFromBytes(bytes)));
  EXPECT_EQ(Boxes(), std::vector<std::string>{});
  const auto& records = parser_->records();
  ASSERT_EQ(records.size(), 5u);

  struct Expected {
    const char16_t* name;
    bool memory;
    std::size_t actions;
  };
  const Expected expected[] = {{u"Worm/NetSky.P", false, 5},
                               {u"TR/Spy.Banker.AATZ", true, 23},
                               {u"TR/Spy.Banker.AATZ.1", false, 23},
                               {u"TR/Spy.Banker.AATZ.2", false, 23},
                               {u"TR/Spy.Banker.AATZ.3", false, 23}};
  std::set<std::string> patterns;
  for (std::size_t i = 0; i < records.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(descriptions::DisplayName(records[i]), expected[i].name);
    EXPECT_EQ(records[i].memorySignature.has_value(), expected[i].memory);
    ASSERT_TRUE(records[i].fileSignature.has_value());
    EXPECT_EQ(records[i].fileSignature->size(), 252u);
    if (expected[i].memory) {
      EXPECT_EQ(records[i].memorySignature, records[i].fileSignature);
    }
    patterns.insert(*records[i].fileSignature);
    EXPECT_EQ(records[i].actions.size(), expected[i].actions);
  }
  EXPECT_EQ(patterns.size(), 5u);  // all distinct

  // The text itself: 112 CR LF lines, the last one included, after the mark.
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xFE);
  const std::u16string text = descriptions::ScriptTextFromBytes(bytes);
  EXPECT_EQ(std::count(text.begin(), text.end(), u'\n'), 112);
  std::size_t emptyLines = 0;
  for (std::size_t at = text.find(u"\n\r\n"); at != std::u16string::npos;
       at = text.find(u"\n\r\n", at + 1)) {
    ++emptyLines;
  }
  EXPECT_EQ(emptyLines, 4u);  // one between each two blocks
  EXPECT_EQ(text.substr(text.size() - 2), u"\r\n");
  EXPECT_NE(text.find(u" \r\n"), std::u16string::npos);  // a line ending in a blank
}

}  // namespace
