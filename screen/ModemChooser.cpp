#include "screen/ModemChooser.h"

#include <QComboBox>
#include <QFileInfo>
#include <QSignalBlocker>

#include <algorithm>

#include "engine/RemotePorts.h"
#include "resources/OrvanePortIds.h"
#include "screen/DeviceWatch.h"
#include "ui/Template.h"
#include "ui/TemplateHost.h"

using namespace orvane::port_ids;

ModemChooser::ModemChooser(orvane::reg::Hive& hive, ui::TemplateHost& host, QString& portText)
    : hive_(hive), host_(host), portText_(portText) {
  Read();
}

ModemChooser::~ModemChooser() = default;

void ModemChooser::Read() {
  listings_ = orvane::ListModemPorts(hive_, kListingCapacity);
}

bool ModemChooser::Fill(const std::optional<std::u16string>& deviceName) {
  auto* combo = host_.Control<QComboBox>(IDC_MODEM);
  if (!combo) return false;
  combo->clear();
  for (int i = 0; i < ListingCount(); ++i)
    ui::AddComboItem(combo, QString::fromStdU16String(listings_[static_cast<size_t>(i)].displayName), i);
  ui::AddComboItem(combo, QStringLiteral("<Not Listed>"), kNotListed);
  // The gone device, while it is not back.
  if (!gone_.deviceName.empty() && !Offers(gone_.deviceName)) {
    ui::AddComboItem(combo, QString::fromStdU16String(gone_.displayName) + QStringLiteral(" (gone)"), kGone);
    if (deviceName == gone_.deviceName) {
      combo->setCurrentIndex(combo->findData(kGone));
      return true;
    }
  }
  if (deviceName) {
    if (deviceName->empty()) {
      combo->setCurrentIndex(combo->findData(kNotListed));
      return true;
    }
    for (int i = 0; i < ListingCount(); ++i) {
      if (listings_[static_cast<size_t>(i)].deviceName == *deviceName) {
        combo->setCurrentIndex(combo->findData(i));
        return true;
      }
    }
  }
  // "<Not Listed>" sorts first: position 1 is the first device.
  combo->setCurrentIndex(ListingCount() != 0 && combo->count() > 1 ? 1 : 0);
  return false;
}

void ModemChooser::Select() {
  host_.ReadControls();
  auto* combo = host_.Control<QComboBox>(IDC_MODEM);
  const int index = combo && combo->currentIndex() >= 0 ? combo->currentData().toInt() : kNotListed;
  if (index == kGone && !gone_.deviceName.empty()) {
    portText_ = QString::fromStdU16String(gone_.deviceName);
    host_.Enable(IDC_PORT, false);
    host_.ShowMembers();
    return;
  }
  const bool same = index >= 0 && index < ListingCount() &&
                    listings_[static_cast<size_t>(index)].deviceName == gone_.deviceName;
  if (!gone_.deviceName.empty() && combo && !same) {
    // Another choice: the gone device leaves the list.
    gone_ = {};
    const QSignalBlocker quiet(combo);
    combo->removeItem(combo->findData(kGone));
  }
  if (index == kNotListed || index < 0 || index >= ListingCount()) {
    portText_.clear();
    host_.Enable(IDC_PORT, true);
  } else {
    portText_ = QString::fromStdU16String(listings_[static_cast<size_t>(index)].deviceName);
    host_.Enable(IDC_PORT, false);
  }
  host_.ShowMembers();
}

bool ModemChooser::Offers(const std::u16string& deviceName) const {
  return std::any_of(listings_.begin(), listings_.end(),
                     [&](const orvane::PortListing& l) { return l.deviceName == deviceName; });
}

void ModemChooser::MarkGone() {
  const int index = ChosenIndex();
  // A port typed under "<Not Listed>" stays there by itself.
  if (index >= 0 && index < ListingCount()) gone_ = listings_[static_cast<size_t>(index)];
}

int ModemChooser::ChosenIndex() const {
  const auto* combo = host_.Control<QComboBox>(IDC_MODEM);
  return combo && combo->currentIndex() >= 0 ? combo->currentData().toInt() : kNotListed;
}

bool ModemChooser::GoneIsBack() const {
  const int index = ChosenIndex();
  return !gone_.deviceName.empty() && index >= 0 && index < ListingCount() &&
         listings_[static_cast<size_t>(index)].deviceName == gone_.deviceName;
}

bool ModemChooser::Typed() const { return ChosenIndex() == kNotListed; }

bool ModemChooser::Choose(const QString& device) {
  // A by-id link and the node it points at are one device.
  const QString real = QFileInfo(device).canonicalFilePath();
  std::optional<std::u16string> offered;
  for (const orvane::PortListing& listing : listings_) {
    const QString name = QString::fromStdU16String(listing.deviceName);
    if (name == device || (!real.isEmpty() && QFileInfo(name).canonicalFilePath() == real)) {
      offered = listing.deviceName;
      break;
    }
  }
  Fill(offered.value_or(std::u16string()));
  Select();
  if (offered) return true;
  portText_ = device;
  host_.ShowMembers();
  return false;
}

void ModemChooser::Refresh() {
  host_.ReadControls();
  auto* combo = host_.Control<QComboBox>(IDC_MODEM);
  std::optional<std::u16string> chosen;
  if (combo && combo->currentIndex() >= 0) {
    const int index = combo->currentData().toInt();
    // "<Not Listed>" is a choice once there was something else to choose or a port was
    // typed there; with an empty list the first device to come is taken.
    if (index == kGone) chosen = gone_.deviceName;
    else if (index == kNotListed && (ListingCount() > 0 || !portText_.isEmpty())) chosen = std::u16string();
    else if (index >= 0 && index < ListingCount()) chosen = listings_[static_cast<size_t>(index)].deviceName;
  }
  if (watch_) orvane::RefreshDriverTable(hive_, table_);
  Read();
  const bool kept = Fill(chosen);
  host_.ShowMembers();
  // "<Not Listed>" keeps the port typed there.
  if (!(kept && chosen && chosen->empty())) Select();
}

bool ModemChooser::Follow(const orvane::DeviceMonitorOptions& monitor,
                          const orvane::DeviceTableOptions& table, std::function<void()> changed) {
  table_ = table;
  watch_ = std::make_unique<DeviceWatch>(monitor, std::move(changed));
  if (!watch_->Active()) {
    watch_.reset();
    return false;
  }
  return true;
}
