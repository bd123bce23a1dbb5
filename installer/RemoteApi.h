// Remote API stand-in: the two calls the installer makes to learn whether a handheld
// is connected and reachable. The handheld is the storage folder named in the desktop
// hive (see DesktopLink.h). No Qt.
#pragma once

#include <cstdint>

namespace orvane::rapi {

using DWORD = uint32_t;
using HRESULT = int32_t;

constexpr HRESULT kOk = 0;
constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005);         // E_FAIL
constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005);  // E_ACCESSDENIED

// Non-zero (an id stable for the folder) when the handheld's storage folder is
// registered and present; zero when no handheld is connected.
DWORD CeGetDeviceId();
// Zero when the connection is set up: the storage folder can be written (checked by
// creating and removing a probe file). Non-zero otherwise.
HRESULT CeRapiInit();

}  // namespace orvane::rapi
