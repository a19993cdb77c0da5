// The narrow adapters of VERSION's wide functions. The version block that
// GetFileVersionInfoA reads from a 32-bit file holds UTF-16 text: it is read
// by the resource format reader and answered unchanged.
#include <cstring>
#include <span>

#include "platform/resource_formats.h"
#include "platform/win32/text_functions.h"

namespace platform::win32::api::narrow {

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle) {
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<DWORD>(0);
  return ::GetFileVersionInfoSizeA(n.get(), handle);
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, LPVOID data) {
  const NarrowText n(fileName);
  if (!n.ok()) return NoTranslation<BOOL>(FALSE);
  return ::GetFileVersionInfoA(n.get(), handle, length, data);
}

// VerQueryValueW over the block itself: its extent is the root's wLength.
BOOL WINAPI VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length) {
  if (block == nullptr || subBlock == nullptr) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto* base = static_cast<const BYTE*>(block);
  WORD rootLength = 0;
  std::memcpy(&rootLength, base, sizeof rootLength);
  const VersionQueryResult found =
      QueryVersionBlock(std::span(base, rootLength), FromWide(subBlock));
  switch (found.status) {
    case VersionQueryStatus::kInvalidBlock:
      ::SetLastError(ERROR_INVALID_DATA);
      return FALSE;
    case VersionQueryStatus::kNotFound:
      ::SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
      return FALSE;
    case VersionQueryStatus::kFound:
      break;
  }
  if (buffer != nullptr) *buffer = const_cast<BYTE*>(base + found.offset);
  if (length != nullptr) *length = found.valueLength;
  return TRUE;
}

}  // namespace platform::win32::api::narrow
