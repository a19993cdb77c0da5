// The shared cases of the platform's areas (tests/platform_cases) against
// the fake, for both families of Windows.
#include <gtest/gtest.h>

#include "platform/fake/fake_system.h"
#include "tests/platform_cases/platform_cases.h"

namespace {

using platform::fake::FakeSystem;
using platform_cases::Bench;
using platform_cases::Family;

class FakeBench final : public Bench {
 public:
  explicit FakeBench(Family family) : family_(family) {
    if (family == Family::kWindows9x) platform::fake::SetUpWindows98(system_);
    system_.fileSystem.AddFolder(u"C:\\qrt-cases");
    system_.registryTree.AddKey(platform::kHkeyCurrentUser, key());
  }

  platform::System& system() override { return system_; }
  Family family() const override { return family_; }
  std::u16string folder() const override { return u"C:\\qrt-cases\\"; }
  std::u16string key() const override { return u"Software\\QRT-Cases\\1"; }
  std::u16string unique() const override { return u"1"; }
  void MakeFolder(std::u16string_view name) override {
    system_.fileSystem.AddFolder(folder() + std::u16string(name));
  }
  // Another program's handle is what `refusesOpening` stands for.
  void HoldOpen(std::u16string_view name) override {
    if (auto* file = system_.fileSystem.Find(folder() + std::u16string(name))) {
      file->refusesOpening = true;
    }
  }

 private:
  FakeSystem system_;
  Family family_;
};

void RunOnTheFake(std::span<const platform_cases::Case> table) {
  for (const Family family : {Family::kNt, Family::kWindows9x}) {
    SCOPED_TRACE(family == Family::kNt ? "NT family" : "Windows 9x/ME");
    platform_cases::RunTable(table, family, false,
                             [family] { return std::make_unique<FakeBench>(family); });
  }
}

TEST(PlatformCasesOnTheFake, Files) { RunOnTheFake(platform_cases::FileCases()); }
TEST(PlatformCasesOnTheFake, Registry) { RunOnTheFake(platform_cases::RegistryCases()); }
TEST(PlatformCasesOnTheFake, ProfileFiles) { RunOnTheFake(platform_cases::ProfileFileCases()); }
TEST(PlatformCasesOnTheFake, Resources) { RunOnTheFake(platform_cases::ResourceCases()); }
TEST(PlatformCasesOnTheFake, Runtime) { RunOnTheFake(platform_cases::RuntimeCases()); }

}  // namespace
