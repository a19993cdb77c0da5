// The network libraries, bound at run time: Windows Sockets (WS2_32.DLL)
// and network management (NETAPI32.DLL, the NT family only).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
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

// NetUserGetInfo's answer: its status (0, NERR_Success, or a network or
// system error), the buffer it allocated (freed with NetApiBufferFree; 0 when
// none came back), and for level 1 the usri1_priv of that USER_INFO_1 (0
// otherwise).
struct NetUserGetInfoResult {
  std::uint32_t status = 0;
  Handle buffer = 0;
  std::uint32_t privilege = 0;
};
// Privilege levels of USER_INFO_1.
inline constexpr std::uint32_t kUserPrivGuest = 0;
inline constexpr std::uint32_t kUserPrivUser = 1;
inline constexpr std::uint32_t kUserPrivAdmin = 2;
// NetUserGetInfo(server, user, level); an empty `server` is passed as none,
// the local computer.
using NetUserGetInfoFunction = std::function<NetUserGetInfoResult(
    std::u16string_view server, std::u16string_view user, std::uint32_t level)>;
// NetApiBufferFree: its status.
using NetApiBufferFreeFunction = std::function<std::uint32_t(Handle buffer)>;

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

  // GetProcAddress of "NetUserGetInfo" and "NetApiBufferFree" in `library`
  // (a handle of NETAPI32.DLL): the callable, or an empty function when the
  // library lacks it. A callable is valid while the library stays loaded.
  virtual NetUserGetInfoFunction BindNetUserGetInfo(Handle library) = 0;
  virtual NetApiBufferFreeFunction BindNetApiBufferFree(Handle library) = 0;
};

}  // namespace platform
