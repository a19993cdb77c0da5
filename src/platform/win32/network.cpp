// The Win32 network: the functions of WS2_32.DLL and NETAPI32.DLL that the
// program binds by name at run time. The program links neither library: it
// loads them when it needs them and may find them missing (Windows 9x has no
// NETAPI32.DLL of this kind).

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
// NET_API_STATUS NET_API_FUNCTION of lmaccess.h and lmapibuf.h.
using NetUserGetInfoProc = DWORD(WINAPI*)(LPCWSTR, LPCWSTR, DWORD, LPBYTE*);
using NetApiBufferFreeProc = DWORD(WINAPI*)(LPVOID);

struct UserInfo1 {  // USER_INFO_1 of lmaccess.h
  LPWSTR name;
  LPWSTR password;
  DWORD passwordAge;
  DWORD privilege;
  LPWSTR homeDirectory;
  LPWSTR comment;
  DWORD flags;
  LPWSTR scriptPath;
};

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

  NetUserGetInfoFunction BindNetUserGetInfo(Handle library) override {
    const auto proc = BindFunction<NetUserGetInfoProc>(library, "NetUserGetInfo");
    if (proc == nullptr) return {};
    return [proc](std::u16string_view server, std::u16string_view user, std::uint32_t level) {
      const std::u16string s(server);
      const std::u16string u(user);
      LPBYTE buffer = nullptr;
      NetUserGetInfoResult result;
      result.status = proc(s.empty() ? nullptr : Wide(s), Wide(u), level, &buffer);
      result.buffer = ToHandle(buffer);
      if (result.status == 0 && level == 1 && buffer != nullptr) {
        result.privilege = reinterpret_cast<const UserInfo1*>(buffer)->privilege;
      }
      return result;
    };
  }

  NetApiBufferFreeFunction BindNetApiBufferFree(Handle library) override {
    const auto proc = BindFunction<NetApiBufferFreeProc>(library, "NetApiBufferFree");
    if (proc == nullptr) return {};
    return [proc](Handle buffer) -> std::uint32_t { return proc(FromHandle<void>(buffer)); };
  }
};

}  // namespace

std::unique_ptr<Network> MakeNetwork() { return std::make_unique<Win32Network>(); }

}  // namespace platform::win32
