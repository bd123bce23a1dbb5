// Runs a check in a child process as an unprivileged user, so that a file or folder the
// test has write-protected is refused even when the tests run as root.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace orvane::testing {

// The user the child becomes when the tests run as root ("nobody").
constexpr uid_t kUnprivilegedId = 65534;

// Runs |body| in a child process (as kUnprivilegedId when running as root) and returns its
// result: what |body| returned, 99 when the user could not be changed, -1 when the child
// did not end normally.
inline int AsUnprivilegedUser(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(kUnprivilegedId) != 0 || ::setuid(kUnprivilegedId) != 0)) ::_exit(99);
    ::_exit(body());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace orvane::testing
