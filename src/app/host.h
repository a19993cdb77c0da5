// The host line of the output view: the machine's name and first address,
// asked of Windows Sockets, which the program loads only for this.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/output_view.h"
#include "platform/system.h"

namespace app {

inline constexpr char kWinsockLibrary[] = "WS2_32.DLL";
// The first start-up asks for the version word 0x0100: major version 0 (the
// low byte), minor 1, which no library offers; the call fails but reports the
// highest version, which the second start-up then asks for.
inline constexpr std::uint16_t kFirstWinsockVersion = 0x0100;

struct HostInfo {
  std::string name;                       // 8-bit text as gethostname gives it; empty when unknown
  std::array<std::uint8_t, 4> address{};  // 0.0.0.0 when unknown
};

// Loads WS2_32.DLL and binds gethostbyname, gethostname, WSAStartup and
// WSACleanup; starts Windows Sockets with the version word 0x0100 and again
// with the highest version the first call reported; only when the second start-up
// succeeds: the host name, its entry and the first four bytes of the entry's
// first address. Then one WSACleanup and the library is freed. Whatever is
// missing or fails leaves the name found so far and the address 0.0.0.0.
HostInfo QueryHost(platform::System& system);

// String 17 with the host's name (from the ANSI code page) and address.
std::u16string HostLine(platform::System& system, const HostInfo& host);

// Moves the view's caret to the end, queries the host, and appends a line
// break, the host line and a line break in the view's default format.
// Answers the host information.
HostInfo WriteHostLine(platform::System& system, OutputView& output);

}  // namespace app
