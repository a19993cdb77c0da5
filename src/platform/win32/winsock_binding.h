// The functions of WS2_32.DLL that the program binds by name at run time,
// wrapped as the platform's callables. The program does not link the
// library: it loads it when it needs it and may find it missing.
#pragma once

#include "platform/system.h"

namespace platform::win32 {

WsaStartupFunction BindWsaStartupIn(Handle library);
WsaCleanupFunction BindWsaCleanupIn(Handle library);
GetHostNameFunction BindGetHostNameIn(Handle library);
GetHostByNameFunction BindGetHostByNameIn(Handle library);

}  // namespace platform::win32
