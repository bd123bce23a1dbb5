// The port service: one session on one port, shared by the clients that connect to its
// Unix socket (see PortProtocol.h for where, and the README for the protocol).
//
// Commands from all clients are queued and run one at a time, taking turns between the
// clients; a reply goes only to the client that sent the command (and to read-only
// clients, which see every row). What the device says by itself goes to every client.
// The rows that ended last (about ringBytes of them) are kept and given to a client that
// attaches. A client that leaves in the middle of its exchange does not end it: the reply
// is read to its end. Each client's output waits in a bounded queue: a client that does
// not read is dropped once it holds more than clientOutputBytes, and one that sends
// faster than its commands run is no longer read while clientQueue of them wait.
//
// Run() drives everything in poll(); it returns once no client has been connected for
// lingerMs, the device hangs up, or input arrives on the stop descriptor.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "engine/Session.h"
#include "engine/service/JsonLine.h"

namespace orvane::service {

struct PortServiceOptions {
  std::string name;  // the port as the programs name it
  uint32_t baud = 0;
  LineSettings settings;
  int64_t lingerMs = 10000;  // -1: stay without clients
  size_t ringBytes = size_t{1} << 20;
  size_t clientOutputBytes = size_t{8} << 20;
  size_t clientQueue = 256;
  std::string socketPath;  // empty: SocketPathFor(name)
};

class PortService : private SessionObserver {
 public:
  enum class End { kIdle, kStopped, kHangup, kFailed };

  explicit PortService(PortServiceOptions options);
  ~PortService() override;
  PortService(const PortService&) = delete;
  PortService& operator=(const PortService&) = delete;

  // More observers of the session besides the clients (the journal): told every event,
  // in the order added, before the clients are.
  void AddObserver(SessionObserver* observer);

  // Opens the port and listens on its socket. 0, or an errno value with |reason|
  // (EADDRINUSE: another service holds the port).
  int Start(std::string* reason);
  // Serves until an end (see above); the line is closed and the socket removed.
  End Run(int stopFd = -1);

  const std::string& SocketPath() const { return path_; }
  Session& GetSession() { return session_; }

 private:
  struct Client;
  struct Pending;
  struct OpenRow;

  // Session events.
  void OnRowBegun(const Row& row) override;
  void OnWritten(std::span<const uint8_t> bytes, int64_t atUs) override;
  void OnRead(std::span<const uint8_t> bytes, int64_t atUs, RowKind kind) override;
  void OnRowEnded(const Row& row) override;
  void OnHangup(int error) override;

  void Accept();
  void ReadFrom(Client& client);
  // Handles the complete lines |client| has sent, while its queue has room.
  void TakeLines(Client& client);
  void Handle(Client& client, const std::string& line);
  void Attach(Client& client, bool readOnly, bool stream, bool replay);
  void Queue(Client& client, const JsonObject& json);
  void StopExchange(Client& client, int64_t id);
  // Starts the next waiting command; false when none waits.
  bool StartNext();
  std::string Status() const;

  // Sends |message| to |client|, or drops the client when it has not read what waits.
  void Deliver(Client& client, const std::string& message, bool urgent = true);
  // Whether a row of |kind| owned by client |owner| goes to |client|.
  bool Hears(const Client& client, RowKind kind, uint64_t owner) const;
  template <typename Make>
  void Tell(RowKind kind, Make make);
  void Broadcast(const std::string& message);
  void Flush(Client& client);
  void Drop(Client& client, const std::string& why);
  void Reap();
  size_t Attached() const;
  void CountChanged();
  void FlushAll(int withinMs);
  void Shutdown();

  PortServiceOptions options_;
  Session session_;
  std::string path_;
  int listenFd_ = -1;
  dev_t socketDevice_ = 0;
  ino_t socketInode_ = 0;

  std::vector<std::unique_ptr<Client>> clients_;
  uint64_t nextNumber_ = 1;
  size_t turn_ = 0;     // where the next look for a waiting command starts
  uint64_t owner_ = 0;  // client of the exchange in flight (0: none)
  int64_t ownerId_ = 0;
  std::unique_ptr<OpenRow> openExchange_;
  std::unique_ptr<OpenRow> openUnsolicited_;
  std::deque<Row> ring_;
  size_t ringSize_ = 0;
  bool hungUp_ = false;
  std::string hangupReason_;
  int64_t idleSinceMs_ = 0;
  size_t lastCount_ = 0;
};

}  // namespace orvane::service
