#include "screen/ExchangeRunner.h"

ExchangeRunner::ExchangeRunner(QObject* parent) : QObject(parent) {
  deadline_.setSingleShot(true);
  deadline_.setTimerType(Qt::PreciseTimer);
  connect(&deadline_, &QTimer::timeout, this, [this] { Step(); });
}

ExchangeRunner::~ExchangeRunner() = default;

void ExchangeRunner::Start(orvane::Line& line, std::u16string_view command,
                           const orvane::Framing& framing, orvane::ExchangeOptions options,
                           Finished finished) {
  if (Running()) Stop();
  finished_ = std::move(finished);
  exchange_ = std::make_unique<orvane::Exchange>(line, command, framing, std::move(options));
  const int fd = line.Descriptor();
  if (fd >= 0) {
    readable_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    writable_ = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(readable_, &QSocketNotifier::activated, this, [this] { Step(); });
    connect(writable_, &QSocketNotifier::activated, this, [this] { Step(); });
  }
  Step();
}

void ExchangeRunner::Stop() {
  if (!Running()) return;
  exchange_->Stop();
  Deliver();
}

void ExchangeRunner::Step() {
  if (!Running()) return;
  const orvane::Exchange::Wait wait = exchange_->Advance();
  if (wait == orvane::Exchange::Wait::kNothing) {
    Deliver();
    return;
  }
  if (readable_) readable_->setEnabled(wait == orvane::Exchange::Wait::kReadable);
  if (writable_) writable_->setEnabled(wait == orvane::Exchange::Wait::kWritable);
  deadline_.start(exchange_->MsUntilDeadline());
}

void ExchangeRunner::Deliver() {
  deadline_.stop();
  for (QSocketNotifier** notifier : {&readable_, &writable_}) {
    if (*notifier == nullptr) continue;
    (*notifier)->setEnabled(false);
    (*notifier)->deleteLater();
    *notifier = nullptr;
  }
  orvane::ExchangeResult result = exchange_->TakeResult();
  exchange_.reset();
  // Taken first: the receiver may start the next exchange.
  Finished finished = std::move(finished_);
  if (finished) finished(std::move(result));
}
