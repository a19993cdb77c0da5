// File removal and rename, win.ini/system.ini cleaning and the hosts file,
// through the Win32 backend on real files under Wine.
//
// It deletes and renames files, schedules delayed moves, and rewrites
// win.ini, system.ini, the hosts file and WININIT.INI: it runs only in a
// prefix of its own that run-scan-prefix.sh makes (no Z:, nothing of the
// host reachable), and refuses to start where drive Z: exists. Its files live
// in C:\qrt-files\. WineWin98Removal runs under Wine's win98 setting (ctest
// entry win32-removal-files-win98), the rest under the default NT version;
// WineRestart runs only after run-scan-prefix.sh has ended the session and
// started it again (wineboot -k -r, which carries out the delayed moves),
// and checks what the run before it scheduled.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/text.h"
#include "platform/win32/win32_system.h"
#include "removal/system_operations.h"
#include "system/system_context.h"
#include "tests/support/scan_context_stub.h"

namespace {

const std::wstring kFolder = L"C:\\qrt-files\\";

std::u16string U(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

bool Exists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << text::ToUtf8(U(path));
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
  ASSERT_EQ(written, bytes.size());
}

std::string ReadBytes(const std::wstring& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes(::GetFileSize(file, nullptr), '\0');
  DWORD read = 0;
  ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  ::CloseHandle(file);
  bytes.resize(read);
  return bytes;
}

std::wstring WindowsDirectory() {
  wchar_t path[MAX_PATH + 1] = {};
  ::GetWindowsDirectoryW(path, MAX_PATH);
  return path;
}

std::wstring SystemDirectory() {
  wchar_t path[MAX_PATH + 1] = {};
  ::GetSystemDirectoryW(path, MAX_PATH);
  return path;
}

// The strings of PendingFileRenameOperations, the system's list of delayed
// moves (pairs of source and target, an empty target deleting the source).
std::vector<std::wstring> PendingRenames() {
  HKEY key = nullptr;
  std::vector<std::wstring> strings;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return strings;
  }
  DWORD type = 0;
  DWORD size = 0;
  ::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type, nullptr, &size);
  std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
  if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, &type,
                         reinterpret_cast<BYTE*>(data.data()), &size) == ERROR_SUCCESS) {
    data.resize(size / sizeof(wchar_t));
    std::size_t start = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
      if (data[i] == L'\0') {
        strings.push_back(data.substr(start, i - start));
        start = i + 1;
      }
    }
  }
  ::RegCloseKey(key);
  return strings;
}

// Whether `list` holds `source` followed by `target`; the system keeps
// sources (and targets) as "\??\" paths.
bool HasPendingMove(const std::vector<std::wstring>& list, const std::wstring& source,
                    const std::wstring& target) {
  const auto same = [](const std::wstring& entry, const std::wstring& path) {
    if (path.empty()) return entry.empty();
    const std::wstring bare = entry.rfind(L"\\??\\", 0) == 0 ? entry.substr(4) : entry;
    const std::wstring marked = bare.rfind(L"!", 0) == 0 ? bare.substr(1) : bare;
    return ::lstrcmpiW(marked.c_str(), path.c_str()) == 0;
  };
  for (std::size_t i = 0; i + 1 < list.size(); ++i) {
    if (same(list[i], source) && same(list[i + 1], target)) return true;
  }
  return false;
}

