// A device for the main screen's tests: a pseudo-terminal whose master side answers each
// command (bytes followed by a short quiet spell) with the next scripted reply. The
// screen opens the slave path like any serial device.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace screen_test {

class FakeModem {
 public:
  FakeModem() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    char name[128] = {};
    if (ptsname_r(master_, name, sizeof name) != 0) return;
    path_ = name;
    // One slave descriptor stays open so the master never sees a hang-up between opens;
    // raw mode so nothing is echoed back.
    keeper_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    if (keeper_ >= 0 && tcgetattr(keeper_, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(keeper_, TCSANOW, &t);
    }
    thread_ = std::thread([this] { Run(); });
  }
  ~FakeModem() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (keeper_ >= 0) close(keeper_);
    if (master_ >= 0) close(master_);
  }
  FakeModem(const FakeModem&) = delete;
  FakeModem& operator=(const FakeModem&) = delete;

  bool ok() const { return master_ >= 0 && keeper_ >= 0 && !path_.empty(); }
  const std::string& path() const { return path_; }

  // The reply to the next command that has none yet (empty: the command gets no reply).
  void QueueReply(const std::string& reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.push_back(reply);
  }
  // Every command received, in order.
  std::vector<std::string> Commands() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
  }
  // Set once a reply has been written in full.
  std::atomic<int> repliesWritten{0};

  // The device goes away: the line's writes fail from now on.
  void Unplug() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (keeper_ >= 0) close(keeper_);
    keeper_ = -1;
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  void Run() {
    std::string pending;
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      const int ready = poll(&p, 1, pending.empty() ? 20 : 30);
      if (ready == 1 && (p.revents & POLLIN)) {
        char buf[512];
        const ssize_t n = read(master_, buf, sizeof buf);
        if (n > 0) pending.append(buf, static_cast<size_t>(n));
        continue;
      }
      if (pending.empty()) continue;
      // A quiet spell after some bytes: that was one command.
      std::string reply;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.push_back(pending);
        if (!replies_.empty()) {
          reply = replies_.front();
          replies_.pop_front();
        }
      }
      pending.clear();
      size_t done = 0;
      while (done < reply.size()) {
        const ssize_t n = write(master_, reply.data() + done, reply.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      if (!reply.empty()) ++repliesWritten;
    }
  }

  int master_ = -1;
  int keeper_ = -1;
  std::string path_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::deque<std::string> replies_;
  std::vector<std::string> commands_;
};

}  // namespace screen_test
