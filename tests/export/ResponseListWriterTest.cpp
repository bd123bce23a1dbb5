// The response list file: its exact bytes for each layout, and the safe replacement
// of the file on disk.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "export/ResponseListWriter.h"

namespace fs = std::filesystem;
using orvane::ExportOptions;
using orvane::ExportRow;

namespace {

const std::string kHeading = orvane::kExportHeading;

ExportOptions NoFlags() {
  ExportOptions o;
  o.exportCommandBinaryText = false;
  o.exportResponseBinaryText = false;
  return o;
}

ExportRow Row(std::u16string command, std::initializer_list<uint8_t> response) {
  return ExportRow{std::move(command), orvane::Bytes(response)};
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "orvane-export-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  // Names in the folder, for checking that no stray temporary file is left.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  fs::path path_;
};

}  // namespace

TEST(ExportFormat, HeadingHasFourLinesAndNoFinalLineFeed) {
  ASSERT_FALSE(kHeading.empty());
  EXPECT_EQ(std::count(kHeading.begin(), kHeading.end(), '\n'), 3);
  EXPECT_NE(kHeading.back(), '\n');
  EXPECT_NE(kHeading.find("\n\n"), std::string::npos);  // the empty second line
  EXPECT_EQ(kHeading.find('\r'), std::string::npos);
  // An empty list is the heading alone.
  EXPECT_EQ(orvane::FormatResponseList({}, ExportOptions{}), kHeading);
}

TEST(ExportFormat, WorkedExampleByteForByte) {
  ExportOptions o;
  o.bytesPerLine = 8;
  o.exportCommandText = o.exportCommandBinary = o.exportCommandBinaryText = true;
  o.exportResponseText = o.exportResponseBinary = false;
  o.exportResponseBinaryText = true;
  const auto out = orvane::FormatResponseList({Row(u"AT<0D>", {0x0D, 0x0A, 0x4F, 0x4B, 0x0D, 0x0A})}, o);
  const std::string expected = kHeading +
      "\n\nCommand:\n"
      "\n" "\nAT."
      "\n" "\n41 54 0D "
      "\n" "\n41 54 0D " + std::string(15, ' ') + "\tAT."
      "\n\nResponse:\n"
      "\n" "\n0D 0A 4F 4B 0D 0A " + std::string(6, ' ') + "\t..OK..";
  EXPECT_EQ(out, expected);
}

TEST(ExportFormat, DefaultOptionsWithAnEmptyResponse) {
  const auto out = orvane::FormatResponseList({Row(u"AT", {})}, ExportOptions{});
  EXPECT_EQ(out, kHeading + "\n\nCommand:\n" "\n\n41 54 " + std::string(18, ' ') + "\tAT" +
                     "\n\nResponse:\n" "\n");
}

TEST(ExportFormat, LinesOfExactlyNAndNPlusOneBytes) {
  for (int n : {8, 16, 32}) {
    ExportOptions o = NoFlags();
    o.bytesPerLine = n;
    o.exportResponseBinaryText = true;
    orvane::Bytes exact(n, 'a');
    std::string hex;
    for (int i = 0; i < n; ++i) hex += "61 ";
    auto out = orvane::FormatResponseList({ExportRow{u"", exact}}, o);
    EXPECT_EQ(out, kHeading + "\n\nCommand:\n\n\nResponse:\n" "\n" "\n" + hex + "\t" +
                       std::string(n, 'a'))
        << n;

    orvane::Bytes more = exact;
    more.push_back('b');
    out = orvane::FormatResponseList({ExportRow{u"", more}}, o);
    EXPECT_EQ(out, kHeading + "\n\nCommand:\n\n\nResponse:\n" "\n" "\n" + hex + "\t" +
                       std::string(n, 'a') + "\n62 " + std::string((n - 1) * 3, ' ') + "\tb")
        << n;

    // Hex and text layouts cut at the same place, without filler.
    o.exportResponseBinaryText = false;
    o.exportResponseBinary = o.exportResponseText = true;
    out = orvane::FormatResponseList({ExportRow{u"", more}}, o);
    EXPECT_EQ(out, kHeading + "\n\nCommand:\n\n\nResponse:\n" "\n\n" + std::string(n, 'a') + "\nb" +
                       "\n\n" + hex + "\n62 ")
        << n;
  }
}

