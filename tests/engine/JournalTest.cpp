#include "engine/Journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orvane {
namespace {

namespace fs = std::filesystem;

// Every event an observer is told, one line each, so two runs compare as text.
class Recorder : public SessionObserver {
 public:
  std::string log;
  void OnOpened(const std::string& device, uint32_t baud) override {
    Event("open " + device + " " + std::to_string(baud));
  }
  void OnSettings(const LineSettings& s) override { Event("settings " + DescribeLineSettings(s)); }
  // A chunk split across lines is one chunk again.
  void OnWritten(std::span<const uint8_t> bytes, int64_t atUs) override {
    Chunk("> " + std::to_string(atUs) + " ", bytes);
  }
  void OnRead(std::span<const uint8_t> bytes, int64_t atUs, RowKind kind) override {
    Chunk("< " + std::to_string(atUs) + " " + std::to_string(int(kind)) + " ", bytes);
  }
  void OnRowBegun(const Row& row) override {
    Event("[ " + std::to_string(int(row.kind)) + " " + Utf16ToUtf8(row.typed) + "|" + Utf16ToUtf8(row.sent) +
          " " + std::to_string(row.sentAtMs));
  }
  void OnRowEnded(const Row& row) override {
    Event("] " + std::string(ReplyEndName(row.end)) + " " + std::to_string(row.replyLength) + " " +
          std::to_string(row.firstByteMs) + " " + std::to_string(row.elapsedMs) + " " +
          std::to_string(row.sentAtMs) + " " + std::to_string(row.error) + " " + Hex(row.reply));
  }
  void OnHangup(int error) override { Event("hangup " + std::to_string(error)); }
  void OnClosed() override { Event("close"); }

  void Event(const std::string& text) {
    log += text + "\n";
    chunk_.clear();
  }
  void Chunk(const std::string& head, std::span<const uint8_t> bytes) {
    if (head == chunk_) log.pop_back();
    else log += head;
    log += Hex(bytes) + "\n";
    chunk_ = head;
  }
  static std::string Hex(std::span<const uint8_t> bytes) {
    std::string text;
    for (uint8_t b : bytes) text += "0123456789abcdef"[b >> 4], text += "0123456789abcdef"[b & 15];
    return text;
  }

