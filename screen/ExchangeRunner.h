// Runs one exchange inside Qt's event loop: a socket notifier wakes it when the line
// can be read or written, a timer when its deadline comes. Nothing waits or polls, and
// window events are handled as usual while the reply is awaited.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>
#include <string_view>

#include "engine/Exchange.h"

class ExchangeRunner : public QObject {
 public:
  using Finished = std::function<void(orvane::ExchangeResult)>;

  explicit ExchangeRunner(QObject* parent = nullptr);
  ~ExchangeRunner() override;

  // Starts an exchange on |line|; |finished| receives its result when it ends (from
  // within Start itself when it ends at once, e.g. a write that fails).
  void Start(orvane::Line& line, std::u16string_view command, const orvane::Framing& framing,
             orvane::ExchangeOptions options, Finished finished);
  bool Running() const { return exchange_ != nullptr; }
  // Ends the running exchange now; its result is delivered before Stop returns.
  void Stop();

 private:
  void Step();
  void Deliver();

  std::unique_ptr<orvane::Exchange> exchange_;
  // Children of the runner; let go with deleteLater, since one of them may be the
  // sender whose signal is being handled.
  QSocketNotifier* readable_ = nullptr;
  QSocketNotifier* writable_ = nullptr;
  QTimer deadline_;
  Finished finished_;
};
