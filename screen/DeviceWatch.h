// Follows plugging for the main screen: the platform's device monitor in Qt's event loop.
// A socket notifier wakes it when the monitor has notices; the first notice starts a short
// settling spell, and everything noticed during it is reported as one change when it ends,
// well within a second. Nothing runs while nothing changes.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "platform/DeviceMonitor.h"

class DeviceWatch : public QObject {
 public:
  static constexpr int kSettleMs = 150;

  // Starts watching; |changed| runs once per settled change. Problem() says why nothing is
  // watched when the monitor could not be opened.
  DeviceWatch(const orvane::DeviceMonitorOptions& options, std::function<void()> changed,
              QObject* parent = nullptr);
  ~DeviceWatch() override;

  bool Active() const { return monitor_ != nullptr; }
  const std::string& Problem() const { return problem_; }

 private:
  void OnReadable();

  std::unique_ptr<orvane::DeviceMonitor> monitor_;
  QSocketNotifier* notifier_ = nullptr;
  QTimer settle_;
  std::function<void()> changed_;
  std::string problem_;
};
