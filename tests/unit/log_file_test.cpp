#include "app/log_file.h"

#include <gtest/gtest.h>

#include "common/text.h"
#include "platform/fake/fake_system.h"

namespace {

using platform::fake::FakeSystem;

constexpr char16_t kPath[] = u"C:\\Logs\\scan.log";
// 28 May 2008, 15:11:17 on the fake's clock.
constexpr char16_t kStamp[] = u"[28/5/2008 15:11:17]\r\n";

std::vector<std::uint8_t> Utf16Le(std::u16string_view s) {
  std::vector<std::uint8_t> bytes;
  text::AppendUtf16Le(bytes, s);
  return bytes;
}

std::u16string Separator() { return std::u16string(75, u'-') + u"\r\n\r\n"; }

class LogFileTest : public ::testing::Test {
 protected:
  LogFileTest() { system_.fileSystem.AddFolder(u"C:\\Logs"); }

  void Write(std::u16string_view viewText, bool append = false, bool scanStarted = true) {
    app::WriteLogFile(system_, kPath, append, scanStarted, viewText);
    EXPECT_EQ(system_.fileSystem.OpenHandleCount(), 0u);
  }
  std::vector<std::uint8_t> Bytes() {
    const auto* file = system_.fileSystem.Find(kPath);
    return file ? file->bytes : std::vector<std::uint8_t>{};
  }

  FakeSystem system_;
};

TEST_F(LogFileTest, NewFileHoldsTheStampAndTheViewWithCrLfInUtf16LeWithoutBom) {
  Write(u"Quelvix Removal Tool 3.0\rscan results:\r\r\u00E9\u4E2D end");
  EXPECT_EQ(Bytes(), Utf16Le(std::u16string(kStamp) +
                             u"Quelvix Removal Tool 3.0\r\nscan results:\r\n\r\n\u00E9\u4E2D end"));
}

TEST_F(LogFileTest, AppendAddsSeparatorStampAndTextAfterTheOldContent) {
  const std::vector<std::uint8_t> old = Utf16Le(u"old log\r\n");
  system_.fileSystem.AddFile(kPath, old);
  system_.localTime = {2026, 12, 4, 3, 9, 5, 7, 0};
  Write(u"new\r", true);
  std::vector<std::uint8_t> expected = old;
  const auto added = Utf16Le(Separator() + u"[3/12/2026 9:5:7]\r\n" + u"new\r\n");
  expected.insert(expected.end(), added.begin(), added.end());
  EXPECT_EQ(Bytes(), expected);
}

TEST_F(LogFileTest, AppendToAMissingFileCreatesItWithTheSeparatorFirst) {
  Write(u"x", true);
  EXPECT_EQ(Bytes(), Utf16Le(Separator() + kStamp + u"x"));
}

TEST_F(LogFileTest, LongerOldFileIsCutToTheNewContent) {
  system_.fileSystem.AddFile(kPath, std::vector<std::uint8_t>(5000, 'z'));
  Write(u"short");
  EXPECT_EQ(Bytes(), Utf16Le(std::u16string(kStamp) + u"short"));
}

TEST_F(LogFileTest, ReadOnlyFileIsRewrittenAndLeftNormal) {
  system_.fileSystem.AddFile(kPath, Utf16Le(u"old")).attributes =
      platform::kFileAttributeReadOnly | platform::kFileAttributeArchive;
  Write(u"new");
  EXPECT_EQ(Bytes(), Utf16Le(std::u16string(kStamp) + u"new"));
  EXPECT_EQ(system_.fileSystem.Find(kPath)->attributes, platform::kFileAttributeNormal);
}

TEST_F(LogFileTest, NoScanNoFileAndAnOldLogStaysAsItIs) {
  Write(u"text", false, false);
  EXPECT_EQ(system_.fileSystem.Find(kPath), nullptr);
  system_.fileSystem.AddFile(kPath, Utf16Le(u"old")).attributes = platform::kFileAttributeReadOnly;
  Write(u"text", true, false);
  EXPECT_EQ(Bytes(), Utf16Le(u"old"));
  EXPECT_EQ(system_.fileSystem.Find(kPath)->attributes, platform::kFileAttributeReadOnly);
}

TEST_F(LogFileTest, FileThatCannotBeOpenedIsLeftAloneSilently) {
  app::WriteLogFile(system_, u"C:\\NoSuchFolder\\scan.log", false, true, u"text");
  EXPECT_FALSE(system_.fileSystem.FolderExists(u"C:\\NoSuchFolder"));
  system_.fileSystem.AddFile(kPath, Utf16Le(u"in use")).refusesOpening = true;
  Write(u"text");
  EXPECT_EQ(Bytes(), Utf16Le(u"in use"));
  EXPECT_TRUE(system_.messageBoxes.empty());
  EXPECT_TRUE(system_.fileSystem.writes.empty());
}

TEST_F(LogFileTest, WriteErrorsStillCloseTheFile) {
  system_.fileSystem.AddFile(kPath).writesFail = true;
  Write(u"text");  // checks that no handle stays open
  EXPECT_TRUE(Bytes().empty());
}

TEST_F(LogFileTest, TextGoesOutInPiecesOf255CharactersWithLineBreaksIntact) {
  // 254 characters and a line break: the CR ends the first piece and its LF
  // opens the second.
  const std::u16string text = std::u16string(254, u'a') + u"\r" + std::u16string(300, u'b');
  Write(text);
  std::vector<std::size_t> sizes;
  for (const auto& write : system_.fileSystem.writes) sizes.push_back(write.size);
  const std::size_t stamp = std::u16string_view(kStamp).size() * 2;
  EXPECT_EQ(sizes, (std::vector<std::size_t>{stamp, 510, 510, 92}));
  EXPECT_EQ(Bytes(), Utf16Le(std::u16string(kStamp) + std::u16string(254, u'a') + u"\r\n" +
                             std::u16string(300, u'b')));
}

TEST_F(LogFileTest, EveryLineBreakOfTheTextIsOneCrLf) {
  // The view keeps breaks as CR; a CR LF or a lone LF is a single break too.
  Write(u"a\rb\r\nc\nd\r\re");
  EXPECT_EQ(Bytes(), Utf16Le(std::u16string(kStamp) + u"a\r\nb\r\nc\r\nd\r\n\r\ne"));
}

}  // namespace
