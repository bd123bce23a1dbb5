// The main screen's modem list (IDC_MODEM) and the port field it fills (IDC_PORT): the
// devices the hive's driver table offers and the named remote ports, then
// "<Not Listed>", under which a port is typed by name. Following plugging, the list is
// filled again at every change the device monitor notices, keeping the choice while it
// is still offered.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/PortDiscovery.h"
#include "platform/DeviceMonitor.h"
#include "platform/DeviceTable.h"

namespace orvane::reg {
class Hive;
}
namespace ui {
class TemplateHost;
}
class DeviceWatch;

class ModemChooser {
 public:
  static constexpr int kNotListed = 9999;
  static constexpr int kGone = 9998;  // the chosen device, gone since (MarkGone)
  static constexpr size_t kListingCapacity = 100;

  // Reads the listings from |hive| at once. |portText| is the screen's bound member of
  // the port field.
  ModemChooser(orvane::reg::Hive& hive, ui::TemplateHost& host, QString& portText);
  ~ModemChooser();

  int ListingCount() const { return static_cast<int>(listings_.size()); }
  bool Following() const { return watch_ != nullptr; }

  // Fills the list from the listings and selects |deviceName| when offered (an empty
  // name: "<Not Listed>"), else the first device. False when it was not offered.
  bool Fill(const std::optional<std::u16string>& deviceName);
  // Chooses |device| as the user would: the list's entry for it when offered (its
  // device name, or the same device by another path), else "<Not Listed>" with
  // |device| typed in the port field. True when the list offered it.
  bool Choose(const QString& device);
  // The chosen device has gone: it stays in the list, marked "(gone)", and chosen, its
  // name in the port field, until the user picks another or it comes back.
  void MarkGone();
  // The device marked gone is offered again and still chosen.
  bool GoneIsBack() const;
  // "<Not Listed>" is chosen: the port field holds a typed port.
  bool Typed() const;
  // The choice was made: a listed device's name goes into the port field, which is
  // then read-only; "<Not Listed>" empties the field for typing.
  void Select();
  // Reads the listings afresh (after refreshing the driver table when following) and
  // fills the list, keeping the choice, or "<Not Listed>" and the typed port, when still
  // offered.
  void Refresh();
  // Follows plugging: |changed| runs once per settled change. False, and nothing
  // followed, when nothing can be watched.
  bool Follow(const orvane::DeviceMonitorOptions& monitor, const orvane::DeviceTableOptions& table,
              std::function<void()> changed);

 private:
  void Read();
  bool Offers(const std::u16string& deviceName) const;
  int ChosenIndex() const;  // the chosen entry's data: a listing's index, kNotListed or kGone

  orvane::reg::Hive& hive_;
  ui::TemplateHost& host_;
  QString& portText_;
  std::vector<orvane::PortListing> listings_;
  orvane::PortListing gone_;  // deviceName empty: none
  std::unique_ptr<DeviceWatch> watch_;
  orvane::DeviceTableOptions table_;
};
