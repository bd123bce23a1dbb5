// linewright: send commands over a serial line and print each reply.
#include <signal.h>

#include <iostream>

#include "tools/linewright/Linewright.h"

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  orvane::linewright::Options options;
  std::string error;
  if (!orvane::linewright::ParseArguments(argc, argv, &options, &error)) {
    std::cerr << "linewright: " << error << "\nTry 'linewright --help'.\n";
    return orvane::linewright::kExitUsage;
  }
  if (options.help) {
    std::cout << orvane::linewright::HelpText();
    return 0;
  }
  if (options.version) {
    std::cout << "linewright 1.0\n";
    return 0;
  }
  return orvane::linewright::Run(options, std::cin, std::cout, std::cerr);
}
