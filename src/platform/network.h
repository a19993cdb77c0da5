// Windows Sockets (WS2_32.DLL, bound at run time).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace platform {

// WSAStartup's answer: its result (0 on success) and the wVersion and
// wHighVersion of the WSADATA it filled (0 where it filled nothing).
struct WsaStartupResult {
  int error = 0;
  std::uint16_t version = 0;
  std::uint16_t highVersion = 0;
};
// WSAStartup (requested version: major in the low byte, minor in the high).
using WsaStartupFunction = std::function<WsaStartupResult(std::uint16_t requestedVersion)>;
// WSACleanup: 0 on success, else the socket error.
using WsaCleanupFunction = std::function<int()>;
// gethostname into a buffer of `bufferLength` bytes: the name (8-bit text up
// to its terminating zero), or nothing when the call fails.
using GetHostNameFunction = std::function<std::optional<std::string>(int bufferLength)>;
// gethostbyname: the addresses of the entry in list order (each as its
// h_length bytes), or nothing when no entry comes back.
using GetHostByNameFunction =
    std::function<std::optional<std::vector<std::vector<std::uint8_t>>>(const std::string& name)>;

class Network {
 public:
  virtual ~Network() = default;

  // GetProcAddress of "WSAStartup", "WSACleanup", "gethostname" and
  // "gethostbyname" in `library` (a handle of LoadLibraryAnsi or
  // LoadLibraryWide): the callable, or an empty function when the library
  // lacks it. A callable is valid while the library stays loaded.
  virtual WsaStartupFunction BindWsaStartup(Handle library) = 0;
  virtual WsaCleanupFunction BindWsaCleanup(Handle library) = 0;
  virtual GetHostNameFunction BindGetHostName(Handle library) = 0;
  virtual GetHostByNameFunction BindGetHostByName(Handle library) = 0;
};

}  // namespace platform
