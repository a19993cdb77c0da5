// The shared cases of the platform's areas (tests/platform_cases) against
// the Win32 backend on the real system under Wine. ctest runs it in a
// confined prefix (run-scan-prefix.sh) once under Wine's winxp setting
// (win32-platform-cases) and once under win98 with the wide functions bound
// to the stubs of Windows 98 (QRT_WIN9X_STUBS=1, win32-platform-cases-win98),
// so that the narrow path is what runs there. The cases work in
// C:\qrt-cases\ and below HKEY_CURRENT_USER\Software\QRT-Cases-<process>,
// which go when the program ends.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/win32/text_api.h"
#include "platform/win32/win32_system.h"
#include "tests/platform_cases/platform_cases.h"
#include "tests/win32/sample_files.h"

namespace {

namespace api = platform::win32::api;
using platform_cases::Bench;
using platform_cases::Family;

const std::wstring kRoot = L"C:\\qrt-cases";

std::wstring W(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string U(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

// Deletes the folder `path` with everything in it.
void DeleteFolder(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring inner = path + L"\\" + name;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        DeleteFolder(inner);
      } else {
        ::SetFileAttributesW(inner.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(inner.c_str());
      }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(path.c_str());
}

std::wstring KeyRoot() {
  return L"Software\\QRT-Cases-" + std::to_wstring(::GetCurrentProcessId());
}

platform::System& TheSystem() {
  static const std::unique_ptr<platform::System> system = platform::win32::CreateSystem();
  return *system;
}

Family SystemFamily() {
  const auto version = TheSystem().runtime().QueryVersion();
  return version && version->platformId == platform::kPlatformWin32Windows ? Family::kWindows9x
                                                                           : Family::kNt;
}

// A folder and a key of one case, made fresh and removed when it ends.
class Win32Bench final : public Bench {
 public:
  Win32Bench() : number_(std::to_wstring(++count_)) {
    ::CreateDirectoryW(kRoot.c_str(), nullptr);
    folder_ = kRoot + L"\\" + number_;
    DeleteFolder(folder_);
    ::CreateDirectoryW(folder_.c_str(), nullptr);
    key_ = KeyRoot() + L"\\" + number_;
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &key, nullptr) == ERROR_SUCCESS) {
      ::RegCloseKey(key);
    }
  }
  ~Win32Bench() override {
    for (HANDLE held : held_) ::CloseHandle(held);
    DeleteFolder(folder_);
    qrt_test::DeleteTree(HKEY_CURRENT_USER, key_);
  }
  Win32Bench(const Win32Bench&) = delete;
  Win32Bench& operator=(const Win32Bench&) = delete;

  platform::System& system() override { return TheSystem(); }
  Family family() const override { return SystemFamily(); }
  std::u16string folder() const override { return U(folder_) + u"\\"; }
  std::u16string key() const override { return U(key_); }
  std::u16string unique() const override {
    return U(std::to_wstring(::GetCurrentProcessId()) + L"-" + number_);
  }
  void MakeFolder(std::u16string_view name) override {
    ::CreateDirectoryW((folder_ + L"\\" + W(name)).c_str(), nullptr);
  }
  void HoldOpen(std::u16string_view name) override {
    HANDLE held = ::CreateFileW((folder_ + L"\\" + W(name)).c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (held != INVALID_HANDLE_VALUE) held_.push_back(held);
  }

 private:
  static inline int count_ = 0;
  std::wstring number_;
  std::wstring folder_;
  std::wstring key_;
  std::vector<HANDLE> held_;
};

class PlatformCasesUnderWine : public ::testing::Test {
 protected:
  static void TearDownTestSuite() {
    DeleteFolder(kRoot);
    qrt_test::DeleteTree(HKEY_CURRENT_USER, KeyRoot());
  }

  static void Run(std::span<const platform_cases::Case> table) {
    platform_cases::RunTable(table, SystemFamily(), true,
                             [] { return std::make_unique<Win32Bench>(); });
  }
};

// Never outside a prefix of its own (Z: would be the host's file system),
// and under Windows 9x/ME only through the narrow path, with the wide
// functions stubbed as there.
TEST_F(PlatformCasesUnderWine, RunsInAConfinedPrefixOnTheFamilysPath) {
  EXPECT_EQ(::GetDriveTypeW(L"Z:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR))
      << "run in the confined prefix of run-scan-prefix.sh";
  if (SystemFamily() == Family::kWindows9x) {
    EXPECT_TRUE(api::StubsBoundForTests()) << "run with QRT_WIN9X_STUBS=1";
    EXPECT_EQ(api::CurrentFamily(), api::Family::kWindows9x);
  }
  std::printf("family: %s\n", SystemFamily() == Family::kNt ? "NT" : "Windows 9x/ME");
}

TEST_F(PlatformCasesUnderWine, Files) {
  ASSERT_EQ(::GetDriveTypeW(L"Z:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
  Run(platform_cases::FileCases());
}
TEST_F(PlatformCasesUnderWine, Registry) { Run(platform_cases::RegistryCases()); }
TEST_F(PlatformCasesUnderWine, ProfileFiles) {
  ASSERT_EQ(::GetDriveTypeW(L"Z:\\"), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
  Run(platform_cases::ProfileFileCases());
}
TEST_F(PlatformCasesUnderWine, Resources) { Run(platform_cases::ResourceCases()); }
TEST_F(PlatformCasesUnderWine, Runtime) { Run(platform_cases::RuntimeCases()); }

}  // namespace
