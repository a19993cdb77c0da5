#include "tests/platform_cases/platform_cases.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/text.h"

namespace platform_cases {

const char* ExpectedOn(const Case& c, Family family) {
  return family == Family::kWindows9x && c.win9x != nullptr ? c.win9x : c.nt;
}

bool WineShows(const Case& c, Family family) {
  return c.wine == Wine::kShows || (c.wine == Wine::kShowsNtOnly && family == Family::kNt);
}

void RunTable(std::span<const Case> table, Family family, bool underWine,
              const std::function<std::unique_ptr<Bench>()>& makeBench) {
  for (const Case& c : table) {
    const std::string expected = ExpectedOn(c, family);
    if (expected == kNotApplicable || (underWine && !WineShows(c, family))) continue;
    SCOPED_TRACE(c.name);
    const std::unique_ptr<Bench> bench = makeBench();
    ASSERT_TRUE(bench) << "no bench for the case";
    EXPECT_EQ(c.run(*bench), expected) << c.name;
  }
}

bool WriteBytes(platform::System& system, std::u16string_view path, std::string_view bytes) {
  const platform::FileOpenResult opened =
      system.files().CreateFileWide(path, platform::kGenericWrite, 0, platform::kCreateAlways, 0);
  if (opened.handle == 0) return false;
  const std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
  const auto written = system.files().WriteFile(opened.handle, data);
  system.runtime().CloseHandle(opened.handle);
  return written == data.size();
}

std::string ReadBytes(platform::System& system, std::u16string_view path) {
  const platform::FileOpenResult opened = system.files().CreateFileWide(
      path, platform::kGenericRead, platform::kFileShareRead, platform::kOpenExisting, 0);
  if (opened.handle == 0) return "<missing>";
  std::string text;
  std::vector<std::uint8_t> buffer(4096);
  while (const auto n = system.files().ReadFile(opened.handle, buffer)) {
    if (*n == 0) break;
    text.append(buffer.begin(), buffer.begin() + *n);
  }
  system.runtime().CloseHandle(opened.handle);
  return text;
}

std::string Ok(bool succeeded) { return succeeded ? "ok" : "fails"; }

std::string ErrorName(std::uint32_t error) {
  switch (error) {
    case 0:
      return "success";
    case 2:
      return "not found";
    case 3:
      return "path not found";
    case 5:
      return "denied";
    case 6:
      return "invalid handle";
    case 32:
      return "sharing violation";
    case 80:
      return "exists";
    case 161:
      return "bad path";
    case 183:
      return "already exists";
    case 234:
      return "more data";
    case 259:
      return "no more items";
    case 1018:
      return "key deleted";
    case 1113:
      return "no translation";
    default:
      return "error " + std::to_string(error);
  }
}

std::string Utf8(std::u16string_view text) { return text::ToUtf8(text); }

std::string Join(std::span<const std::u16string> names) {
  std::string joined;
  for (const std::u16string& name : names) {
    if (!joined.empty()) joined += "|";
    joined += Utf8(name);
  }
  return joined;
}

}  // namespace platform_cases