 private:
  std::string chunk_;  // the head of the last chunk logged
};

JournalOptions JournalAt(const std::string& path) {
  JournalOptions options;
  options.path = path;
  return options;
}

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() /
             ("orvane-journal-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }
  fs::path folder;
};

// One session of every kind of event, told to |o| as a session would.
void PlaySession(SessionObserver& o, const std::string& device) {
  const int64_t t0 = 1796695859996123;  // microseconds since 1970
  Bytes every(256);
  for (int i = 0; i < 256; ++i) every[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  o.OnOpened(device, 115200);
  LineSettings settings;
  settings.dataBits = 7;
  settings.parity = Parity::kMark;
  settings.stopBits = 2;
  settings.flow = FlowControl::kXonXoff;
  settings.rts = false;
  o.OnSettings(settings);
  Row exchange;
  exchange.typed = u"AT\\x41 \t\u00E9\u4E2D<<<0d";
  exchange.sent = exchange.typed + u"<0D>";
  exchange.sentAtMs = t0 / 1000;
  o.OnRowBegun(exchange);
  o.OnWritten(std::span(every).subspan(0, 3), t0 + 10);
  o.OnRead(every, t0 + 2000, RowKind::kExchange);
  o.OnRead(std::span(every).subspan(10, 1), t0 + 2500, RowKind::kExchange);
  exchange.reply = every;
  exchange.reply.push_back(every[10]);
  exchange.replyLength = 257;
  exchange.firstByteMs = 2;
  exchange.elapsedMs = 3001;
  exchange.end = ReplyEnd::kSilence;
  o.OnRowEnded(exchange);
  // An unsolicited row cut at its size limit: the rest of the chunk begins the next one.
  Row unsolicited;
  unsolicited.kind = RowKind::kUnsolicited;
  unsolicited.sentAtMs = t0 / 1000 + 4000;
  o.OnRowBegun(unsolicited);
  const uint8_t ring[] = {'\r', '\n', 'R', 'I', 'N', 'G', '\r', '\n'};
  o.OnRead(ring, t0 + 4000000, RowKind::kUnsolicited);
  unsolicited.reply.assign(ring, ring + 5);
  unsolicited.replyLength = 5;
  unsolicited.firstByteMs = 0;
  unsolicited.elapsedMs = 0;
  unsolicited.end = ReplyEnd::kLimit;
  o.OnRowEnded(unsolicited);
  unsolicited.sentAtMs += 1;
  o.OnRowBegun(unsolicited);
  unsolicited.reply.assign(ring + 5, ring + 8);
  unsolicited.replyLength = 3;
  unsolicited.end = ReplyEnd::kHangup;
  unsolicited.error = 5;
  o.OnRowEnded(unsolicited);
  o.OnHangup(5);
  o.OnClosed();
}

TEST_F(JournalTest, EveryEventAndEveryByteValueReadsBackAsItWasTold) {
  const std::string file = (folder / "one.journal").string();
  JournalWriter writer(JournalAt(file));
  // Two sessions into one file: the second is appended.
  PlaySession(writer, "/dev/ttyUSB0");
  PlaySession(writer, "rfc2217://[::1]:2001 \\x");
  Recorder told;
  PlaySession(told, "/dev/ttyUSB0");
  PlaySession(told, "rfc2217://[::1]:2001 \\x");

  Recorder read;
  JournalReader reader(read);
  std::string error;
  ASSERT_TRUE(reader.ReadFile(file, &error)) << error;
  EXPECT_EQ(reader.BadLines(), 0u);
  EXPECT_EQ(read.log, told.log);

  std::vector<JournalRow> rows;
  ASSERT_TRUE(ReadJournalRows(file, &rows, &error)) << error;
  ASSERT_EQ(rows.size(), 6u);
  // A row read back by where it began.
  Row again;
  ASSERT_TRUE(ReadJournalRowAt(file, rows[3].offset, &again, &error)) << error;
  EXPECT_EQ(again.reply, rows[0].row.reply);
  EXPECT_EQ(again.sentAtMs, rows[3].row.sentAtMs);
  // Every line is "TIME MARK ..." and no line is longer than a person reads.
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    EXPECT_LT(line.size(), 600u) << line;
    int64_t us = 0;
    if (line[0] == '#') continue;
    EXPECT_TRUE(ParseJournalTime(line.substr(0, 32), &us)) << line;
  }
}

TEST_F(JournalTest, AFolderGetsAFilePerSessionAndKeepsWithinItsCapOldestFirst) {
  // Three earlier sessions of 1000 bytes, written an hour, two and three hours ago, and a
  // file that is no journal.
  const auto old = [&](const std::string& name, int hoursAgo) {
    std::ofstream(folder / name) << std::string(1000, 'x');
    const timespec times[2] = {{time(nullptr) - hoursAgo * 3600, 0}, {time(nullptr) - hoursAgo * 3600, 0}};
    utimensat(AT_FDCWD, (folder / name).c_str(), times, 0);
  };
  old("b-oldest.journal", 3);
  old("a-older.journal", 2);
  old("c-old.journal", 1);
  std::ofstream(folder / "notes.txt") << std::string(5000, 'n');
  JournalOptions options = JournalAt(folder.string());
  options.capBytes = 2000;
  JournalWriter writer(options);
  writer.OnOpened("/dev/pts/7", 9600);
  const std::string first = writer.File();
  EXPECT_EQ(fs::path(first).parent_path(), folder);
  EXPECT_NE(first.find("-pts_7.journal"), std::string::npos) << first;
  // The new session and the newest old one fit; the two oldest went.
  EXPECT_FALSE(fs::exists(folder / "b-oldest.journal"));
  EXPECT_FALSE(fs::exists(folder / "a-older.journal"));
  EXPECT_TRUE(fs::exists(folder / "c-old.journal"));
  EXPECT_TRUE(fs::exists(folder / "notes.txt"));
  writer.OnClosed();
  // The next session (in the same second) gets a file of its own.
  writer.OnOpened("/dev/pts/7", 9600);
  EXPECT_NE(writer.File(), first);
  EXPECT_TRUE(fs::exists(first));
  writer.OnClosed();
}

TEST_F(JournalTest, AJournalThatCannotBeWrittenIsSaidOnceAndTheSessionGoesOn) {
  std::ofstream(folder / "file") << "x";
  const std::string cases[] = {
      (folder / "file" / "journal/").string(),  // a folder that cannot be made
      "/dev/full",                              // a full disk
  };
  for (const std::string& path : cases) {
    std::vector<std::string> said;
    JournalOptions options = JournalAt(path);
    options.onProblem = [&](const std::string& message) { said.push_back(message); };
    JournalWriter writer(options);
    for (int session = 0; session < 2; ++session) PlaySession(writer, "/dev/ttyS0");
    ASSERT_EQ(said.size(), 1u) << path;
    EXPECT_NE(said[0].find("The session journal cannot be written: "), std::string::npos) << said[0];
    EXPECT_NE(said[0].find(path.substr(0, path.find("/journal"))), std::string::npos) << said[0];
  }
}

}  // namespace
}  // namespace orvane
