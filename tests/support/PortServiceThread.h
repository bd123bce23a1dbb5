// A port service (engine/service/PortService.h) serving a port on a thread of its own,
// with a runtime folder of its own in XDG_RUNTIME_DIR while it lives (the folder may be
// entered by others, so that only the service's own folder keeps them out). Stopped,
// joined and cleaned up at the end of the object, which gives XDG_RUNTIME_DIR back.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "engine/service/PortService.h"

namespace orvane::testing {

class PortServiceThread {
 public:
  using End = service::PortService::End;

  explicit PortServiceThread(service::PortServiceOptions options) {
    runtime_ = std::filesystem::temp_directory_path() / ("orvane-portd-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(runtime_);
    ::chmod(runtime_.c_str(), 0755);
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    hadRuntime_ = old != nullptr;
    if (old) oldRuntime_ = old;
    setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    service_ = std::make_unique<service::PortService>(std::move(options));
    if (service_->Start(&error_) != 0 || pipe2(stop_, O_CLOEXEC) != 0) return;
    runner_ = std::thread([this] { end_ = service_->Run(stop_[0]); });
  }
  ~PortServiceThread() {
    Stop();
    for (int fd : stop_)
      if (fd >= 0) close(fd);
    service_.reset();
    if (hadRuntime_)
      setenv("XDG_RUNTIME_DIR", oldRuntime_.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(runtime_, ignored);
  }
  PortServiceThread(const PortServiceThread&) = delete;
  PortServiceThread& operator=(const PortServiceThread&) = delete;

  // False (with the reason in error()) when the service did not start.
  bool ok() const { return runner_.joinable(); }
  const std::string& error() const { return error_; }
  const std::filesystem::path& runtime() const { return runtime_; }

  // Stops the service and waits for it; how it ended.
  End Stop() {
    if (runner_.joinable()) {
      [[maybe_unused]] ssize_t n = write(stop_[1], "x", 1);
      runner_.join();
    }
    return end_;
  }

 private:
  std::filesystem::path runtime_;
  std::string oldRuntime_;
  bool hadRuntime_ = false;
  std::unique_ptr<service::PortService> service_;
  std::string error_;
  int stop_[2] = {-1, -1};
  std::thread runner_;
  End end_ = End::kFailed;
};

}  // namespace orvane::testing
