// Named remote ports: devices on other machines, reached through a serial server. Each is a
// key below HKLM\Software\Orvane\Orvane Port Linewright\RemotePorts named by the port's
// name, whose "Name" value holds its URL ("rfc2217://HOST:PORT" or "tcp://HOST:PORT"). The
// modem list offers them by name beside the local devices; the line is opened by the URL.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/PortDiscovery.h"

namespace orvane {

inline constexpr std::u16string_view kRemotePortsKey =
    u"Software\\Orvane\\Orvane Port Linewright\\RemotePorts";

struct RemotePort {
  std::u16string name;
  std::u16string url;
};

// Every remote port with a "Name" value, in the order the hive lists the keys.
std::vector<RemotePort> LoadRemotePorts(reg::Hive& hive);

// At most |capacity| remote ports (display name = the port's name, device name = its URL),
// in the order LoadRemotePorts gives them; the hive is read only until that many are found.
std::vector<PortListing> ListRemotePorts(reg::Hive& hive, size_t capacity);

// What the modem list offers: the active devices of the driver table (ListActivePorts),
// then the remote ports, at most |capacity| in all.
std::vector<PortListing> ListModemPorts(reg::Hive& hive, size_t capacity);

// Empty when |url| is "rfc2217://HOST:PORT" or "tcp://HOST:PORT" (an IPv6 address in
// brackets, PORT 1 to 65535); otherwise what is wrong, for the user.
std::string CheckRemotePortUrl(std::u16string_view url);
// Empty when |name| can name a remote port; otherwise what is wrong.
std::string CheckRemotePortName(std::u16string_view name);

// Adds the port, or gives an existing one of that name the new URL. False when the name or
// URL is refused (the reason in |error|) or the hive could not be written.
bool SaveRemotePort(reg::Hive& hive, const RemotePort& port, std::string* error);
// False when there is no such port or the hive could not be written.
bool DeleteRemotePort(reg::Hive& hive, std::u16string_view name);

}  // namespace orvane
