// Starting the application manager: its command line, and a start-and-wait that takes
// the program path whole (never split at blanks, never handed to a shell). No Qt.
#pragma once

#include <string>
#include <vector>

namespace orvane::installer {

// The package description, relative to the installer's current directory.
inline constexpr char kPackageDescription[] = ".\\OrvanePortCmd.ini";

// The application manager's command line: the path as read (unquoted), a blank, and
// the package description in double quotes.
std::string BuildCommandLine(const std::string& appManagerPath);

// The arguments that follow |program| at the start of |commandLine|: separated by
// blanks, a double-quoted stretch kept together without its quotes.
std::vector<std::string> ArgumentsAfter(const std::string& commandLine, const std::string& program);

struct ProcessResult {
  bool started = false;
  int startError = 0;  // errno when it could not be started
  bool exitedNormally = false;
  int exitCode = 0;
  int signal = 0;  // the signal that ended it, when it did not exit normally
  bool Succeeded() const { return started && exitedNormally && exitCode == 0; }
};

// Starts |program| with |arguments| in the caller's environment and current folder,
// with nothing open but the standard streams, and waits for it without limit.
ProcessResult RunAndWait(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace orvane::installer
