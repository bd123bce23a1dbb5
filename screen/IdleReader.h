// Reads a line while no command is in flight: whatever the device says unprompted is
// gathered into rows of unsolicited data (engine/UnsolicitedAssembler.h) and handed to
// the screen. A socket notifier on the line's descriptor wakes it when bytes arrive;
// a timer runs only while a row is pending, to end it after the silence. A quiet line
// wakes nothing.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <functional>

#include "engine/Line.h"
#include "engine/UnsolicitedAssembler.h"

class IdleReader : public QObject {
 public:
  using RowReady = std::function<void(orvane::UnsolicitedRow)>;

  explicit IdleReader(QObject* parent = nullptr);
  ~IdleReader() override;

  // Watches |line| (open) until Stop; finished rows go to |ready|, in order. When the
  // device hangs up, its last row is delivered, the watch ends and |gone| is called.
  void Watch(orvane::Line& line, RowReady ready, std::function<void()> gone = nullptr);
  // Reads what is waiting, ends the pending row for |why| and delivers it, then stops
  // watching. Nothing is delivered after it returns.
  void Stop(orvane::UnsolicitedEnd why);
  bool Watching() const { return line_ != nullptr; }
  // Bytes of the row not yet ended.
  size_t PendingLength() const { return assembler_.PendingLength(); }

 private:
  void Read();
  void Deliver();
  void Disarm();

  orvane::Line* line_ = nullptr;
  orvane::UnsolicitedAssembler assembler_;
  QSocketNotifier* readable_ = nullptr;  // a child; let go with deleteLater
  QTimer silence_;
  RowReady ready_;
  std::function<void()> gone_;
};
