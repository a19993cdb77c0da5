#include "platform/win32/winsock_binding.h"

// Types and declarations only: nothing here links WS2_32.DLL.
#include <winsock2.h>
#include "platform/win32/windows_api.h"

namespace platform::win32 {
namespace {

using WsaStartupProc = int(WSAAPI*)(WORD, LPWSADATA);
using WsaCleanupProc = int(WSAAPI*)();
using GetHostNameProc = int(WSAAPI*)(char*, int);
using GetHostByNameProc = hostent*(WSAAPI*)(const char*);

// GetProcAddress typed as `Proc`, or nullptr. The detour through a plain
// function pointer type keeps the compiler from warning about the cast
// between function types.
template <typename Proc>
Proc Lookup(Handle library, const char* name) {
  if (library == 0) return nullptr;
  const FARPROC proc = ::GetProcAddress(FromHandle<HINSTANCE__>(library), name);
  return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace

WsaStartupFunction BindWsaStartupIn(Handle library) {
  const auto proc = Lookup<WsaStartupProc>(library, "WSAStartup");
  if (proc == nullptr) return {};
  return [proc](std::uint16_t requested) {
    WSADATA data{};
    const int error = proc(requested, &data);
    return WsaStartupResult{error, data.wVersion, data.wHighVersion};
  };
}

WsaCleanupFunction BindWsaCleanupIn(Handle library) {
  const auto proc = Lookup<WsaCleanupProc>(library, "WSACleanup");
  if (proc == nullptr) return {};
  return [proc]() { return proc(); };
}

GetHostNameFunction BindGetHostNameIn(Handle library) {
  const auto proc = Lookup<GetHostNameProc>(library, "gethostname");
  if (proc == nullptr) return {};
  return [proc](int bufferLength) -> std::optional<std::string> {
    if (bufferLength <= 0) return std::nullopt;
    // One byte more than the call may fill, so that the name always ends.
    std::string buffer(static_cast<std::size_t>(bufferLength) + 1, '\0');
    if (proc(buffer.data(), bufferLength) != 0) return std::nullopt;
    return std::string(buffer.c_str());
  };
}

GetHostByNameFunction BindGetHostByNameIn(Handle library) {
  const auto proc = Lookup<GetHostByNameProc>(library, "gethostbyname");
  if (proc == nullptr) return {};
  return [proc](const std::string& name) -> std::optional<std::vector<std::vector<std::uint8_t>>> {
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

}  // namespace platform::win32