TEST(ExportFormat, CharacterRuleIgnoresTheLocaleAndKeepsHighBytes) {
  ExportOptions o = NoFlags();
  o.exportResponseText = true;
  o.bytesPerLine = 32;
  const orvane::Bytes bytes = {0x09, 0x0D, 0x7F, 0x80, 0x9F, 0x20, 0x41, 0xE9, 0x00, 0xA0, 0xFF, 0x1F, 0x7E};
  const auto out = orvane::FormatResponseList({ExportRow{u"", bytes}}, o);
  const std::string expected = kHeading + "\n\nCommand:\n\n\nResponse:\n\n\n" +
                               std::string("..... A\xE9.\xA0\xFF.~");
  EXPECT_EQ(out, expected);
  for (int b = 0; b < 256; ++b) {
    const bool itself = (b >= 0x20 && b <= 0x7E) || b >= 0xA0;
    EXPECT_EQ(static_cast<uint8_t>(orvane::ExportChar(static_cast<uint8_t>(b))), itself ? b : '.') << b;
  }
}

TEST(ExportFormat, CommandIsDecodedFromBinaryTextAndHexIsUpperCase) {
  ExportOptions o = NoFlags();
  o.exportCommandBinary = true;
  // Escapes, a doubled bracket and a Windows-1252 character (euro sign, byte 0x80).
  const auto out = orvane::FormatResponseList({Row(u"<ff><<\u20AC", {})}, o);
  EXPECT_EQ(out, kHeading + "\n\nCommand:\n\n\nFF 3C 80 \n\nResponse:\n");
}

TEST(ExportFormat, NoFlagsWritesOnlyTheHeadingsOfEveryRowInOrder) {
  const auto out = orvane::FormatResponseList(
      {Row(u"A", {1}), Row(u"B", {2, 3}), Row(u"C", {})}, NoFlags());
  std::string expected = kHeading;
  for (int i = 0; i < 3; ++i) expected += "\n\nCommand:\n\n\nResponse:\n";
  EXPECT_EQ(out, expected);

  ExportOptions o = NoFlags();
  o.exportCommandText = true;
  EXPECT_EQ(orvane::FormatResponseList({Row(u"A", {}), Row(u"B", {})}, o),
            kHeading + "\n\nCommand:\n\n\nA\n\nResponse:\n\n\nCommand:\n\n\nB\n\nResponse:\n");
}

TEST(ExportFormat, UnusableLineLengthIsRefusedNotLooped) {
  for (int n : {0, -8, orvane::kMaxBytesPerLine + 1}) {
    ExportOptions o;
    o.bytesPerLine = n;
    std::ostringstream out;
    EXPECT_FALSE(orvane::WriteResponseList(out, {Row(u"AT", {1, 2})}, o)) << n;
  }
}

TEST(ExportFormat, LargeListStreamsAcrossBufferBlocksUnchanged) {
  // Several hundred kilobytes: the streamed bytes equal the formatted string, and a
  // stream and a descriptor receive the same bytes.
  std::vector<ExportRow> rows;
  for (int i = 0; i < 300; ++i) {
    orvane::Bytes reply(1000 + i);
    for (size_t k = 0; k < reply.size(); ++k) reply[k] = static_cast<uint8_t>(k * 7 + i);
    rows.push_back(ExportRow{u"AT+ROW" + std::u16string(1, u'0' + i % 10) + u"<0D>", reply});
  }
  ExportOptions all;
  all.exportCommandText = all.exportCommandBinary = true;
  all.exportResponseText = all.exportResponseBinary = true;
  all.bytesPerLine = 16;
  const std::string text = orvane::FormatResponseList(rows, all);
  EXPECT_GT(text.size(), 1000000u);
  std::ostringstream stream;
  ASSERT_TRUE(orvane::WriteResponseList(stream, rows, all));
  EXPECT_EQ(stream.str(), text);

  TempDir dir;
  const fs::path file = dir.path() / "fd.TXT";
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(orvane::WriteResponseListToFd(fd, rows, all));
  ::close(fd);
  EXPECT_EQ(ReadFile(file), text);
}

TEST(ExportFormat, FailingStreamAndFullDeviceReportFailure) {
  std::vector<ExportRow> rows(50, Row(u"AT", {}));
  rows[0].responseBytes.assign(200000, 0x41);
  std::ostringstream bad;
  bad.setstate(std::ios::badbit);
  EXPECT_FALSE(orvane::WriteResponseList(bad, rows, ExportOptions{}));

  const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
  if (fd < 0) GTEST_SKIP() << "/dev/full is not available";
  EXPECT_FALSE(orvane::WriteResponseListToFd(fd, rows, ExportOptions{}));
  ::close(fd);
}

