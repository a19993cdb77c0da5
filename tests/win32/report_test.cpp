// The log file, the version line and the host line against the real system
// (run under Wine): the file functions, the program's version resource and
// Windows Sockets.

// Windows Sockets 2 before <windows.h>, which would bring the old header.
#include <winsock2.h>

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/header_texts.h"
#include "app/host.h"
#include "app/log_file.h"
#include "app/main_window.h"
#include "common/text.h"
#include "engine/scanner_table.h"
#include "platform/win32/win32_system.h"
#include "resource_ids.h"

namespace {

std::vector<std::uint8_t> Utf16Le(std::u16string_view s) {
  std::vector<std::uint8_t> bytes;
  text::AppendUtf16Le(bytes, s);
  return bytes;
}

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

// A folder of this test program's own under the temporary folder, removed
// with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, temp);
    path_ = reinterpret_cast<const char16_t*>(temp);
    path_ += u"qrt_report_test_" + text::FromAscii(std::to_string(::GetCurrentProcessId()));
    ::CreateDirectoryW(W(path_), nullptr);
  }
  ~TempFolder() {
    for (const std::u16string& file : created_) {
      ::SetFileAttributesW(W(file), FILE_ATTRIBUTE_NORMAL);
      ::DeleteFileW(W(file));
    }
    ::RemoveDirectoryW(W(path_));
  }
  std::u16string File(std::u16string_view name) {
    created_.push_back(path_ + u"\\" + std::u16string(name));
    return created_.back();
  }

 private:
  std::u16string path_;
  std::vector<std::u16string> created_;
};

std::vector<std::uint8_t> ReadAll(const std::u16string& path) {
  std::vector<std::uint8_t> bytes;
  HANDLE file =
      ::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  std::uint8_t buffer[4096];
  DWORD n = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  ::CloseHandle(file);
  return bytes;
}

void WriteAll(const std::u16string& path, const std::vector<std::uint8_t>& bytes) {
  HANDLE file = ::CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr);
  ::CloseHandle(file);
}

// The stamp line at the start of `bytes`, checked for its form, and the
// bytes after it.
std::vector<std::uint8_t> AfterStamp(const std::vector<std::uint8_t>& bytes, std::size_t from = 0) {
  std::u16string stamp;
  std::size_t i = from;
  for (; i + 1 < bytes.size(); i += 2) {
    stamp.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    if (stamp.size() >= 2 && stamp.substr(stamp.size() - 2) == u"\r\n") break;
  }
  const std::string s = text::ToUtf8(stamp);
  EXPECT_EQ(s.front(), '[') << s;
  EXPECT_EQ(s.substr(s.size() - 3), "]\r\n") << s;
  EXPECT_EQ(std::count(s.begin(), s.end(), '/'), 2) << s;
  EXPECT_EQ(std::count(s.begin(), s.end(), ':'), 2) << s;
  return std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(i + 2), bytes.end());
}

class Win32LogFileTest : public ::testing::Test {
 protected:
  std::unique_ptr<platform::System> system_ = platform::win32::CreateSystem();
  TempFolder folder_;
};

TEST_F(Win32LogFileTest, NewFileIsTheViewTextWithCrLfInUtf16Le) {
  const std::u16string path = folder_.File(u"new.log");
  const std::u16string text = std::u16string(254, u'a') + u"\r\u00E9\u4E2D\r";
  app::WriteLogFile(*system_, path, false, true, text);
  EXPECT_EQ(AfterStamp(ReadAll(path)),
            Utf16Le(std::u16string(254, u'a') + u"\r\n\u00E9\u4E2D\r\n"));
}

TEST_F(Win32LogFileTest, AppendKeepsTheOldContentAndAddsTheSeparator) {
  const std::u16string path = folder_.File(u"append.log");
  const auto old = Utf16Le(u"old\r\n");
  WriteAll(path, old);
  app::WriteLogFile(*system_, path, true, true, u"new\r");
  const auto bytes = ReadAll(path);
  ASSERT_GT(bytes.size(), old.size());
  EXPECT_TRUE(std::equal(old.begin(), old.end(), bytes.begin()));
  const auto separator = Utf16Le(std::u16string(75, u'-') + u"\r\n\r\n");
  EXPECT_TRUE(std::equal(separator.begin(), separator.end(), bytes.begin() + old.size()));
  EXPECT_EQ(AfterStamp(bytes, old.size() + separator.size()), Utf16Le(u"new\r\n"));
}

