// A program run by a test: its standard input and output are pipes of the test's.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace orvane::testing {

// Runs |argv| with |input| on standard input; collects standard output and the exit
// status.
struct Process {
  pid_t pid = -1;
  int in = -1;
  int out = -1;

  bool Start(const std::vector<std::string>& argv) {
    int toChild[2];
    int fromChild[2];
    if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(toChild[0]);
    close(fromChild[1]);
    in = toChild[1];
    out = fromChild[0];
    return rc == 0;
  }
  // One line of output; what there is when none comes within 20 s.
  std::string ReadLine() {
    std::string line;
    char c;
    pollfd p{out, POLLIN, 0};
    while (poll(&p, 1, 20000) == 1 && read(out, &c, 1) == 1 && c != '\n') line.push_back(c);
    return line;
  }
  void Write(const std::string& text) {
    [[maybe_unused]] ssize_t n = write(in, text.data(), text.size());
  }
  std::string ReadAll() {
    std::string all;
    char buf[4096];
    ssize_t n;
    while ((n = read(out, buf, sizeof buf)) > 0) all.append(buf, static_cast<size_t>(n));
    return all;
  }
  void CloseInput() {
    if (in >= 0) close(in);
    in = -1;
  }
  int Wait() {
    CloseInput();
    int status = 0;
    waitpid(pid, &status, 0);
    if (out >= 0) close(out);
    out = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
};

}  // namespace orvane::testing
