// The description script on the real system: the SCRIPTFILE 161 resource of
// the program's module, and the folder placeholders resolved by the real
// folder functions.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "common/text.h"
#include "descriptions/builtin_script.h"
#include "descriptions/script_loading.h"
#include "descriptions/word_expansion.h"
#include "platform/win32/win32_system.h"
#include "system/system_context.h"

namespace {

class ScriptOnWindows : public ::testing::Test {
 protected:
  std::unique_ptr<platform::System> system_ = platform::win32::CreateSystem();
};

TEST_F(ScriptOnWindows, ResourceHoldsTheBuiltInScriptAndParses) {
  const auto resource = system_->resources().LoadResourceData(descriptions::kScriptResourceType,
                                                              descriptions::kScriptResourceName);
  ASSERT_TRUE(resource.has_value());
  const auto file = descriptions::BuiltInScriptBytes();
  EXPECT_TRUE(std::equal(resource->begin(), resource->end(), file.begin(), file.end()));

  sys::SystemContext context(*system_);
  const auto parser = descriptions::LoadScript(*system_, context);
  ASSERT_NE(parser, nullptr);
  ASSERT_EQ(parser->records().size(), 5u);
  EXPECT_EQ(parser->records()[0].baseName, u"Worm/NetSky");
  // %SYSDIR% resolved to the real system directory.
  const auto& removeAmp = parser->records()[1].actions[0].arguments;
  ASSERT_EQ(removeAmp.size(), 1u);
  EXPECT_TRUE(
      text::EqualsNoCase(removeAmp[0], *system_->folders().SystemDirectory() + u"\\amp.ini"))
      << text::ToUtf8(removeAmp[0]);
}

TEST_F(ScriptOnWindows, RealFolderFunctionsResolveEveryPlaceholder) {
  sys::SystemContext context(*system_);
  ASSERT_FALSE(context.versionQueryFailed());
  EXPECT_TRUE(context.specialFolderPath());
  EXPECT_TRUE(context.longPathName());
  using descriptions::Folder;
  for (Folder folder : {Folder::kSystem, Folder::kWindows, Folder::kProgramFiles, Folder::kHome,
                        Folder::kTemp, Folder::kInternetCache, Folder::kCookies}) {
    SCOPED_TRACE(static_cast<int>(folder));
    const auto path = descriptions::FolderPath(folder, context);
    ASSERT_TRUE(path.has_value());
    EXPECT_GE(path->size(), 3u);
    EXPECT_EQ((*path)[1], u':') << text::ToUtf8(*path);
    EXPECT_NE(path->back(), u'\\') << text::ToUtf8(*path);
  }
  // The temporary folder in its long form: no "~" of a short name.
  const auto temp = descriptions::FolderPath(Folder::kTemp, context);
  EXPECT_EQ(temp->find(u'~'), std::u16string::npos) << text::ToUtf8(*temp);
  const auto expanded = descriptions::ExpandFolderPlaceholders(u"%windir%\\x", context);
  ASSERT_TRUE(expanded.has_value());
  EXPECT_EQ(*expanded, *system_->folders().WindowsDirectory() + u"\\x");
}

TEST_F(ScriptOnWindows, FolderCallsAndBindings) {
  const auto system32 = system_->folders().SystemDirectory();
  ASSERT_TRUE(system32.has_value());
  EXPECT_TRUE(text::EndsWithNoCase(*system32, u"\\system32")) << text::ToUtf8(*system32);
  const auto temp = system_->folders().TempPath();
  ASSERT_TRUE(temp.has_value());
  EXPECT_EQ(temp->back(), u'\\');

  const auto kernel32 = system_->runtime().LoadLibraryWide(u"KERNEL32.DLL");
  ASSERT_NE(kernel32, 0u);
  EXPECT_FALSE(system_->folders().BindSpecialFolderPath(kernel32));
  const auto longPath = system_->folders().BindLongPathName(kernel32);
  ASSERT_TRUE(longPath);
  EXPECT_EQ(longPath(u"C:\\NoSuchFolder\\NoSuchFile.txt"), std::nullopt);
  EXPECT_TRUE(longPath(*temp).has_value());
  system_->runtime().FreeLibraryHandle(kernel32);
}

}  // namespace