TEST(ExportFile, WritesNewFileAndReplacesExistingOneWithoutLeftovers) {
  TempDir dir;
  const fs::path file = dir.path() / "list.TXT";
  const std::vector<ExportRow> rows = {Row(u"ATI", {'O', 'K'})};
  int error = -1;
  ASSERT_TRUE(orvane::ExportResponseListToFile(file.string(), rows, ExportOptions{}, &error));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(ReadFile(file), orvane::FormatResponseList(rows, ExportOptions{}));

  // A longer old file is replaced entirely, keeping its permission bits.
  WriteFile(file, std::string(100000, 'x'));
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_TRUE(orvane::ExportResponseListToFile(file.string(), {}, ExportOptions{}));
  EXPECT_EQ(ReadFile(file), kHeading);
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"list.TXT"});

  // A name typed without ".TXT" is used as typed.
  ASSERT_TRUE(orvane::ExportResponseListToFile((dir.path() / "plain").string(), {}, ExportOptions{}));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"list.TXT", "plain"}));
}

TEST(ExportFile, SymbolicLinkKeepsPointingAtTheReplacedFile) {
  TempDir dir;
  const fs::path target = dir.path() / "real.TXT";
  const fs::path link = dir.path() / "link.TXT";
  WriteFile(target, "old");
  fs::create_symlink("real.TXT", link);
  ASSERT_TRUE(orvane::ExportResponseListToFile(link.string(), {}, ExportOptions{}));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(target), kHeading);

  // A loop of links names no file: refused, and the links stay links.
  fs::create_symlink("loop-b", dir.path() / "loop-a");
  fs::create_symlink("loop-a", dir.path() / "loop-b");
  int error = 0;
  EXPECT_FALSE(orvane::ExportResponseListToFile((dir.path() / "loop-a").string(), {}, ExportOptions{}, &error));
  EXPECT_EQ(error, ELOOP);
  EXPECT_TRUE(fs::is_symlink(dir.path() / "loop-a") && fs::is_symlink(dir.path() / "loop-b"));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"link.TXT", "loop-a", "loop-b", "real.TXT"}));
}

TEST(ExportFile, FailuresLeaveTheOldFileIntactAndNoTemporaryFile) {
  TempDir dir;
  const fs::path file = dir.path() / "keep.TXT";
  WriteFile(file, "precious");
  int error = 0;

  // A folder that does not exist (or has vanished).
  EXPECT_FALSE(orvane::ExportResponseListToFile((dir.path() / "gone" / "x.TXT").string(), {},
                                                ExportOptions{}, &error));
  EXPECT_EQ(error, ENOENT);

  // The name of a folder, and an empty name.
  EXPECT_FALSE(orvane::ExportResponseListToFile(dir.path().string(), {}, ExportOptions{}, &error));
  EXPECT_FALSE(orvane::ExportResponseListToFile("", {}, ExportOptions{}, &error));

  // Unusable options never touch the file.
  ExportOptions bad;
  bad.bytesPerLine = 0;
  EXPECT_FALSE(orvane::ExportResponseListToFile(file.string(), {}, bad, &error));
  EXPECT_EQ(ReadFile(file), "precious");

  EXPECT_EQ(ReadFile(file), "precious");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"keep.TXT"});
}

TEST(ExportFile, WriteProtectedFileIsRefusedAndKeepsItsContent) {
  // The folder is writable, so a rename could replace the file: it must not.
  TempDir dir;
  const fs::path file = dir.path() / "locked.TXT";
  WriteFile(file, "precious");
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::vector<ExportRow> rows{Row(u"AT", {'O', 'K'})};
  if (::geteuid() != 0) {
    int error = 0;
    EXPECT_FALSE(orvane::ExportResponseListToFile(file.string(), rows, ExportOptions{}, &error));
    EXPECT_EQ(error, EACCES);
  } else {
    // Root may write to any file: try it as an unprivileged user in a child process,
    // in a folder that user may write to.
    fs::permissions(dir.path(), fs::perms::all);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
      int error = 0;
      const bool exported =
          orvane::ExportResponseListToFile(file.string(), rows, ExportOptions{}, &error);
      ::_exit(exported ? 1 : (error == EACCES ? 0 : 2));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 3) << "could not become an unprivileged user";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: exported anyway, 2: failed with another error";
  }
  EXPECT_EQ(ReadFile(file), "precious");
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"locked.TXT"});
}

