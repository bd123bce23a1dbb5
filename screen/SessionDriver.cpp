#include "screen/SessionDriver.h"

#include <QSocketNotifier>

SessionDriver::SessionDriver(orvane::Session& session, QObject* parent)
    : QObject(parent), session_(session) {
  deadline_.setSingleShot(true);
  deadline_.setTimerType(Qt::PreciseTimer);
  connect(&deadline_, &QTimer::timeout, this, [this] { Step(); });
}

SessionDriver::~SessionDriver() = default;

void SessionDriver::Step() {
  // A handler run from |stepped| may step again; that step does the work.
  if (stepping_) return;
  stepping_ = true;
  const orvane::Session::Wait wait = session_.Advance();
  const int fd = session_.Descriptor();
  if (wait == orvane::Session::Wait::kNothing || fd < 0) {
    Release();
  } else {
    if (fd != fd_) {
      Release();
      fd_ = fd;
      readable_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
      writable_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
      connect(readable_, &QSocketNotifier::activated, this, [this] { Step(); });
      connect(writable_, &QSocketNotifier::activated, this, [this] { Step(); });
    }
    readable_->setEnabled(wait == orvane::Session::Wait::kReadable);
    writable_->setEnabled(wait == orvane::Session::Wait::kWritable);
    const int ms = session_.MsUntilDeadline();
    if (ms < 0) deadline_.stop();
    else deadline_.start(ms);
  }
  stepping_ = false;
  if (stepped) stepped();
}

void SessionDriver::Release() {
  deadline_.stop();
  fd_ = -1;
  for (QSocketNotifier** notifier : {&readable_, &writable_}) {
    if (*notifier == nullptr) continue;
    (*notifier)->setEnabled(false);
    (*notifier)->deleteLater();
    *notifier = nullptr;
  }
}
