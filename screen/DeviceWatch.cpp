#include "screen/DeviceWatch.h"

DeviceWatch::DeviceWatch(const orvane::DeviceMonitorOptions& options, std::function<void()> changed,
                         QObject* parent)
    : QObject(parent), changed_(std::move(changed)) {
  monitor_ = orvane::DeviceMonitor::Open(options, &problem_);
  settle_.setSingleShot(true);
  settle_.setInterval(kSettleMs);
  connect(&settle_, &QTimer::timeout, this, [this] {
    if (changed_) changed_();
  });
  if (!monitor_) return;
  notifier_ = new QSocketNotifier(monitor_->Descriptor(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { OnReadable(); });
}

DeviceWatch::~DeviceWatch() {
  // The notifier goes before the descriptor it watches.
  delete notifier_;
  notifier_ = nullptr;
}

void DeviceWatch::OnReadable() {
  // The spell is not restarted by later notices: a device that keeps changing is still
  // reported kSettleMs after its first notice.
  if (monitor_->TakeChanges() && !settle_.isActive()) settle_.start();
}
