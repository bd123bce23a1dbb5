// The line settings of each port, kept in the hive: a key per port below
// HKLM\Software\Orvane\Orvane Port Linewright\LineSettings, named by the port's name as the
// user opens it (a device path, "COMn:" or a remote port's URL) with '%' and '\' written as
// "%25" and "%5C", holding 32-bit values DataBits (5-8), Parity (0 none, 1 even, 2 odd,
// 3 mark, 4 space), StopBits (1, 2), FlowControl (0 none, 1 RTS/CTS, 2 XON/XOFF), Dtr and
// Rts (0 off, 1 on). A port without a key has the defaults (LineSettings{}); a value that
// is missing, of another size or out of range leaves its field at the default.
#pragma once

#include <string>
#include <string_view>

#include "engine/LineSettings.h"
#include "platform/Registry.h"

namespace orvane {

inline constexpr std::u16string_view kLineSettingsKey =
    u"Software\\Orvane\\Orvane Port Linewright\\LineSettings";

// The key name below kLineSettingsKey for |port|; empty when none can hold it (an empty
// name, or one too long for a key).
std::u16string LineSettingsKeyName(std::u16string_view port);

LineSettings LoadLineSettings(reg::Hive& hive, std::u16string_view port);
// False when |settings| are not Valid(), the port cannot be named in the hive, or the
// hive could not be written.
bool SaveLineSettings(reg::Hive& hive, std::u16string_view port, const LineSettings& settings);

}  // namespace orvane
