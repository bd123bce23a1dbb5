// A client's end of a port service: what a Session holds in place of a line when the
// port it opens is served (see PortService.h). Commands go to the service and the
// service's events come back as the events of a session (rows begun and ended, bytes
// written and read with their times, a hang-up), told to a sink, so the session's
// observers see what they would see on the line itself.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/Exchange.h"
#include "engine/LineSettings.h"
#include "engine/Row.h"

namespace orvane {
class SessionObserver;
}

namespace orvane::service {

class JsonObject;

struct LinkOptions {
  bool readOnly = false;    // sees every client's rows, sends nothing
  bool replay = true;       // takes the rows the service kept from before
  bool keepReplies = true;  // exchange rows keep their bytes (OnRead has them anyway)
  // The environment's ORVANE_PORTD when not set: "auto" starts a service for a port
  // that has none, "off" never uses one.
  std::string mode;
};

class ServiceLink {
 public:
  using Wait = Exchange::Wait;

  ~ServiceLink();

  // Attaches to the service of port |name|. Null with |*error| 0 when no service holds
  // the port (and none is to be started); null with an errno value and |reason| when
  // one was there or was started but attaching failed. |baud| 0 asks for no baud rate:
  // none is then started (EINVAL). Input on |stopFd| (-1: none) cancels the wait
  // (ECANCELED).
  static std::unique_ptr<ServiceLink> Attach(std::string_view name, uint32_t baud, const LineSettings& settings,
                                             const LinkOptions& options, int stopFd, int* error, std::string* reason);

  // Where the events go: the session's observers.
  void SetSink(SessionObserver* sink) { sink_ = sink; }

  int Descriptor() const { return fd_; }
  // The service's baud rate (it may differ from the one asked for; see SettingsWarning).
  uint32_t Baud() const { return baud_; }
  // The service holds the port at another baud rate or other settings than asked for:
  // a sentence saying both; empty otherwise (and when no baud rate was asked for).
  const std::string& SettingsWarning() const { return settingsWarning_; }
  // Clients attached to the service, this one included.
  int Clients() const { return clients_; }
  bool ReadOnly() const { return options_.readOnly; }
  // The service or the line has gone: nothing more comes.
  bool Ended() const { return ended_; }
  // Why, for a person.
  const std::string& EndReason() const { return endReason_; }

  // Asks the service to run |typed| framed by |framing|; false when read-only, ended
  // or an exchange of this client's is in flight.
  bool Send(std::u16string_view typed, const Framing& framing);
  bool Busy() const { return busy_; }
  // Ends this client's exchange now; waits (briefly) for the service to end it.
  void Stop();
  // Has the service send a break of |ms| between exchanges, in this client's turn, and
  // waits for it: 0 or an errno value, as Line::SendBreak.
  int SendBreak(uint32_t ms);
  // Sends and takes what can be done now; kNothing once the service or line is gone.
  Wait Advance();
  // Ends this client's exchange and the row of unsolicited data it has open, and
  // leaves the service.
  void Close();

  // Waits up to |ms| for the service's next events and handles them (tests, tools).
  bool Pump(int ms);

 private:
  ServiceLink() = default;
  bool Write(const std::string& message);
  bool Receive();
  void Handle(const std::string& line);
  void HandleRow(const JsonObject& json, bool replay);
  void End(int error, const std::string& reason);

  struct Open;
  int fd_ = -1;
  LinkOptions options_;
  SessionObserver* sink_ = nullptr;
  uint32_t baud_ = 0;
  int clients_ = 0;
  bool busy_ = false;
  bool ended_ = false;
  int64_t nextId_ = 1;
  int64_t id_ = 0;  // of this client's exchange in flight
  int64_t breakId_ = 0;  // of the break asked for, until its answer
  int breakError_ = 0;
  std::string in_;
  std::string out_;
  std::unique_ptr<Open> exchange_;
  std::unique_ptr<Open> unsolicited_;
  std::string endReason_;
  std::string settingsWarning_;
};

// Starts `orvane-portd` for |name| in the background (a session of its own, so it
// outlives the caller) and waits until it listens. 0, or an errno value with the
// service's reason. The program is ORVANE_PORTD_PROGRAM when set, else orvane-portd
// beside the running program, else the one on PATH.
int StartService(std::string_view name, uint32_t baud, const LineSettings& settings, int stopFd, std::string* reason);

}  // namespace orvane::service