// Runs |body| as an unprivileged user in a child process (root may write anywhere) and
// returns its exit status; 99 when the user could not be changed.
int AsUnprivilegedUser(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(99);
    ::_exit(body());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(ExportFile, FileThatCannotBeReplacedIsWrittenInPlace) {
  // A writable file in a folder the user may not write into: no file can be made
  // beside it, but the file itself takes the new text, ending where the text ends.
  TempDir dir;
  fs::permissions(dir.path(), fs::perms::all);
  const fs::path folder = dir.path() / "read-only";
  fs::create_directory(folder);
  const fs::path file = folder / "list.TXT";
  WriteFile(file, std::string(2000, 'x'));
  fs::permissions(file, fs::perms::all);
  fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                              fs::perms::others_exec);
  const std::vector<ExportRow> rows{Row(u"AT", {'O', 'K'})};
  const int status = AsUnprivilegedUser([&] {
    int error = 0;
    if (!orvane::ExportResponseListToFile(file.string(), rows, ExportOptions{}, &error)) return 1;
    // A new file there cannot be made at all.
    if (orvane::ExportResponseListToFile((folder / "new.TXT").string(), rows, ExportOptions{}, &error)) return 2;
    return error == EACCES ? 0 : 3;
  });
  ASSERT_NE(status, 99) << "could not become an unprivileged user";
  EXPECT_EQ(status, 0) << "1: refused, 2: made a new file, 3: another error";
  EXPECT_EQ(ReadFile(file), orvane::FormatResponseList(rows, ExportOptions{}));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);

  // Names so long that the temporary name beside them would not fit in a folder entry.
  for (size_t length : {248u, 255u}) {
    TempDir longDir;
    const fs::path longName = longDir.path() / std::string(length, 'n');
    ASSERT_TRUE(orvane::ExportResponseListToFile(longName.string(), rows, ExportOptions{})) << length;
    WriteFile(longName, "old");
    ASSERT_TRUE(orvane::ExportResponseListToFile(longName.string(), rows, ExportOptions{})) << length;
    EXPECT_EQ(ReadFile(longName), orvane::FormatResponseList(rows, ExportOptions{}));
    EXPECT_EQ(longDir.Names(), std::vector<std::string>{std::string(length, 'n')});
  }
}

