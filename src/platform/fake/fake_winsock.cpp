// WS2_32.DLL of the fake: the four functions the program binds, acting on
// FakeSystem::winsock.
#include <functional>
#include <optional>
#include <stdexcept>

#include "common/text.h"
#include "platform/fake/fake_system.h"

namespace platform::fake {
namespace {

constexpr char16_t kLibrary[] = u"WS2_32.DLL";

// A version word: major in the low byte, minor in the high one.
int Ordered(std::uint16_t version) { return ((version & 0xFF) << 8) | (version >> 8); }

// A check that a bound function runs while its library is loaded, or
// nothing when `function` cannot be bound from `library`.
std::optional<std::function<void()>> Binding(FakeSystem& system, Handle library,
                                             const char* function) {
  if (!system.IsLibraryLoaded(library, kLibrary) ||
      system.winsock.missingFunctions.count(function)) {
    return std::nullopt;
  }
  return [&system, library, name = std::string(function)] {
    if (!system.IsLibraryLoaded(library, kLibrary)) {
      throw std::logic_error(name + " called after its library was freed");
    }
  };
}

}  // namespace

WsaStartupFunction FakeNetworkArea::BindWsaStartup(Handle library) {
  auto loaded = Binding(system_, library, "WSAStartup");
  if (!loaded) return {};
  return [&winsock = system_.winsock, loaded = *loaded](std::uint16_t requested) {
    loaded();
    winsock.startupRequests.push_back(requested);
    if (!winsock.startupErrors.empty()) {
      const int error = winsock.startupErrors.front();
      winsock.startupErrors.pop_front();
      if (error != 0) return WsaStartupResult{error, 0, 0};
    }
    // A major version 0 is below every version there is: the call fails
    // but fills in the versions, as the system's library does.
    if ((requested & 0xFF) == 0) {
      return WsaStartupResult{kWsaVersionNotSupported, requested, winsock.highVersion};
    }
    ++winsock.started;
    const std::uint16_t granted =
        Ordered(requested) <= Ordered(winsock.highVersion) ? requested : winsock.highVersion;
    return WsaStartupResult{0, granted, winsock.highVersion};
  };
}

WsaCleanupFunction FakeNetworkArea::BindWsaCleanup(Handle library) {
  auto loaded = Binding(system_, library, "WSACleanup");
  if (!loaded) return {};
  return [&winsock = system_.winsock, loaded = *loaded]() {
    loaded();
    ++winsock.cleanups;
    if (winsock.started == 0) return kWsaNotInitialised;
    --winsock.started;
    return 0;
  };
}

GetHostNameFunction FakeNetworkArea::BindGetHostName(Handle library) {
  auto loaded = Binding(system_, library, "gethostname");
  if (!loaded) return {};
  return [&winsock = system_.winsock,
          loaded = *loaded](int bufferLength) -> std::optional<std::string> {
    loaded();
    winsock.hostNameBufferLengths.push_back(bufferLength);
    if (winsock.started == 0 || !winsock.hostName) return std::nullopt;
    // The name and its terminating zero must fit.
    if (static_cast<int>(winsock.hostName->size()) >= bufferLength) return std::nullopt;
    return winsock.hostName;
  };
}

GetHostByNameFunction FakeNetworkArea::BindGetHostByName(Handle library) {
  auto loaded = Binding(system_, library, "gethostbyname");
  if (!loaded) return {};
  return [&winsock = system_.winsock, loaded = *loaded](
             const std::string& name) -> std::optional<std::vector<std::vector<std::uint8_t>>> {
    loaded();
    winsock.resolvedNames.push_back(name);
    if (winsock.started == 0) return std::nullopt;
    const auto it = winsock.hosts.find(name);
    if (it == winsock.hosts.end()) return std::nullopt;
    return it->second;
  };
}

}  // namespace platform::fake
