// Open failures explained: a device the user's groups do not reach, a device another
// program holds. A pty stands in for the device in both.
#include "platform/OpenFailure.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "engine/SerialLine.h"
#include "tests/support/PtyPair.h"
#include "tests/support/Unprivileged.h"

extern char** environ;

namespace orvane {
namespace {

using testing::PtyPair;

TEST(OpenFailureTest, PermissionDeniedNamesTheGroupAndHowToJoinIt) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  const group* dialout = getgrnam("dialout");
  if (geteuid() != 0 || dialout == nullptr) GTEST_SKIP() << "needs root and a dialout group";
  ASSERT_EQ(chown(pty.path().c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(chmod(pty.path().c_str(), 0660), 0);

  // As a user outside the group, the real open is refused and the text says what to do.
  const int result = testing::AsUnprivilegedUser([&] {
    SerialLine line;
    const int error = line.Open(pty.path16(), 115200);
    if (error != EACCES) return 1;
    const std::string text = ExplainOpenFailure(pty.path(), error);
    if (text.find("belongs to group 'dialout'") == std::string::npos) return 2;
    if (text.find("sudo usermod -aG dialout $USER") == std::string::npos) return 3;
    return 0;
  });
  EXPECT_EQ(result, 0);
}

TEST(OpenFailureTest, BusyNamesTheProgramThatHoldsThePort) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  // flock(1) holds the device locked, as a second terminal program would; the program
  // it starts has the device open too, but without the lock it is not in the way. It
  // says when it holds the lock.
  const std::string path = pty.path();
  const char* argv[] = {"flock", path.c_str(), "sh", "-c", "echo locked; exec sleep 600", nullptr};
  int said[2];
  ASSERT_EQ(pipe2(said, O_CLOEXEC), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, said[1], 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t holder = 0;
  const int spawned = posix_spawnp(&holder, "flock", &actions, &attributes,
                                   const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(said[1]);
  if (spawned != 0) {
    close(said[0]);
    GTEST_SKIP() << "flock(1) is not installed";
  }
  char word[16] = {};
  ASSERT_TRUE(PtyPair::WaitReadable(said[0], 10000));
  ASSERT_GT(read(said[0], word, sizeof word - 1), 0);
  close(said[0]);
  EXPECT_STREQ(word, "locked\n");

  SerialLine line;
  const int error = line.Open(pty.path16(), 115200);
  ASSERT_EQ(error, EBUSY);
  const std::string text = ExplainOpenFailure(path, error);
  EXPECT_NE(text.find("is held by flock (pid " + std::to_string(holder) + ")."), std::string::npos)
      << text;
  EXPECT_NE(text.find("Close it"), std::string::npos) << text;
  // This process has the device open too (the pty's keeper), but is never named.
  for (const PortHolder& h : FindPortHolders(path)) EXPECT_NE(h.pid, getpid());

  kill(-holder, SIGKILL);
  waitpid(holder, nullptr, 0);
}

// A process that holds a pseudo-terminal's master as well as its slave is the device's
// other end (a simulator); one that holds the slave alone is another reader.
TEST(OpenFailureTest, APtysOtherEndIsToldFromAnotherReader) {
  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t device = fork();
  if (device == 0) {
    close(pty.master());  // not this one's other end
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) _exit(1);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    const std::string name = ptsname(master);
    if (slave < 0 || write(ready[1], name.c_str(), name.size()) < 0) _exit(1);
    // Also a reader of the test's own pty, beside its keeper.
    if (open(pty.path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK) < 0) _exit(1);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char name[64] = {};
  ASSERT_TRUE(PtyPair::WaitReadable(ready[0], 10000));
  ASSERT_GT(read(ready[0], name, sizeof name - 1), 0);
  close(ready[0]);
  const std::vector<PortHolder> own = FindPortHolders(name);
  const std::vector<PortHolder> other = FindPortHolders(pty.path());
  kill(device, SIGKILL);
  waitpid(device, nullptr, 0);
  ASSERT_EQ(own.size(), 1u);
  EXPECT_EQ(own[0].pid, device);
  EXPECT_TRUE(own[0].otherEnd);
  ASSERT_EQ(other.size(), 1u);
  EXPECT_EQ(other[0].pid, device);
  EXPECT_FALSE(other[0].otherEnd);
}

TEST(OpenFailureTest, OtherFailuresCarryTheSystemsReason) {
  EXPECT_EQ(ExplainOpenFailure("/dev/orvane-no-such-port", ENOENT),
            "No such file or directory: there is no device /dev/orvane-no-such-port (is it plugged in?).");
  EXPECT_EQ(ExplainOpenFailure("COM3:", EIO), "Input/output error: /dev/ttyS2.");
}

}  // namespace
}  // namespace orvane