TEST(ExportFile, DevicesAreWrittenToAndNeverReplaced) {
  std::vector<ExportRow> rows(10, Row(u"AT", {}));
  rows[0].responseBytes.assign(300000, 0x42);
  for (const char* device : {"/dev/full", "/dev/null"}) {
    struct stat st {};
    if (::stat(device, &st) != 0 || !S_ISCHR(st.st_mode)) GTEST_SKIP() << device << " is missing";
  }
  int error = 0;
  // A full device reports the failure of its write.
  EXPECT_FALSE(orvane::ExportResponseListToFile("/dev/full", rows, ExportOptions{}, &error));
  EXPECT_EQ(error, ENOSPC);
  EXPECT_TRUE(orvane::ExportResponseListToFile("/dev/null", rows, ExportOptions{}, &error));
  for (const char* device : {"/dev/full", "/dev/null"}) {
    struct stat st {};
    ASSERT_EQ(::stat(device, &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << device;
  }

  // A named pipe nobody reads fails at once rather than waiting for a reader.
  TempDir dir;
  const fs::path fifo = dir.path() / "pipe.TXT";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(orvane::ExportResponseListToFile(fifo.string(), rows, ExportOptions{}, &error));
  EXPECT_EQ(error, ENXIO);
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST(ExportFile, WriteFailingHalfwayKeepsTheOldFileAndLeavesNoTemporaryFile) {
  // A file size limit makes the device refuse the write part way through, as a full
  // disk would.
  TempDir dir;
  const fs::path file = dir.path() / "keep.TXT";
  WriteFile(file, "precious");
  std::vector<ExportRow> rows(10, Row(u"AT", {}));
  rows[0].responseBytes.assign(300000, 0x42);

  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = old;
  limited.rlim_cur = 100000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  int error = 0;
  const bool ok = orvane::ExportResponseListToFile(file.string(), rows, ExportOptions{}, &error);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_FALSE(ok);
  EXPECT_EQ(error, EFBIG);
  EXPECT_EQ(ReadFile(file), "precious");
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"keep.TXT"});
}

// With "Time" each row's command section follows a line with its local time (offset
// and ms), duration and end; without it the times change nothing. A row of
// unsolicited data has an empty command section.
TEST(ExportFormat, TimeLinePrecedesEachCommandOnlyWhenAskedFor) {
  ExportRow sent = Row(u"AT<0D>", {'O', 'K'});
  sent.sentAtMs = 123;
  sent.elapsedMs = 34;
  sent.end = "token";
  ExportRow unsolicited = Row(u"", {'R', 'I', 'N', 'G'});
  unsolicited.sentAtMs = 86400000 + 5;
  unsolicited.elapsedMs = 3001;
  unsolicited.end = "unsolicited (silence)";
  const ExportOptions plain = NoFlags();
  EXPECT_EQ(orvane::FormatResponseList({sent, unsolicited}, plain),
            orvane::FormatResponseList({Row(u"AT<0D>", {'O', 'K'}), Row(u"", {'R', 'I', 'N', 'G'})}, plain));

  ExportOptions timed = NoFlags();
  timed.exportTime = true;
  const char* savedTz = std::getenv("TZ");
  const std::string saved = savedTz ? savedTz : "";
  struct Case {
    const char* tz;  // POSIX: the offset is west of Greenwich
    const char* first;
    const char* second;
  } cases[] = {
      {"UTC0", "1970-01-01T00:00:00.123+00:00", "1970-01-02T00:00:00.005+00:00"},
      {"XST-01:30", "1970-01-01T01:30:00.123+01:30", "1970-01-02T01:30:00.005+01:30"},
      {"YST5", "1969-12-31T19:00:00.123-05:00", "1970-01-01T19:00:00.005-05:00"},
  };
  for (const Case& c : cases) {
    ::setenv("TZ", c.tz, 1);
    ::tzset();
    EXPECT_EQ(orvane::FormatResponseList({sent, unsolicited}, timed),
              kHeading + "\n\nTime: " + c.first + ", 34 ms, token\n\nCommand:\n\n\nResponse:\n" +
                  "\n\nTime: " + c.second + ", 3001 ms, unsolicited (silence)\n\nCommand:\n\n\nResponse:\n")
        << c.tz;
  }
  if (savedTz) ::setenv("TZ", saved.c_str(), 1);
  else ::unsetenv("TZ");
  ::tzset();
}

// Notes follow a row's response only when asked for and only for a row that has some,
// in the device's code page; without the option the file is the same as before.
TEST(ResponseListWriter, NotesOnlyWhenAskedForAndOnlyWhereThereAreSome) {
  ExportRow error = Row(u"AT+CPIN?<0D>", {});
  const std::string errorReply = "\r\n+CME ERROR: 10\r\n";
  error.responseBytes.assign(errorReply.begin(), errorReply.end());
  ExportRow ring = Row(u"", {'\r', '\n', 'R', 'I', 'N', 'G', '\r', '\n'});
  ring.kind = orvane::RowKind::kUnsolicited;
  ExportRow ucs2 = Row(u"AT+CMGR=2<0D>", {});
  const std::string pdu =
      "\r\n+CMGR: 1,,23\r\n07917283010010F5040B917238880900F100089930925161958002D83DDE00\r\n"
      "+CMGR: 1,,21\r\n07917283010010F5040B917238880900F10008993092516195800200E9\r\n";
  ucs2.responseBytes.assign(pdu.begin(), pdu.end());
  const ExportRow plain = Row(u"AT<0D>", {'O', 'K'});
  const std::vector<ExportRow> rows = {error, ring, ucs2, plain};

  ExportOptions noted = NoFlags();
  noted.exportNotes = true;
  const std::string sms = "\nSMSC +27381000015\nSMS from +27838890001\nsent 99/03/29 15:16:59 +02:00";
  EXPECT_EQ(orvane::FormatResponseList(rows, noted),
            kHeading + "\n\nCommand:\n\n\nResponse:\n\n\nNotes:\n\n+CME ERROR 10: SIM not inserted" +
                "\n\nCommand:\n\n\nResponse:\n\n\nNotes:\n\nincoming call" +
                "\n\nCommand:\n\n\nResponse:\n\n\nNotes:\n" + sms + "\ntext (UCS2): ?" + sms +
                "\ntext (UCS2): \xE9" + "\n\nCommand:\n\n\nResponse:\n");
  EXPECT_EQ(orvane::FormatResponseList(rows, NoFlags()),
            kHeading + "\n\nCommand:\n\n\nResponse:\n\n\nCommand:\n\n\nResponse:\n" +
                "\n\nCommand:\n\n\nResponse:\n\n\nCommand:\n\n\nResponse:\n");
}
