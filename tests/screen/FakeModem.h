// A device for the main screen's tests: a pseudo-terminal whose master side answers each
// command (bytes followed by a short quiet spell) with the next scripted reply. The
// screen opens the slave path like any serial device.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/PtyPair.h"

namespace screen_test {

class FakeModem {
 public:
  FakeModem() {
    if (pty_.ok()) thread_ = std::thread([this] { Run(); });
  }
  ~FakeModem() { Stop(); }
  FakeModem(const FakeModem&) = delete;
  FakeModem& operator=(const FakeModem&) = delete;

  bool ok() const { return pty_.ok(); }
  const std::string& path() const { return pty_.path(); }

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
  // The device speaks unprompted.
  void Say(const std::string& bytes) { pty_.Send(bytes); }
  // Set once a reply has been written in full.
  std::atomic<int> repliesWritten{0};

  // The device goes away: the line's writes fail from now on.
  void Unplug() {
    Stop();
    pty_.Unplug();
  }

 private:
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

  void Run() {
    std::string pending;
    while (!stop_) {
      pollfd p{pty_.master(), POLLIN, 0};
      const int ready = poll(&p, 1, pending.empty() ? 20 : 30);
      if (ready == 1 && (p.revents & POLLIN)) {
        char buf[512];
        const ssize_t n = read(pty_.master(), buf, sizeof buf);
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
      pty_.Send(reply);
      if (!reply.empty()) ++repliesWritten;
    }
  }

  orvane::testing::PtyPair pty_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::deque<std::string> replies_;
  std::vector<std::string> commands_;
};

}  // namespace screen_test
