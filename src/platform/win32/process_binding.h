// The process, module, token and stream functions of the Win32 backend:
// Tool Help and the Process Status Helper bound by name at run time and
// wrapped as the platform's callables, and the plain calls beside them.
#pragma once

#include <string_view>

#include "platform/system.h"

namespace platform::win32 {

CreateToolhelp32SnapshotFunction BindCreateToolhelp32SnapshotIn(Handle library);
ProcessWalkAnsiFunction BindProcessWalkAnsiIn(Handle library, std::string_view exportName);
ProcessWalkWideFunction BindProcessWalkWideIn(Handle library, std::string_view exportName);
ModuleWalkAnsiFunction BindModuleWalkAnsiIn(Handle library, std::string_view exportName);
ModuleWalkWideFunction BindModuleWalkWideIn(Handle library, std::string_view exportName);
EnumProcessesFunction BindEnumProcessesIn(Handle library);
EnumProcessModulesFunction BindEnumProcessModulesIn(Handle library);
ModuleNameFunction BindModuleNameIn(Handle library, std::string_view exportName);
GetModuleInformationFunction BindGetModuleInformationIn(Handle library);
BackupReadFunction BindBackupReadIn(Handle module);
BackupSeekFunction BindBackupSeekIn(Handle module);

Handle OpenProcessWith(std::uint32_t access, std::uint32_t processId);
Handle OpenOwnProcessToken(std::uint32_t access);
std::optional<std::uint64_t> LookupPrivilege(std::u16string_view name);
AdjustPrivilegesResult AdjustPrivilege(Handle token, std::uint64_t privilege,
                                       std::uint32_t attributes);
Handle ModuleHandleOf(std::u16string_view name);

}  // namespace platform::win32
