#include "screen/IdleReader.h"

#include "engine/Exchange.h"

IdleReader::IdleReader(QObject* parent) : QObject(parent) {
  silence_.setSingleShot(true);
  silence_.setTimerType(Qt::PreciseTimer);
  connect(&silence_, &QTimer::timeout, this, [this] {
    if (!Watching()) return;
    assembler_.Idle(orvane::SteadyTickMs());
    Deliver();
  });
}

IdleReader::~IdleReader() = default;

void IdleReader::Watch(orvane::Line& line, RowReady ready, std::function<void()> gone) {
  if (Watching()) Stop(orvane::UnsolicitedEnd::kClosed);
  if (!line.IsOpen() || line.Descriptor() < 0) return;
  line_ = &line;
  ready_ = std::move(ready);
  gone_ = std::move(gone);
  readable_ = new QSocketNotifier(line.Descriptor(), QSocketNotifier::Read, this);
  connect(readable_, &QSocketNotifier::activated, this, [this] { Read(); });
  // Bytes that came between the end of a reply and now are taken at once.
  Read();
}

void IdleReader::Stop(orvane::UnsolicitedEnd why) {
  if (!Watching()) return;
  if (line_->IsOpen()) orvane::ReadUnsolicited(*line_, assembler_);
  assembler_.Flush(why, orvane::SteadyTickMs());
  RowReady ready = std::move(ready_);
  std::vector<orvane::UnsolicitedRow> rows = assembler_.TakeFinished();
  Disarm();
  if (ready)
    for (orvane::UnsolicitedRow& row : rows) ready(std::move(row));
}

void IdleReader::Read() {
  if (!Watching()) return;
  if (orvane::ReadUnsolicited(*line_, assembler_) < 0) {
    // The device went away: its row has ended, and a hung-up descriptor would wake
    // the notifier without end.
    RowReady ready = std::move(ready_);
    std::function<void()> gone = std::move(gone_);
    std::vector<orvane::UnsolicitedRow> rows = assembler_.TakeFinished();
    Disarm();
    if (ready)
      for (orvane::UnsolicitedRow& row : rows) ready(std::move(row));
    if (gone) gone();
    return;
  }
  Deliver();
}

void IdleReader::Deliver() {
  for (orvane::UnsolicitedRow& row : assembler_.TakeFinished())
    if (ready_) ready_(std::move(row));
  if (!Watching()) return;
  const int due = assembler_.MsUntilSilenceEnds(orvane::SteadyTickMs());
  if (due < 0) silence_.stop();
  else silence_.start(due);
}

void IdleReader::Disarm() {
  silence_.stop();
  if (readable_) {
    readable_->setEnabled(false);
    readable_->deleteLater();
    readable_ = nullptr;
  }
  line_ = nullptr;
  ready_ = nullptr;
  gone_ = nullptr;
}
