#include "engine/RemotePorts.h"

#include "engine/NetworkLine.h"
#include "platform/Registry.h"
#include "platform/TextConvert.h"

namespace orvane {
namespace {

using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

constexpr size_t kMaxName = 255;  // a key name's limit in the hive

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
  // The address a network line would open: the same parser decides.
  LineAddress address;
  std::string reason;
  if (ParseLineAddress(Utf16ToUtf8(url), &address, &reason)) return {};
  return "a remote port is rfc2217://HOST:PORT or tcp://HOST:PORT (" + reason + ")";
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
