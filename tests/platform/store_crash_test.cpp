// The stores under other processes: a writer killed mid-write and two writers at once.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "entry/model/CommandHistory.h"
#include "platform/Registry.h"
#include "preferences/PreferenceStore.h"
#include "tests/platform/TempHive.h"

namespace orvane {
namespace {

using reg::Hive;

// Runs |body| in a child process that opens its own hive on |path|; the child reports each
// finished round by writing one byte to the returned pipe.
template <typename Body>
pid_t Spawn(const std::string& path, int* readEnd, Body body) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    auto hive = Hive::OpenFile(path);
    int code = hive ? body(*hive, fds[1]) : 3;
    ::_exit(code);
  }
  ::close(fds[1]);
  *readEnd = fds[0];
  return pid;
}

void WaitForRounds(int fd, int rounds) {
  char c;
  for (int i = 0; i < rounds; ++i) ASSERT_EQ(::read(fd, &c, 1), 1) << "the writer stopped early";
}

// Spreads the kills over the writer's rounds (a round takes around a millisecond).
useconds_t KillDelayMicros(int kill) { return static_cast<useconds_t>((kill * 397) % 2500); }

std::u16string Entry(char16_t set, int i) {
  return std::u16string(u"AT+SET") + set + u"=" + std::u16string(1, char16_t(u'A' + i)) +
         std::u16string(200, set);  // long entries make every save take a while
}

TEST(StoreCrash, KilledDuringSaveHistoryLeavesOneWholeList) {
  testing::TempDir dir;
  std::string path = dir.File("h.hive");
  std::vector<std::u16string> listA, listB;
  for (int i = 0; i < 20; ++i) {
    listA.push_back(Entry(u'a', i));
    listB.push_back(Entry(u'b', i));
  }
  {
    auto hive = Hive::OpenFile(path);
    ASSERT_TRUE(CommandHistory(*hive).SaveHistory(listA));
  }
  for (int kill = 0; kill < 12; ++kill) {
    int fd = -1;
    pid_t pid = Spawn(path, &fd, [&](Hive& hive, int out) {
      for (int round = 0;; ++round) {
        if (!CommandHistory(hive).SaveHistory(round % 2 ? listA : listB)) return 4;
        char c = 'x';
        if (::write(out, &c, 1) != 1) return 5;
      }
    });
    ASSERT_GT(pid, 0);
    WaitForRounds(fd, 3 + kill);
    ::usleep(KillDelayMicros(kill));
    ::kill(pid, SIGKILL);
    int status;
    ::waitpid(pid, &status, 0);
    ::close(fd);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself with " << WEXITSTATUS(status);

    auto hive = Hive::OpenFile(path);
    ASSERT_TRUE(hive);
    const std::vector<std::u16string> got = CommandHistory(*hive).LoadHistory();
    ASSERT_EQ(got.size(), 20u) << "after kill " << kill;
    ASSERT_EQ(got, got[0] == listA[0] ? listA : listB) << "mixed list after kill " << kill;
  }
}

TEST(StoreCrash, KilledDuringReplaceProfileLeavesOneWholeProfile) {
  testing::TempDir dir;
  std::string path = dir.File("h.hive");
  PreferenceProfile small, large;
  small.name = large.name = u"Modem";
  small.prefix = u"AT";
  small.suffix = u"<0D>";
  small.timeout = 3;
  small.tokens = {u"<0D><0A>OK<0D><0A>", u"ERROR"};
  large.prefix = std::u16string(300, u'p');
  large.suffix = std::u16string(300, u's');
  large.timeout = 9;
  for (int i = 0; i < 20; ++i) large.tokens.push_back(std::u16string(150, char16_t(u'A' + i)));
  {
    auto hive = Hive::OpenFile(path);
    ASSERT_TRUE(PreferenceStore(*hive).SaveProfile(small));
  }
  for (int kill = 0; kill < 12; ++kill) {
    int fd = -1;
    pid_t pid = Spawn(path, &fd, [&](Hive& hive, int out) {
      for (int round = 0;; ++round) {
        if (!PreferenceStore(hive).ReplaceProfile(round % 2 ? small : large)) return 4;
        char c = 'x';
        if (::write(out, &c, 1) != 1) return 5;
      }
    });
    ASSERT_GT(pid, 0);
    WaitForRounds(fd, 3 + kill);
    ::usleep(KillDelayMicros(kill));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::close(fd);

    auto hive = Hive::OpenFile(path);
    ASSERT_TRUE(hive);
    PreferenceProfile got;
    ASSERT_TRUE(PreferenceStore(*hive).LoadProfile(u"Modem", &got)) << "after kill " << kill;
    const PreferenceProfile& expected = got.timeout == small.timeout ? small : large;
    EXPECT_EQ(got.prefix, expected.prefix);
    EXPECT_EQ(got.suffix, expected.suffix);
    EXPECT_EQ(got.tokens, expected.tokens);
    EXPECT_EQ(PreferenceStore(*hive).CountProfiles(), 1);
  }
}

TEST(StoreConcurrency, TwoProcessesAddingToTheHistoryLoseNothing) {
  testing::TempDir dir;
  std::string path = dir.File("h.hive");
  for (int round = 0; round < 4; ++round) {
    {
      auto hive = Hive::OpenFile(path);
      ASSERT_TRUE(hive);
      ASSERT_TRUE(CommandHistory(*hive).SaveHistory({}));
    }
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    pid_t pids[2];
    int fds[2];
    for (int p = 0; p < 2; ++p) {
      pids[p] = Spawn(path, &fds[p], [&, p](Hive& hive, int) {
        ::close(go[1]);
        char c;
        [[maybe_unused]] ssize_t n = ::read(go[0], &c, 1);  // start together when the parent closes the pipe
        for (int i = 0; i < 10; ++i) {
          std::u16string cmd = u"P" + std::u16string(1, char16_t(u'0' + p)) + u"-" +
                               std::u16string(1, char16_t(u'A' + i));
          if (!CommandHistory(hive).AddToHistory(cmd)) return 10 + i;
        }
        return 0;
      });
      ASSERT_GT(pids[p], 0);
    }
    ::close(go[0]);
    ::close(go[1]);
    for (int p = 0; p < 2; ++p) {
      int status = -1;
      ::waitpid(pids[p], &status, 0);
      ::close(fds[p]);
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), 0) << "an add failed in process " << p;
    }
    auto hive = Hive::OpenFile(path);
    const std::vector<std::u16string> got = CommandHistory(*hive).LoadHistory();
    ASSERT_EQ(got.size(), 20u);
    // Every command is there once, and each process's commands keep their order.
    for (int p = 0; p < 2; ++p) {
      int last = 99;
      for (int i = 0; i < 10; ++i) {
        std::u16string cmd = u"P" + std::u16string(1, char16_t(u'0' + p)) + u"-" +
                             std::u16string(1, char16_t(u'A' + i));
        int at = -1;
        for (int k = 0; k < 20; ++k)
          if (got[k] == cmd) at = k;
        ASSERT_GE(at, 0) << "lost an entry in round " << round;
        EXPECT_LT(at, last);
        last = at;
      }
    }
  }
}

}  // namespace
}  // namespace orvane
