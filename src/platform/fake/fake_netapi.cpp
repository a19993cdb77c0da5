// NETAPI32.DLL of the fake: NetUserGetInfo and NetApiBufferFree over the
// account database of FakeSystem::accounts.
#include <functional>
#include <optional>
#include <stdexcept>

#include "common/text.h"
#include "platform/fake/fake_system.h"

namespace platform::fake {
namespace {

constexpr char16_t kLibrary[] = u"NETAPI32.DLL";
// NetUserGetInfo's status for a level it does not offer.
constexpr std::uint32_t kErrorInvalidLevel = 124;

// A check that a bound function runs while its library is loaded, or
// nothing when `function` cannot be bound from `library`.
std::optional<std::function<void()>> Binding(FakeSystem& system, Handle library,
                                             const char* function) {
  if (!system.IsLibraryLoaded(library, kLibrary) || system.missingFunctions.count(function)) {
    return std::nullopt;
  }
  return [&system, library, name = std::string(function)] {
    if (!system.IsLibraryLoaded(library, kLibrary)) {
      throw std::logic_error(name + " called after its library was freed");
    }
  };
}

}  // namespace

NetUserGetInfoFunction FakeNetworkArea::BindNetUserGetInfo(Handle library) {
  auto loaded = Binding(system_, library, "NetUserGetInfo");
  if (!loaded) return {};
  return [this, loaded = *loaded](std::u16string_view server, std::u16string_view user,
                                  std::uint32_t level) -> NetUserGetInfoResult {
    loaded();
    FakeAccounts& accounts = system_.accounts;
    accounts.userInfoCalls.push_back(
        FakeUserInfoCall{std::u16string(server), std::u16string(user), level});
    if (accounts.userInfoError) return NetUserGetInfoResult{*accounts.userInfoError, 0, 0};
    // Levels 0 (the name alone) and 1 (with the privilege level).
    if (level > 1) return NetUserGetInfoResult{kErrorInvalidLevel, 0, 0};
    for (const auto& [name, privilege] : accounts.privilegeLevels) {
      if (!text::EqualsNoCase(name, user)) continue;
      const Handle buffer = system_.NextHandle();
      accounts.userInfoBuffers.insert(buffer);
      return NetUserGetInfoResult{0, buffer, level == 1 ? privilege : 0};
    }
    return NetUserGetInfoResult{kNerrUserNotFound, 0, 0};
  };
}

NetApiBufferFreeFunction FakeNetworkArea::BindNetApiBufferFree(Handle library) {
  auto loaded = Binding(system_, library, "NetApiBufferFree");
  if (!loaded) return {};
  return [this, loaded = *loaded](Handle buffer) -> std::uint32_t {
    loaded();
    if (system_.accounts.userInfoBuffers.erase(buffer) == 0) {
      throw std::logic_error("NetApiBufferFree of no buffer");
    }
    return 0;
  };
}

}  // namespace platform::fake
