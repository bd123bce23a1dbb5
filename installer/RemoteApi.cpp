#include "installer/RemoteApi.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "installer/DesktopLink.h"

namespace orvane::rapi {
namespace {

bool PresentFolder(const std::string& folder, struct stat* st) {
  return !folder.empty() && ::stat(folder.c_str(), st) == 0 && S_ISDIR(st->st_mode);
}

}  // namespace

DWORD CeGetDeviceId() {
  struct stat st;
  if (!PresentFolder(desktop::HandheldFolder(), &st)) return 0;
  // The same folder gives the same id for as long as it exists.
  uint64_t mixed = (static_cast<uint64_t>(st.st_dev) * 0x9E3779B97F4A7C15ull) ^ st.st_ino;
  DWORD id = static_cast<DWORD>(mixed ^ (mixed >> 32));
  return id ? id : 1;
}

HRESULT CeRapiInit() {
  struct stat st;
  const std::string folder = desktop::HandheldFolder();
  if (!PresentFolder(folder, &st)) return kFail;
  // Permission bits say nothing for a privileged user or a read-only mount: try it.
  const std::string probe = folder + "/.orvane-rapi-probe-" + std::to_string(::getpid());
  int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return kAccessDenied;
  ::close(fd);
  ::unlink(probe.c_str());
  return kOk;
}

}  // namespace orvane::rapi
