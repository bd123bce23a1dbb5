#include "engine/RemotePorts.h"

#include "platform/Registry.h"

namespace orvane {
namespace {

using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

constexpr size_t kMaxName = 255;  // a key name's limit in the hive

bool IsDigits(std::u16string_view s) {
  if (s.empty()) return false;
  for (char16_t c : s)
    if (c < u'0' || c > u'9') return false;
  return true;
}

}  // namespace

std::vector<RemotePort> LoadRemotePorts(Hive& hive) {
  std::vector<RemotePort> ports;
  ScopedKey root(hive, kLocalMachine, kRemotePortsKey, false);
  if (!root.ok()) return ports;
  char16_t name[kMaxName + 1];
  for (uint32_t index = 0;; ++index) {
    uint32_t room = kMaxName + 1;
    const reg::Status s = hive.EnumKey(root.get(), index, name, &room);
    if (s == reg::kMoreData) continue;
    if (s != kSuccess) break;
    const std::u16string portName(name, room);
    ScopedKey port(hive, root.get(), portName, false);
    std::u16string url;
    if (!port.ok() || hive.QueryString(port.get(), u"Name", &url) != kSuccess) continue;
    while (!url.empty() && url.back() == u'\0') url.pop_back();
    if (url.empty()) continue;
    ports.push_back({portName, url});
  }
  return ports;
}

int ListRemotePorts(Hive& hive, PortListing* listings, int capacity) {
  int count = 0;
  for (RemotePort& port : LoadRemotePorts(hive)) {
    if (!listings || count >= capacity) break;
    listings[count].displayName = std::move(port.name);
    listings[count].deviceName = std::move(port.url);
    ++count;
  }
  return count;
}

int ListModemPorts(Hive& hive, PortListing* listings, int capacity) {
  const int local = ListActivePorts(hive, listings, capacity);
  return local + ListRemotePorts(hive, listings + local, capacity - local);
}

std::string CheckRemotePortUrl(std::u16string_view url) {
  const std::string form = "a remote port is rfc2217://HOST:PORT or tcp://HOST:PORT";
  std::u16string_view rest;
  for (std::u16string_view scheme : {std::u16string_view(u"rfc2217://"), std::u16string_view(u"tcp://")})
    if (url.substr(0, scheme.size()) == scheme) rest = url.substr(scheme.size());
  if (rest.empty()) return form;
  std::u16string_view host;
  std::u16string_view port;
  if (rest.front() == u'[') {  // [IPv6]:PORT
    const size_t close = rest.find(u']');
    if (close == std::u16string_view::npos || close + 1 >= rest.size() || rest[close + 1] != u':')
      return form + " (an IPv6 address in brackets)";
    host = rest.substr(1, close - 1);
    port = rest.substr(close + 2);
  } else {
    const size_t colon = rest.rfind(u':');
    if (colon == std::u16string_view::npos) return form + ": the PORT is missing";
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (host.find(u':') != std::u16string_view::npos) return form + " (an IPv6 address in brackets)";
  }
  if (host.empty()) return form + ": the HOST is missing";
  for (char16_t c : host)
    if (c <= u' ' || c == u'/' || c == u'\\' || c == u'@' || c >= 0x7F) return form + ": the HOST is not a host name";
  if (!IsDigits(port) || port.size() > 5) return form + ": the PORT is not a number";
  const unsigned long number = std::stoul(std::string(port.begin(), port.end()));
  if (number < 1 || number > 65535) return form + ": the PORT is 1 to 65535";
  return {};
}

std::string CheckRemotePortName(std::u16string_view name) {
  if (name.empty()) return "a remote port needs a name";
  if (name.size() > kMaxName) return "a remote port's name has at most 255 characters";
  if (name.find(u'\\') != std::u16string_view::npos) return "a remote port's name cannot hold a backslash";
  return {};
}

bool SaveRemotePort(Hive& hive, const RemotePort& port, std::string* error) {
  std::string problem = CheckRemotePortName(port.name);
  if (problem.empty()) problem = CheckRemotePortUrl(port.url);
  if (!problem.empty()) {
    if (error) *error = problem;
    return false;
  }
  Hive::Transaction tx(hive);
  ScopedKey key(hive, kLocalMachine, std::u16string(kRemotePortsKey) + u"\\" + port.name);
  if (!tx.Active() || !key.ok() || hive.SetString(key.get(), u"Name", port.url) != kSuccess ||
      tx.Commit() != kSuccess) {
    if (error) *error = "the remote port could not be saved";
    return false;
  }
  return true;
}

bool DeleteRemotePort(Hive& hive, std::u16string_view name) {
  if (!CheckRemotePortName(name).empty()) return false;
  ScopedKey root(hive, kLocalMachine, kRemotePortsKey, false);
  return root.ok() && hive.DeleteKey(root.get(), name) == kSuccess;
}

}  // namespace orvane
