// Linewright > Run Sequence: runs a sequence file on the screen's session, step by step
// in Qt's event loop. The rows it makes reach the response list as every row does (the
// screen's ResponseFeed observes the session); the status shows "Step 3 of 9"; Stop or
// Close ends the run and keeps what arrived; a message at the end says it completed or
// which line failed and why. The files run last are offered again in the menu.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "engine/Exchange.h"
#include "engine/SequenceRunner.h"
#include "preferences/RecentSequenceStore.h"

class QMenu;
class QWidget;
class SessionDriver;

class SequenceRun : public QObject {
 public:
  // Messages and the file dialog open over |owner|.
  SequenceRun(orvane::reg::Hive& hive, orvane::Session& session, SessionDriver& driver, QWidget* owner);
  ~SequenceRun() override;

  bool Running() const { return runner_ != nullptr; }
  // Runs recent file |recent| (0 the newest), or a file the user picks when |recent| is
  // -1, with its commands framed by |framing|. A file that cannot be read or holds a
  // mistake is refused with a message before anything is sent.
  void Run(int recent, const orvane::Framing& framing);
  // Ends the run now: a reply being read ends with what arrived.
  void Stop();
  // The session was advanced (the driver's step): the run goes on as far as it can.
  void Stepped();
  // Gives the recent files' items of |menu| their files' names; items without a file hide.
  void UpdateMenu(QMenu* menu) const;

  // Shows a text in the screen's status field.
  std::function<void(const QString&)> showStatus;
  // The run has ended (the screen's controls are enabled again).
  std::function<void()> ended;

 private:
  void Start(const QString& path, const orvane::Framing& framing);
  void Finish(orvane::SequenceState state);

  orvane::RecentSequenceStore recent_;
  orvane::Session& session_;
  SessionDriver& driver_;
  QWidget* owner_;
  std::unique_ptr<orvane::SequenceRunner> runner_;
  QString name_;       // the file's name, for messages
  size_t steps_ = 0;
  bool advancing_ = false;
  QTimer deadline_;    // a pause, a wait's time-out, the pause before a retry
};
