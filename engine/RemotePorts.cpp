#include "engine/RemotePorts.h"

#include <cstdint>

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

// Up to |capacity| remote ports with a "Name" value, in the hive's order; the keys are
// read only until that many are found.
std::vector<RemotePort> ReadRemotePorts(Hive& hive, size_t capacity) {
  std::vector<RemotePort> ports;
  // Seen whole: a port saved or deleted meanwhile is either listed right or not at all.
  Hive::Transaction reading(hive, Hive::Transaction::For::kReading);
  ScopedKey root(hive, kLocalMachine, kRemotePortsKey, false);
  if (!root.ok() || capacity == 0) return ports;
  hive.ForEachSubkey(root.get(), [&](std::u16string_view portName) {
    if (portName.size() > kMaxName) return true;  // not one that was saved here
    ScopedKey port(hive, root.get(), portName, false);
    std::u16string url;
    if (!port.ok() || hive.QueryString(port.get(), u"Name", &url) != kSuccess) return true;
    while (!url.empty() && url.back() == u'\0') url.pop_back();
    if (url.empty()) return true;
    ports.push_back({std::u16string(portName), std::move(url)});
    return ports.size() < capacity;
  });
  return ports;
}

}  // namespace

std::vector<RemotePort> LoadRemotePorts(Hive& hive) { return ReadRemotePorts(hive, SIZE_MAX); }

std::vector<PortListing> ListRemotePorts(Hive& hive, size_t capacity) {
  std::vector<PortListing> listings;
  for (RemotePort& port : ReadRemotePorts(hive, capacity))
    listings.push_back({std::move(port.name), std::move(port.url)});
  return listings;
}

std::vector<PortListing> ListModemPorts(Hive& hive, size_t capacity) {
  std::vector<PortListing> listings = ListActivePorts(hive, capacity);
  for (PortListing& remote : ListRemotePorts(hive, capacity - listings.size())) listings.push_back(std::move(remote));
  return listings;
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