TEST_F(Win32LogFileTest, ReadOnlyLongerFileIsRewrittenAndCut) {
  const std::u16string path = folder_.File(u"readonly.log");
  WriteAll(path, std::vector<std::uint8_t>(4000, 'z'));
  ASSERT_TRUE(::SetFileAttributesW(W(path), FILE_ATTRIBUTE_READONLY));
  app::WriteLogFile(*system_, path, false, true, u"short");
  EXPECT_EQ(AfterStamp(ReadAll(path)), Utf16Le(u"short"));
  EXPECT_EQ(::GetFileAttributesW(W(path)) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(Win32LogFileTest, NothingWithoutAScanOrWithoutAFolder) {
  const std::u16string path = folder_.File(u"none.log");
  app::WriteLogFile(*system_, path, false, false, u"text");
  EXPECT_EQ(::GetFileAttributesW(W(path)), INVALID_FILE_ATTRIBUTES);
  const std::u16string nowhere = folder_.File(u"missing\\none.log");
  app::WriteLogFile(*system_, nowhere, false, true, u"text");
  EXPECT_EQ(::GetFileAttributesW(W(nowhere)), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Win32LogFileTest, FileOperationsAnswerAsTheFakeDoes) {
  const std::u16string path = folder_.File(u"ops.bin");
  // The last error of opening `path`; the handle, if any, is closed at once.
  auto openError = [&](std::uint32_t access, std::uint32_t disposition) {
    const auto opened = system_->files().CreateFileWide(
        path, access, platform::kFileShareRead, disposition, platform::kFileAttributeNormal);
    if (opened.handle != 0) system_->runtime().CloseHandle(opened.handle);
    return opened.lastError;
  };
  EXPECT_EQ(openError(platform::kGenericWrite, platform::kOpenExisting),
            platform::kErrorFileNotFound);
  const auto created =
      system_->files().CreateFileWide(path, platform::kGenericWrite, 0, platform::kOpenAlways, 0);
  ASSERT_NE(created.handle, 0u);
  EXPECT_EQ(created.lastError, 0u);
  EXPECT_EQ(system_->files().WriteFile(created.handle, std::vector<std::uint8_t>{1, 2, 3, 4}), 4u);
  EXPECT_EQ(system_->files().SetFilePointer(created.handle, -3, platform::kFileEnd), 1u);
  EXPECT_TRUE(system_->files().SetEndOfFile(created.handle));
  EXPECT_TRUE(system_->runtime().CloseHandle(created.handle));
  EXPECT_FALSE(system_->runtime().CloseHandle(created.handle));
  EXPECT_EQ(ReadAll(path), std::vector<std::uint8_t>{1});

  EXPECT_EQ(openError(platform::kGenericWrite, platform::kOpenAlways),
            platform::kErrorAlreadyExists);
  // Whether the system then refuses write access is not checked here: Wine
  // run by root opens a read-only file for writing all the same.
  ASSERT_TRUE(system_->files().SetFileAttributesWide(path, platform::kFileAttributeReadOnly));
  EXPECT_NE(::GetFileAttributesW(W(path)) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_TRUE(system_->files().SetFileAttributesWide(path, platform::kFileAttributeNormal));
  EXPECT_FALSE(system_->files().SetFileAttributesWide(folder_.File(u"gone.bin"),
                                                      platform::kFileAttributeNormal));
  const auto nowhere = system_->files().CreateFileWide(
      folder_.File(u"no\\such.bin"), platform::kGenericWrite, 0, platform::kOpenAlways, 0);
  EXPECT_EQ(nowhere.handle, 0u);
  EXPECT_EQ(nowhere.lastError, platform::kErrorPathNotFound);

  // A file held open without sharing for deletion stays; closed, it goes.
  const auto held =
      system_->files().CreateFileWide(path, platform::kGenericWrite, 0, platform::kOpenExisting, 0);
  ASSERT_NE(held.handle, 0u);
  EXPECT_FALSE(system_->files().DeleteFileWide(path));
  EXPECT_TRUE(system_->runtime().CloseHandle(held.handle));
  EXPECT_TRUE(system_->files().DeleteFileWide(path));
  EXPECT_EQ(::GetFileAttributesW(W(path)), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(system_->files().DeleteFileWide(path));
}

TEST(Win32HeaderTexts, VersionComesFromTheProgramsOwnResource) {
  const auto system = platform::win32::CreateSystem();
  EXPECT_EQ(text::ToUtf8(app::FileVersionText(*system)), "3.0.1.16");
  const std::string line = text::ToUtf8(app::BuildHeaderTexts(*system).versionLine);
  EXPECT_EQ(line.substr(0, 21), "\r\nVersion: 3.0.1.16, ") << line;
}

TEST(Win32Host, NameAndAddressAreTheSystems) {
  // What Windows Sockets itself says, asked directly.
  WSADATA data{};
  ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &data), 0);
  char name[300] = {};
  ASSERT_EQ(::gethostname(name, 299), 0);
  std::uint8_t address[4] = {};
  if (const hostent* entry = ::gethostbyname(name);
      entry != nullptr && entry->h_addr_list[0] != nullptr) {
    std::memcpy(address, entry->h_addr_list[0], 4);
  }
  ::WSACleanup();

  const auto system = platform::win32::CreateSystem();
  const app::HostInfo host = app::QueryHost(*system);
  EXPECT_EQ(host.name, name);
  EXPECT_FALSE(host.name.empty());
  EXPECT_EQ(host.address[0], address[0]);
  EXPECT_EQ(host.address[1], address[1]);
  EXPECT_EQ(host.address[2], address[2]);
  EXPECT_EQ(host.address[3], address[3]);
}

// The main window on the real dialog: its header lines and a line from the
// observer reach the log through the rich edit's text.
class WindowToLog : public platform::DialogHandler {
 public:
  WindowToLog(platform::System& system, std::u16string path)
      : system_(system),
        scanners_(system),
        window_(system, scanners_, {}),
        path_(std::move(path)) {}

  bool OnInitDialog(platform::DialogView& view) override {
    view_ = &view;
    const bool focus = window_.OnInitDialog(view);
    HWND dialog = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(view.Window()));
    limitAfterStartUp = ::SendMessageW(::GetDlgItem(dialog, QRT_IDC_OUTPUT), EM_GETLIMITTEXT, 0, 0);
    view.Post(platform::kWmUser + 9, 0, 0);
    return focus;
  }

  bool OnMessage(std::uint32_t message, std::uint64_t, std::int64_t) override {
    if (message != platform::kWmUser + 9) return false;
    window_.ReportFinding(u"Sober.J", u" was found in memory !\r\n");
    window_.AppendText(u"last line\r\n");
    app::WriteLogFile(system_, path_, false, true, view_->RichText(QRT_IDC_OUTPUT));
    view_->EndModal(7);
    return true;
  }

  bool OnMessageFilter(int id) override { return window_.OnMessageFilter(id); }

  // The output view's text limit once the window has initialised itself.
  LRESULT limitAfterStartUp = 0;

 private:
  platform::System& system_;
  engine::ScannerTable scanners_;
  app::RemovalDialog window_;
  std::u16string path_;
  platform::DialogView* view_ = nullptr;
};

TEST_F(Win32LogFileTest, WindowTextReachesTheLog) {
  ASSERT_NE(system_->runtime().LoadLibraryAnsi("RICHED20.DLL"), 0u);
  const std::u16string path = folder_.File(u"window.log");
  WindowToLog handler(*system_, path);
  ASSERT_EQ(system_->ui().RunModalDialog(QRT_IDD_MAIN, 0, handler), 7);
  // Raised at start-up, so that the view (and so the log) keeps everything.
  // Wine's rich edit would grow past its default limit by itself; Windows's
  // cuts the text off there.
  EXPECT_EQ(handler.limitAfterStartUp, 0x7FFFFFFE);
  const auto body = AfterStamp(ReadAll(path));
  std::u16string text;
  for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
    text.push_back(static_cast<char16_t>(body[i] | (body[i + 1] << 8)));
  }
  const std::string log = text::ToUtf8(text);
  const std::string head = "Quelvix Removal Tool 3.0\r\nRemoval Tool for:\r\n";
  EXPECT_EQ(log.substr(0, head.size()), head) << log;
  EXPECT_NE(log.find("\r\nVersion: 3.0.1.16, "), std::string::npos) << log;
  EXPECT_NE(log.find("\r\nUse /? to list all available command line options\r\n"),
            std::string::npos);
  EXPECT_NE(log.find("\r\n- Host: \""), std::string::npos) << log;
  const std::string tail = "Sober.J was found in memory !\r\nlast line\r\n";
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail) << log;
  // No line break of the view is left single: every CR and LF is in a pair.
  std::size_t pairs = 0;
  for (std::size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at + 2)) {
    ++pairs;
  }
  EXPECT_EQ(std::count(log.begin(), log.end(), '\r'), static_cast<std::ptrdiff_t>(pairs));
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), static_cast<std::ptrdiff_t>(pairs));
}

}  // namespace
