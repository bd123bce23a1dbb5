// Drives the engine's session inside Qt's event loop: one socket notifier for each way
// the line's descriptor can become ready, and one timer for the session's deadline.
// Nothing waits or polls; window events are handled as usual while a reply is awaited,
// and a quiet open line with no row pending wakes nothing.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "engine/Session.h"

class QSocketNotifier;

class SessionDriver : public QObject {
 public:
  explicit SessionDriver(orvane::Session& session, QObject* parent = nullptr);
  ~SessionDriver() override;

  // Advances the session now and waits for what it asks for next. Call it after
  // anything that changes what the session waits for: an open, a send, a stop, a close.
  void Step();
  // Runs after every step, once the session has been advanced: the screen looks at what
  // changed (an exchange ended, the device hung up). It may drive the session.
  std::function<void()> stepped;

 private:
  void Release();

  orvane::Session& session_;
  int fd_ = -1;
  // Children of the driver; let go with deleteLater, since one of them may be the
  // sender whose signal is being handled.
  QSocketNotifier* readable_ = nullptr;
  QSocketNotifier* writable_ = nullptr;
  QTimer deadline_;
  bool stepping_ = false;
};
