#include "platform/SafeWrite.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace orvane::files {
namespace {

constexpr int kMaxLinkHops = 40;  // as many as the kernel follows

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now and reports what close said (a delayed write error shows up here).
  int Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd >= 0 && ::close(fd) != 0 ? errno : 0;
  }

 private:
  int fd_;
};

std::string DirName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows a chain of symbolic links from |path| to the name the file really has, so the
// new file is put beside the target and the links survive. ELOOP when the chain does not
// end.
int FinalName(const std::string& path, std::string* finalName) {
  std::string p = path;
  for (int hops = 0; hops <= kMaxLinkHops; ++hops) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      *finalName = p;
      return 0;
    }
    char target[PATH_MAX];
    const ssize_t n = ::readlink(p.c_str(), target, sizeof target - 1);
    if (n < 0) return errno;
    const std::string t(target, static_cast<size_t>(n));
    p = !t.empty() && t[0] == '/' ? t : DirName(p) + "/" + t;
  }
  return ELOOP;
}

mode_t CurrentUmask() {
  // Read and put back at once: there is no call that only reads it.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// A device or a pipe has no old content to keep and must not be replaced by a regular
// file: it is written where it is. A pipe nobody reads fails at once instead of waiting.
int WriteSpecial(const std::string& path, const Producer& produce) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  const int e = produce(fd.get());
  const int closed = fd.Close();
  return e ? e : closed;
}

// The replacement through a new file cannot be made here (the folder may not be written
// to, or it refuses the new name), but the file itself may be written: it is overwritten
// where it stands. Its old content is then at risk: a failure part way (a full disk, a
// crash) leaves the file holding part of the new text, or the new text over the old.
int WriteInPlace(int fd, const Producer& produce) {
  if (::lseek(fd, 0, SEEK_SET) != 0) return errno;
  if (const int e = produce(fd)) return e;
  const off_t end = ::lseek(fd, 0, SEEK_CUR);
  if (end < 0 || ::ftruncate(fd, end) != 0) return errno;
  return ::fsync(fd) == 0 ? 0 : errno;
}

// Failures of making or renaming the new file after which writing in place is worth it.
bool CannotReplace(int e) { return e == EACCES || e == EPERM || e == ENAMETOOLONG || e == EBUSY || e == EXDEV; }

}  // namespace

int WriteAll(int fd, const char* data, size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(fd, data, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return ENOSPC;  // no progress: a full device rather than a spin
    data += n;
    length -= static_cast<size_t>(n);
  }
  return 0;
}

int CreateTemporaryBeside(int dirFd, const std::string& name, int* fd, std::string* tempName) {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  constexpr size_t kRandom = 6;
  long room = ::fpathconf(dirFd, _PC_NAME_MAX);
  if (room <= 0) room = NAME_MAX;
  std::string stem = name;
  const size_t added = 2 + kRandom;  // the leading dot, the dot before the letters
  if (stem.size() + added > static_cast<size_t>(room))
    stem.resize(static_cast<size_t>(room) > added ? static_cast<size_t>(room) - added : 0);
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned char bytes[kRandom];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return errno ? errno : EIO;
    std::string candidate = "." + stem + ".";
    for (unsigned char b : bytes) candidate.push_back(kLetters[b % (sizeof kLetters - 1)]);
    const int made = ::openat(dirFd, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (made >= 0) {
      *fd = made;
      *tempName = std::move(candidate);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int WriteFileSafely(const std::string& path, const Producer& produce, bool* inPlace) {
  if (inPlace) *inPlace = false;
  if (path.empty()) return ENOENT;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return EISDIR;
    if (!S_ISREG(st.st_mode)) return WriteSpecial(path, produce);
  } else if (errno != ENOENT) {
    return errno;  // a loop of links, a folder on the way that may not be searched, ...
  }

  std::string finalName;
  if (const int e = FinalName(path, &finalName)) return e;
  const std::string base = BaseName(finalName);
  if (base.empty()) return EISDIR;  // "dir/" names no file
  Fd dir(::open(DirName(finalName).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return errno;

  // An existing file keeps its permission bits; a new one gets what creating it directly
  // would have given.
  mode_t mode = 0666 & ~CurrentUmask();
  struct stat existing {};
  Fd old;  // the existing file, open for writing
  if (::fstatat(dir.get(), base.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(existing.st_mode)) return EISDIR;
    if (S_ISLNK(existing.st_mode)) return EAGAIN;  // made a link since it was followed
    if (!S_ISREG(existing.st_mode)) return WriteSpecial(finalName, produce);
    // Replacing the file by renaming would get past its write protection: a file the
    // user may not write to is refused, as opening it for writing would be. Opening
    // without truncating leaves its content as it is.
    old.Reset(::openat(dir.get(), base.c_str(), O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
    if (old.get() < 0) return errno;
    mode = existing.st_mode & 07777;
  } else if (errno != ENOENT) {
    return errno;
  }
  auto inPlaceInstead = [&] {
    if (inPlace) *inPlace = true;
    return WriteInPlace(old.get(), produce);
  };

  int tempFd = -1;
  std::string temp;
  if (const int e = CreateTemporaryBeside(dir.get(), base, &tempFd, &temp)) {
    return old.get() >= 0 && CannotReplace(e) ? inPlaceInstead() : e;
  }
  Fd fd(tempFd);
  auto fail = [&](int e) {
    fd.Reset();
    ::unlinkat(dir.get(), temp.c_str(), 0);
    return e;
  };
  if (const int e = produce(fd.get())) return fail(e);
  if (old.get() >= 0 && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())) {
    // Allowed to root, or for a group of ours; otherwise the new file keeps our ids.
    [[maybe_unused]] const int owned = ::fchown(fd.get(), existing.st_uid, existing.st_gid);
  }
  if (::fchmod(fd.get(), mode) != 0) return fail(errno);
  if (::fsync(fd.get()) != 0) return fail(errno);
  if (const int e = fd.Close()) return fail(e);
  if (::renameat(dir.get(), temp.c_str(), dir.get(), base.c_str()) != 0) {
    const int e = fail(errno);
    return old.get() >= 0 && CannotReplace(e) ? inPlaceInstead() : e;
  }
  // Make the rename itself durable; the file is complete whatever this returns.
  ::fsync(dir.get());
  return 0;
}

}  // namespace orvane::files
