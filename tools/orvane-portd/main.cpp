// orvane-portd: share one port among many clients.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <iostream>

#include "tools/orvane-portd/Portd.h"

namespace {

int stopPipe[2] = {-1, -1};

void OnSignal(int) {
  const int saved = errno;
  [[maybe_unused]] ssize_t n = write(stopPipe[1], "x", 1);
  errno = saved;
}

void SayReady(int fd, const std::string& text) {
  if (fd < 0) return;
  const std::string line = text + "\n";
  [[maybe_unused]] ssize_t n = write(fd, line.data(), line.size());
  close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  using namespace orvane::portd;
  Options options;
  std::string error;
  if (!ParseArguments(argc, argv, &options, &error)) {
    std::cerr << "orvane-portd: " << error << "\nTry 'orvane-portd --help'.\n";
    return kExitUsage;
  }
  if (options.help) {
    std::cout << HelpText();
    return kExitOk;
  }
  if (options.version) {
    std::cout << "orvane-portd 1.0\n";
    return kExitOk;
  }
  if (options.readyFd >= 0 && fcntl(options.readyFd, F_SETFD, FD_CLOEXEC) != 0) options.readyFd = -1;

  const auto observers = SessionObservers(options);
  orvane::service::PortService service(options.service);
  for (const auto& observer : observers) service.AddObserver(observer.get());

  if (service.Start(&error) != 0) {
    std::cerr << "orvane-portd: " << options.service.name << ": " << error << '\n';
    SayReady(options.readyFd, error);
    return kExitOpenFailed;
  }
  if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
  }
  std::cerr << "orvane-portd: serving " << options.service.name << " on " << service.SocketPath() << '\n';
  SayReady(options.readyFd, "ready");
  switch (service.Run(stopPipe[0])) {
    case orvane::service::PortService::End::kHangup:
      std::cerr << "orvane-portd: " << options.service.name << " hung up\n";
      return kExitHangup;
    case orvane::service::PortService::End::kFailed:
      std::cerr << "orvane-portd: waiting failed\n";
      return kExitFailure;
    default:
      return kExitOk;
  }
}