// A file created by the test and kept open without sharing for deletion, as
// a running program holds its executable.
class HeldFile {
 public:
  explicit HeldFile(const std::wstring& path) {
    WriteBytes(path, "held");
    handle_ = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  }
  ~HeldFile() { ::CloseHandle(handle_); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

class RemovalFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Never outside a prefix of our own: Z: would be the host's file system.
    ASSERT_EQ(::GetDriveTypeW(L"Z:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR))
        << "run in the confined prefix of run-scan-prefix.sh";
    ::CreateDirectoryW(kFolder.c_str(), nullptr);
    system_ = platform::win32::CreateSystem();
    systemContext_ = std::make_unique<sys::SystemContext>(*system_);
    context_ = std::make_unique<qrt_test::ScanContextStub>(*systemContext_,
                                                           std::vector<scan::MalwareHandler*>{});
    operations_ = std::make_unique<removal::SystemRemovalOperations>(
        *systemContext_, context_->statistics(), context_->rebootRequired());
  }

  const scan::ScanStatistics& stats() const { return context_->stats(); }
  bool reboot() { return context_->rebootRequired(); }

  std::unique_ptr<platform::System> system_;
  std::unique_ptr<sys::SystemContext> systemContext_;
  std::unique_ptr<qrt_test::ScanContextStub> context_;
  std::unique_ptr<removal::SystemRemovalOperations> operations_;
};

TEST_F(RemovalFilesTest, ReadOnlyHiddenFileIsDeletedAtOnce) {
  ASSERT_FALSE(systemContext_->isWindows9x());
  const std::wstring path = kFolder + L"hidden.exe";
  WriteBytes(path, "MZ");
  ASSERT_TRUE(::SetFileAttributesW(
      path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  EXPECT_EQ(codes::ToInt(operations_->RemoveFile(U(path))), 1);
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(stats().removedFiles, 1);
  EXPECT_FALSE(reboot());
  EXPECT_EQ(codes::ToInt(operations_->RemoveFile(U(kFolder))), 2);
  EXPECT_EQ(codes::ToInt(operations_->RemoveFile(U(kFolder + L"none.exe"))), 2);
}

// Scheduled here, carried out by the restart before WineRestart's test.
const std::wstring kHeldDeleted = kFolder + L"in-use.exe";
const std::wstring kHeldRenamed = kFolder + L"in-use2.exe";
const std::wstring kHeldTarget = kFolder + L"in-use2.vir";

TEST_F(RemovalFilesTest, FileInUseIsScheduledInThePendingRenameList) {
  const std::wstring& deleted = kHeldDeleted;
  const std::wstring& renamed = kHeldRenamed;
  const std::wstring& target = kHeldTarget;
  HeldFile heldDeleted(deleted);
  HeldFile heldRenamed(renamed);
  ASSERT_TRUE(heldDeleted.held() && heldRenamed.held());
  ASSERT_FALSE(::DeleteFileW(deleted.c_str())) << "the open file must refuse deletion";

  EXPECT_EQ(codes::ToInt(operations_->RemoveFile(U(deleted))), 1);
  EXPECT_EQ(codes::ToInt(operations_->RenameFile(U(renamed), U(target))), 1);
  EXPECT_TRUE(Exists(deleted));
  EXPECT_TRUE(Exists(renamed));
  EXPECT_EQ(stats().removedFiles, 1);
  EXPECT_EQ(stats().renamedFiles, 1);
  EXPECT_TRUE(reboot());
  const std::vector<std::wstring> pending = PendingRenames();
  EXPECT_TRUE(HasPendingMove(pending, deleted, L""));
  EXPECT_TRUE(HasPendingMove(pending, renamed, target));
  // Once handled, a path is not scheduled again.
  EXPECT_EQ(codes::ToInt(operations_->RemoveFile(U(deleted))), 2);

  // A rename to another drive (Q:, a folder of its own) would not be carried
  // out at the start: it is refused, not scheduled.
  const std::wstring other = kFolder + L"in-use3.exe";
  HeldFile heldOther(other);
  EXPECT_EQ(codes::ToInt(operations_->RenameFile(U(other), u"Q:\\in-use3.vir")), 2);
  EXPECT_EQ(stats().renamedFiles, 1);
  EXPECT_FALSE(HasPendingMove(PendingRenames(), other, L"Q:\\in-use3.vir"));
}

// After the restart that followed the test above: the held files are gone,
// the renamed one under its new name.
TEST(WineRestart, ScheduledRemovalsWereCarriedOut) {
  ASSERT_EQ(::GetDriveTypeW(L"Z:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
  EXPECT_FALSE(Exists(kHeldDeleted));
  EXPECT_FALSE(Exists(kHeldRenamed));
  EXPECT_EQ(ReadBytes(kHeldTarget), "held");
  EXPECT_TRUE(Exists(kFolder + L"in-use3.exe"));
  EXPECT_TRUE(PendingRenames().empty());
}

TEST_F(RemovalFilesTest, RenameAtOnce) {
  const std::wstring from = kFolder + L"rename-me.exe";
  const std::wstring to = kFolder + L"renamed.vir";
  ::DeleteFileW(to.c_str());
  WriteBytes(from, "MZ");
  ::SetFileAttributesW(from.c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(codes::ToInt(operations_->RenameFile(U(from), U(to))), 1);
  EXPECT_FALSE(Exists(from));
  EXPECT_EQ(ReadBytes(to), "MZ");
  EXPECT_EQ(stats().renamedFiles, 1);
  EXPECT_FALSE(reboot());
  EXPECT_EQ(codes::ToInt(operations_->RenameFile(U(from), U(to))), 2);
}

// A taken new name is never left to the next start, whether or not the file
// is in use: the system's refusal tells which.
TEST_F(RemovalFilesTest, RenameToATakenNameIsRefused) {
  const std::wstring from = kFolder + L"taken-from.exe";
  const std::wstring held = kFolder + L"taken-held.exe";
  const std::wstring to = kFolder + L"taken.vir";
  WriteBytes(from, "MZ");
  WriteBytes(to, "kept");
  HeldFile heldFile(held);
  ASSERT_TRUE(heldFile.held());
  EXPECT_EQ(codes::ToInt(operations_->RenameFile(U(from), U(to))), 2);
  EXPECT_EQ(codes::ToInt(operations_->RenameFile(U(held), U(to))), 2);
  EXPECT_EQ(ReadBytes(to), "kept");
  EXPECT_TRUE(Exists(from));
  EXPECT_EQ(stats().renamedFiles, 0);
  EXPECT_FALSE(reboot());
  EXPECT_FALSE(HasPendingMove(PendingRenames(), held, to));
}

// device= stands on several lines of [386Enh]: only the one that names the
// file is cleared, and the profile functions read the new text afterwards.
TEST_F(RemovalFilesTest, ARepeatedKeyLosesOnlyTheLineThatNamesTheFile) {
  const std::wstring systemIni = WindowsDirectory() + L"\\system.ini";
  ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, systemIni.c_str());
  const std::string before = ReadBytes(systemIni);
  WriteBytes(systemIni, before + (before.empty() || before.ends_with('\n') ? "" : "\r\n") +
                            "[386Enh]\r\ndevice=*vmm32\r\ndevice=C:\\qrt-files\\evil.vxd\r\n"
                            "device=vnetsup.vxd\r\n");
  EXPECT_EQ(codes::ToInt(operations_->CleanIniFile(u"EVIL.vxd", 1)), 1);
  wchar_t section[256] = {};
  const DWORD n = ::GetPrivateProfileSectionW(L"386Enh", section, 256, systemIni.c_str());
  EXPECT_EQ(std::wstring(section, n),
            std::wstring(L"device=*vmm32\0device=\0device=vnetsup.vxd\0", 41));
  EXPECT_TRUE(ReadBytes(systemIni).ends_with(
      "[386Enh]\r\ndevice=*vmm32\r\ndevice=\r\ndevice=vnetsup.vxd\r\n"));
}

TEST_F(RemovalFilesTest, WinIniAndSystemIniLinesAreCleaned) {
  const std::wstring windows = WindowsDirectory();
  const std::wstring systemIni = windows + L"\\system.ini";
  const std::wstring winIni = windows + L"\\win.ini";
  const std::wstring evil = kFolder + L"Evil.exe";
  ASSERT_TRUE(::WritePrivateProfileStringW(L"boot", L"shell", (L"Explorer.exe " + evil).c_str(),
                                           systemIni.c_str()));
  ASSERT_TRUE(::WritePrivateProfileStringW(L"boot", L"qrt.keep", L"other.exe", systemIni.c_str()));
  ASSERT_TRUE(::WritePrivateProfileStringW(L"windows", L"load", evil.c_str(), winIni.c_str()));
  ASSERT_TRUE(::WritePrivateProfileStringW(L"qrt-test", L"run", L"c:\\QRT-FILES\\EVIL.EXE",
                                           winIni.c_str()));

  EXPECT_EQ(codes::ToInt(operations_->CleanIniFile(u"evil.EXE", 1)), 1);
  EXPECT_EQ(codes::ToInt(operations_->CleanIniFile(u"evil.exe", 2)), 1);
  EXPECT_EQ(stats().iniChanged, 1u);
  const auto read = [](const wchar_t* section, const wchar_t* key, const std::wstring& file) {
    wchar_t value[MAX_PATH] = {};
    ::GetPrivateProfileStringW(section, key, L"<none>", value, MAX_PATH, file.c_str());
    return std::wstring(value);
  };
  EXPECT_EQ(read(L"boot", L"shell", systemIni), L"explorer.exe");
  EXPECT_EQ(read(L"boot", L"qrt.keep", systemIni), L"other.exe");
  EXPECT_EQ(read(L"windows", L"load", winIni), L"");
  EXPECT_EQ(read(L"qrt-test", L"run", winIni), L"");
  EXPECT_EQ(codes::ToInt(operations_->CleanIniFile(u"evil.exe", 2)), 2);
  EXPECT_EQ(codes::ToInt(operations_->CleanIniFile(u"evil.exe", 3)), 2);
}

TEST_F(RemovalFilesTest, HostsIsRestoredAndEntriesDisabled) {
  const std::wstring etc = SystemDirectory() + L"\\drivers\\etc";
  const std::wstring hosts = etc + L"\\hosts";
  const std::wstring backup = etc + L"\\hosts.bak";
  ::CreateDirectoryW((SystemDirectory() + L"\\drivers").c_str(), nullptr);
  ::CreateDirectoryW(etc.c_str(), nullptr);
  const std::string old = "127.0.0.1       localhost\r\n10.0.0.1 bank.example\r\n";
  WriteBytes(hosts, old);
  WriteBytes(backup, "older backup, longer than the hosts file itself is");

  EXPECT_EQ(codes::ToInt(operations_->RestoreHosts()), 1);
  EXPECT_EQ(ReadBytes(hosts),
            "# 127.0.0.1       localhost\r\n# 10.0.0.1 bank.example\r\n"
            "\r\n127.0.0.1\t\tlocalhost\r\n");
  EXPECT_EQ(ReadBytes(backup), old);
  EXPECT_EQ(stats().hostsChanged, 1u);

  WriteBytes(hosts, old);
  EXPECT_EQ(codes::ToInt(operations_->RemoveFromHosts(u"evil.example")), 7);
  EXPECT_EQ(codes::ToInt(operations_->RemoveFromHosts(u"BANK.example")), 1);
  EXPECT_EQ(ReadBytes(hosts), "127.0.0.1       localhost\r\n# 10.0.0.1 bank.example\r\n");
  // A read-only hosts file is left as it is.
  ::SetFileAttributesW(hosts.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(codes::ToInt(operations_->RemoveFromHosts(u"localhost")), 2);
  ::SetFileAttributesW(hosts.c_str(), FILE_ATTRIBUTE_NORMAL);
  // Nothing of the rewrites is left in the folder.
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((etc + L"\\~qrt*").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE);
  if (search != INVALID_HANDLE_VALUE) ::FindClose(search);
}

// --- Under Wine's win98 setting ---

TEST_F(RemovalFilesTest, WineWin98FileInUseIsWrittenToWininit) {
  ASSERT_TRUE(systemContext_->isWindows9x()) << "run under Wine's win98 setting";
  const std::wstring wininit = WindowsDirectory() + L"\\WININIT.INI";
  ::DeleteFileW(wininit.c_str());
  const std::wstring deleted = kFolder + L"in-use98.exe";
  const std::wstring renamed = kFolder + L"rename98.exe";
  HeldFile heldDeleted(deleted);
  HeldFile heldRenamed(renamed);
  ASSERT_TRUE(heldDeleted.held() && heldRenamed.held());

  EXPECT_EQ(codes::ToInt(operations_->RemoveFile(U(deleted))), 1);
  EXPECT_EQ(codes::ToInt(operations_->RenameFile(U(renamed), U(kFolder + L"rename98.vir"))), 1);
  EXPECT_TRUE(Exists(deleted));
  EXPECT_TRUE(reboot());
  EXPECT_EQ(stats().removedFiles, 1);
  EXPECT_EQ(stats().renamedFiles, 1);
  // WININIT.EXE knows short names only: each path in its short form, the
  // new name in its folder's.
  const auto shortForm = [](const std::wstring& path) {
    char shortPath[MAX_PATH + 1] = {};
    const std::string ansi(path.begin(), path.end());
    ::GetShortPathNameA(ansi.c_str(), shortPath, MAX_PATH);
    return std::string(shortPath);
  };
  const std::string folder = shortForm(kFolder);
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder, "C:\\qrt-files\\");
  EXPECT_EQ(ReadBytes(wininit), "[rename]\r\n" + folder + "rename98.vir=" + shortForm(renamed) +
                                    "\r\nNUL=" + shortForm(deleted) + "\r\n");

  // The hosts file of Windows 98 lives in the Windows folder.
  const std::wstring hosts = WindowsDirectory() + L"\\hosts";
  WriteBytes(hosts, "10.0.0.1 bank.example\n");
  EXPECT_EQ(codes::ToInt(operations_->RestoreHosts()), 1);
  EXPECT_EQ(ReadBytes(hosts), "# 10.0.0.1 bank.example\n\r\n127.0.0.1\t\tlocalhost\r\n");
  EXPECT_EQ(ReadBytes(WindowsDirectory() + L"\\hosts.bak"), "10.0.0.1 bank.example\n");
}

}  // namespace
