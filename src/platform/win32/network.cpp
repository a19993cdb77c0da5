// The Win32 network: the functions of WS2_32.DLL that the program binds by
// name at run time. The program does not link the library: it loads it when
// it needs it and may find it missing.

// Types and declarations only: nothing here links WS2_32.DLL.
#include <winsock2.h>
#include "platform/win32/areas.h"
#include "platform/win32/binding.h"

namespace platform::win32 {
namespace {

using WsaStartupProc = int(WSAAPI*)(WORD, LPWSADATA);
using WsaCleanupProc = int(WSAAPI*)();
using GetHostNameProc = int(WSAAPI*)(char*, int);
using GetHostByNameProc = hostent*(WSAAPI*)(const char*);

class Win32Network final : public Network {
 public:
  WsaStartupFunction BindWsaStartup(Handle library) override {
    const auto proc = BindFunction<WsaStartupProc>(library, "WSAStartup");
    if (proc == nullptr) return {};
    return [proc](std::uint16_t requested) {
      WSADATA data{};
      const int error = proc(requested, &data);
      return WsaStartupResult{error, data.wVersion, data.wHighVersion};
    };
  }

  WsaCleanupFunction BindWsaCleanup(Handle library) override {
    const auto proc = BindFunction<WsaCleanupProc>(library, "WSACleanup");
    if (proc == nullptr) return {};
    return [proc]() { return proc(); };
  }

  GetHostNameFunction BindGetHostName(Handle library) override {
    const auto proc = BindFunction<GetHostNameProc>(library, "gethostname");
    if (proc == nullptr) return {};
    return [proc](int bufferLength) -> std::optional<std::string> {
      if (bufferLength <= 0) return std::nullopt;
      // One byte more than the call may fill, so that the name always ends.
      std::string buffer(static_cast<std::size_t>(bufferLength) + 1, '\0');
      if (proc(buffer.data(), bufferLength) != 0) return std::nullopt;
      return std::string(buffer.c_str());
    };
  }

  GetHostByNameFunction BindGetHostByName(Handle library) override {
    const auto proc = BindFunction<GetHostByNameProc>(library, "gethostbyname");
    if (proc == nullptr) return {};
    return
        [proc](const std::string& name) -> std::optional<std::vector<std::vector<std::uint8_t>>> {
          const hostent* entry = proc(name.c_str());
          if (entry == nullptr) return std::nullopt;
          std::vector<std::vector<std::uint8_t>> addresses;
          const int length = entry->h_length > 0 ? entry->h_length : 0;
          for (char** address = entry->h_addr_list; address != nullptr && *address != nullptr;
               ++address) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(*address);
            addresses.emplace_back(bytes, bytes + length);
          }
          return addresses;
        };
  }
};

}  // namespace

std::unique_ptr<Network> MakeNetwork() { return std::make_unique<Win32Network>(); }

}  // namespace platform::win32
