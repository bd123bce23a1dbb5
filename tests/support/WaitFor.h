// Waits on what the system tells, for the tests: a file gone from its folder, a
// descriptor ready. Each gives up at its deadline, a guard against a hang only.
#pragma once

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace orvane::testing {

// True once |path| does not exist; false when it still does after |timeoutMs|.
inline bool WaitUntilGone(const std::filesystem::path& path, int timeoutMs) {
  const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (watch < 0) return !std::filesystem::exists(path);
  inotify_add_watch(watch, path.parent_path().c_str(), IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF);
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool gone = false;
  while (!(gone = !std::filesystem::exists(path))) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd p{watch, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) > 0) {
      char events[4096];
      while (read(watch, events, sizeof events) > 0) {
      }
    }
  }
  close(watch);
  return gone;
}

// True when |fd| has |events| (POLLIN, POLLOUT) within |timeoutMs|.
inline bool WaitReady(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  return poll(&p, 1, timeoutMs) > 0;
}

}  // namespace orvane::testing
