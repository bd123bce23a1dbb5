// Real servers for network-line tests, on a free 127.0.0.1 (or ::1) port: ser2net in
// front of a pty, and a socat TCP listener. Each runs as a child process until Stop()
// or the end of the object; Start() returns once the port accepts connections, or fails
// within its bound.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace orvane::testing {

// A port on the loopback address that nothing listens on right now.
inline int FreeLoopbackPort(bool ipv6 = false) {
  const int fd = socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int port = -1;
  if (ipv6) {
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
      port = ntohs(a.sin6_port);
  } else {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
      port = ntohs(a.sin_port);
  }
  close(fd);
  return port;
}

// True when a socket listens on |port| (IPv4 or IPv6), read from /proc/net: no
// connection is made, so a server that opens its device per connection is not woken.
inline bool IsListening(int port) {
  char hex[8];
  std::snprintf(hex, sizeof hex, ":%04X", port);
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string slot, local, remote, state;
      fields >> slot >> local >> remote >> state;
      if (state == "0A" && local.size() > 5 && local.compare(local.size() - 5, 5, hex) == 0) return true;
    }
  }
  return false;
}

// A child process serving a TCP port.
class ServerProcess {
 public:
  ServerProcess() = default;
  ~ServerProcess() { Stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Runs |argv| with its output in |logPath| and waits up to |boundMs| for |port| to
  // listen. False (with the child stopped) when it does not.
  bool Start(const std::vector<std::string>& argv, int port, const std::string& logPath,
             int boundMs = 10000) {
    Stop();
    port_ = port;
    logPath_ = logPath;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int r = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (r != 0) {
      pid_ = -1;
      return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (std::chrono::steady_clock::now() < deadline) {
      if (IsListening(port)) return true;
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
      }
      // The child's start is not an event this process can wait on.
      usleep(10000);
    }
    Stop();
    return false;
  }

  // Ends the server (SIGTERM, then SIGKILL after a bound) and waits for it.
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (WaitExit(3000)) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // Waits up to |boundMs| for the server to end by itself: its process descriptor
  // becomes readable when it does.
  bool WaitExit(int boundMs = 10000) {
    if (pid_ <= 0) return true;
    const int process = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    pollfd ended{process, POLLIN, 0};
    if (process >= 0) {
      poll(&ended, 1, boundMs);
      close(process);
    }
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
    return pid_ <= 0;
  }
  bool Running() const { return pid_ > 0; }
  int port() const { return port_; }
  std::string Log() const {
    std::ifstream in(logPath_);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  pid_t pid_ = -1;
  int port_ = -1;
  std::string logPath_;
};

// A folder under the temporary directory, removed with what it holds.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (getenv("TMPDIR") ? std::string(getenv("TMPDIR")) : "/tmp") + "/orvane-net-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// ser2net serving the tty |devicePath| with RFC 2217 (or raw when |telnet| is false) on
// a free 127.0.0.1 port, from a YAML file of its own.
class Ser2net {
 public:
  // |options|: YAML lines for the connection's "options:" map, e.g. "chardelay: false".
  bool Start(const std::string& devicePath, bool telnet = true, const std::string& options = "") {
    for (int attempt = 0; attempt < 3; ++attempt) {
      port_ = FreeLoopbackPort();
      if (port_ <= 0) continue;
      const std::string config = folder_.path() + "/ser2net.yaml";
      std::ofstream(config) << "connection: &c1\n"
                            << "  accepter: " << (telnet ? "telnet(rfc2217)," : "") << "tcp,127.0.0.1,"
                            << port_ << "\n"
                            << "  connector: serialdev," << devicePath << ",115200n81,local\n";
      if (!options.empty()) std::ofstream(config, std::ios::app) << "  options:\n    " << options << "\n";
      // -n: stay in the foreground; -d: log to standard output; -u: no UUCP lock files.
      if (process_.Start({"ser2net", "-n", "-d", "-u", "-c", config}, port_, folder_.path() + "/ser2net.log"))
        return true;
    }
    return false;
  }
  void Stop() { process_.Stop(); }
  int port() const { return port_; }
  std::string Url(const char* scheme = "rfc2217") const {
    return std::string(scheme) + "://127.0.0.1:" + std::to_string(port_);
  }
  std::string Log() const { return process_.Log(); }

 private:
  TempFolder folder_;
  ServerProcess process_;
  int port_ = -1;
};

}  // namespace orvane::testing
