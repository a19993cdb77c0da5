// Windows Sockets of the fake platform: what WS2_32.DLL answers, and what
// the program asked of it. The library itself is loadable when "WS2_32.DLL"
// is among the fake's loadable libraries.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace platform::fake {

// Socket errors the fake answers.
inline constexpr int kWsaVersionNotSupported = 10092;  // WSAVERNOTSUPPORTED
inline constexpr int kWsaNotInitialised = 10093;       // WSANOTINITIALISED
inline constexpr int kWsaFault = 10014;                // WSAEFAULT

struct FakeWinsock {
  // Exports the library lacks: "WSAStartup", "WSACleanup", "gethostname",
  // "gethostbyname".
  std::set<std::string> missingFunctions;
  // Successive WSAStartup calls fail with these errors, in order (0: the
  // call goes ahead); once the queue is empty the calls go ahead. A failed
  // call fills nothing.
  std::deque<int> startupErrors;
  // The highest version the library offers (major in the low byte). A
  // request with major version 0 fails with WSAVERNOTSUPPORTED but still
  // reports this version.
  std::uint16_t highVersion = 0x0202;
  // The machine's name; nothing makes gethostname fail.
  std::optional<std::string> hostName = "QRT-TEST";
  // The names gethostbyname resolves, with their addresses in order.
  std::map<std::string, std::vector<std::vector<std::uint8_t>>> hosts = {
      {"QRT-TEST", {{10, 1, 2, 3}, {10, 1, 2, 4}}}};

  // What the program did. gethostname and gethostbyname fail unless a
  // WSAStartup has succeeded and not yet been cleaned up.
  std::vector<std::uint16_t> startupRequests;
  int cleanups = 0;
  int started = 0;
  std::vector<int> hostNameBufferLengths;
  std::vector<std::string> resolvedNames;
};

}  // namespace platform::fake
