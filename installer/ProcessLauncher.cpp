#include "installer/ProcessLauncher.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace orvane::installer {

std::string BuildCommandLine(const std::string& appManagerPath) {
  return appManagerPath + " \"" + kPackageDescription + "\"";
}

std::vector<std::string> ArgumentsAfter(const std::string& commandLine, const std::string& program) {
  std::vector<std::string> arguments;
  if (commandLine.compare(0, program.size(), program) != 0) return arguments;
  size_t i = program.size();
  while (i < commandLine.size()) {
    while (i < commandLine.size() && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
    if (i >= commandLine.size()) break;
    std::string argument;
    bool quoted = false;
    for (; i < commandLine.size(); ++i) {
      const char c = commandLine[i];
      if (c == '"') {
        quoted = !quoted;
      } else if (!quoted && (c == ' ' || c == '\t')) {
        break;
      } else {
        argument += c;
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

ProcessResult RunAndWait(const std::string& program, const std::vector<std::string>& arguments) {
  ProcessResult result;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);  // no inherited handles
  pid_t pid = -1;
  // posix_spawn (not posix_spawnp): the path is used as it is, and a file that is not
  // a program fails to start instead of being run by a shell.
  const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    result.startError = rc;
    return result;
  }
  result.started = true;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      // The child cannot be waited for (someone else reaped it): it has ended.
      result.exitedNormally = false;
      return result;
    }
  }
  if (WIFEXITED(status)) {
    result.exitedNormally = true;
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

}  // namespace orvane::installer
