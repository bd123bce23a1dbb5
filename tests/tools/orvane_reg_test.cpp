// orvane-reg: .reg text round trips and the command line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "platform/Registry.h"
#include "tests/platform/TempHive.h"
#include "tools/orvane-reg/RegText.h"

namespace orvane {
namespace {

using reg::Hive;
using reg::kLocalMachine;
using reg::kSuccess;
using reg::ScopedKey;

// Every key, value name, type and data byte below |key|, in the hive's order.
std::string Dump(Hive& hive, reg::Key key) {
  std::string out;
  std::u16string name;
  uint32_t type;
  std::string data;
  for (uint32_t i = 0; hive.EnumValue(key, i, &name, &type, &data) == kSuccess; ++i) {
    out += "v " + std::string(reinterpret_cast<const char*>(name.data()), name.size() * 2) + " t" +
           std::to_string(type) + " [" + data + "]\n";
  }
  char16_t buf[300];
  for (uint32_t i = 0;; ++i) {
    uint32_t room = 300;
    if (hive.EnumKey(key, i, buf, &room) != kSuccess) break;
    std::u16string child(buf, room);
    out += "k " + std::string(reinterpret_cast<const char*>(child.data()), child.size() * 2) + "\n";
    ScopedKey sub(hive, key, child, false);
    out += Dump(hive, sub.get()) + "end\n";
  }
  return out;
}

void Fill(Hive& hive) {
  ScopedKey a(hive, kLocalMachine, u"Software\\Orvane\\Orvane Port Linewright\\Preferences\\Hayes [1]");
  hive.SetString(a.get(), u"Prefix", u"AT \"quoted\" \\ back\\");
  hive.SetString(a.get(), u"Suffix", u"");
  hive.SetDword(a.get(), u"Timeout", 0xDEADBEEF);
  hive.SetString(a.get(), u"1", u"\u00e9l\u00e8ve \u20ac \U0001F600");
  hive.SetString(a.get(), u"2", u"line\r\nbreak");  // cannot be "..." text
  hive.SetString(a.get(), u"", u"default value");
  const uint8_t noTerminator[] = {'A', 0, 'B', 0};
  hive.SetValue(a.get(), u"NoTerm", reg::kTypeString, noTerminator, 4);
  const uint8_t odd[] = {1, 2, 3};
  hive.SetValue(a.get(), u"Odd", reg::kTypeString, odd, 3);
  hive.SetValue(a.get(), u"ShortDword", reg::kTypeDword, odd, 3);
  std::string big(200, '\x5A');
  hive.SetValue(a.get(), u"Big", reg::kTypeBinary, reinterpret_cast<const uint8_t*>(big.data()), 200);
  hive.SetValue(a.get(), u"Empty", 0, nullptr, 0);
  const uint8_t multi[] = {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0};
  hive.SetValue(a.get(), u"Multi", 7, multi, sizeof multi);
  hive.SetString(a.get(), u"name \"with\" = signs\\", u"x");
  ScopedKey b(hive, kLocalMachine, u"Software\\Orvane\\Orvane Port Linewright\\History");
  ScopedKey c(hive, kLocalMachine, u"Software\\Orvane\\Orvane Port Linewright\\Empty\\Deeper");
  ScopedKey d(hive, kLocalMachine, u"Software\\Orvane\\Orvane Port Linewright\\History\\sub");
  hive.SetDword(d.get(), u"n", 1);
  hive.SetString(b.get(), u"1", u"ATZ");
}

TEST(RegText, ExportThenImportIntoAnEmptyHiveGivesTheSameTree) {
  auto from = Hive::OpenMemory();
  Fill(*from);
  std::string text, error;
  ASSERT_TRUE(regtool::ExportKey(*from, u"Software", &text, &error)) << error;
  auto to = Hive::OpenMemory();
  ASSERT_TRUE(regtool::ImportText(*to, text, &error)) << error << "\n" << text;
  EXPECT_EQ(Dump(*to, kLocalMachine), Dump(*from, kLocalMachine));
  // And the second export reads the same.
  std::string again;
  ASSERT_TRUE(regtool::ExportKey(*to, u"Software", &again, &error));
  EXPECT_EQ(again, text);
  EXPECT_NE(text.find("\"Prefix\"=\"AT \\\"quoted\\\" \\\\ back\\\\\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"Timeout\"=dword:deadbeef"), std::string::npos);
  EXPECT_NE(text.find("@=\"default value\""), std::string::npos);
  EXPECT_NE(text.find("\"2\"=hex(1):"), std::string::npos) << "line breaks go as hex";
}

TEST(RegText, ImportUnderstandsDeletionsCommentsAndContinuations) {
  auto hive = Hive::OpenMemory();
  Fill(*hive);
  std::string error;
  ASSERT_TRUE(regtool::ImportText(*hive,
                                  "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
                                  "; a comment\r\n"
                                  "[-HKEY_LOCAL_MACHINE\\Software\\Orvane\\Orvane Port Linewright\\History]\r\n"
                                  "[hklm\\Software\\New]\r\n"
                                  "\"Bytes\"=hex:01,02,\\\r\n"
                                  "  03\r\n"
                                  "\"Gone\"=-\r\n",
                                  &error))
      << error;
  reg::Key k;
  EXPECT_EQ(hive->OpenKey(kLocalMachine, u"Software\\Orvane\\Orvane Port Linewright\\History", &k),
            reg::kFileNotFound);
  ScopedKey n(*hive, kLocalMachine, u"Software\\New", false);
  ASSERT_TRUE(n.ok());
  uint8_t bytes[8];
  uint32_t size = 8;
  ASSERT_EQ(hive->QueryValue(n.get(), u"Bytes", nullptr, bytes, &size), kSuccess);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(bytes[2], 3);
}

TEST(RegText, BadFilesChangeNothingAndSayWhichLine) {
  auto hive = Hive::OpenMemory();
  Fill(*hive);
  std::string before = Dump(*hive, kLocalMachine);
  const char* bad[] = {
      "not a reg file\n",
      "Windows Registry Editor Version 5.00\n\"v\"=\"before any key\"\n",
      "Windows Registry Editor Version 5.00\n[HKLM\\Software\\X]\n\"v\"=dword:123456789\n",
      "Windows Registry Editor Version 5.00\n[HKLM\\Software\\X]\n\"v\"=hex:1,zz\n",
      "Windows Registry Editor Version 5.00\n[HKLM\\Software\\X]\n\"v=\"x\"\n",
      "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\Software]\n",
      "Windows Registry Editor Version 5.00\n[-HKLM\\Software]\n[HKLM\\Software\\X\n",
      "",
  };
  for (const char* text : bad) {
    std::string error;
    EXPECT_FALSE(regtool::ImportText(*hive, text, &error)) << text;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(Dump(*hive, kLocalMachine), before) << text;
  }
  std::string error;
  regtool::ImportText(*hive, "Windows Registry Editor Version 5.00\n\n[HKLM\\A]\n\"v\"=dword:1g\n", &error);
  EXPECT_EQ(error.rfind("line 4:", 0), 0u) << error;
}

TEST(RegText, ValuesPrintLikeRegQuery) {
  EXPECT_EQ(regtool::FormatData(4, std::string("\x00\xC2\x01\x00", 4)), "0x1c200");
  EXPECT_EQ(regtool::FormatData(3, std::string("\x0A\xFF", 2)), "0AFF");
  EXPECT_EQ(regtool::FormatData(1, std::string("O\0K\0\0\0", 6)), "OK");
  EXPECT_EQ(regtool::FormatData(7, std::string("a\0\0\0b\0\0\0\0\0", 10)), "a\\0b");
  std::u16string path;
  EXPECT_TRUE(regtool::ParseKeyPath("HKLM\\Drivers\\Active", &path));
  EXPECT_EQ(path, u"Drivers\\Active");
  EXPECT_TRUE(regtool::ParseKeyPath("hkey_local_machine", &path));
  EXPECT_EQ(path, u"");
  EXPECT_FALSE(regtool::ParseKeyPath("HKCU\\Software", &path));
  EXPECT_FALSE(regtool::ParseKeyPath("HKLMSoftware", &path)) << "a shell ate the backslash";
}

// ---- the program ------------------------------------------------------------------------

struct Result {
  int code;
  std::string out;
};

Result RunTool(const std::string& args) {
  std::string cmd = std::string(ORVANE_REG_TOOL) + " " + args + " 2>&1 </dev/null";
  Result r{-1, {}};
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int status = ::pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(OrvaneReg, ExportAndImportThroughTheProgramRoundTrip) {
  testing::TempDir dir;
  std::string from = dir.File("from.hive"), to = dir.File("to.hive"), file = dir.File("tree.reg");
  {
    auto hive = Hive::OpenFile(from);
    ASSERT_TRUE(hive);
    Fill(*hive);
  }
  Result r = RunTool("--hive " + from + " export 'HKLM\\Software' " + file);
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(RunTool("--hive " + from + " export 'HKLM\\Software' " + file).code, 1) << "an existing file needs /y";
  EXPECT_EQ(RunTool("--hive " + from + " export 'HKLM\\Software' " + file + " /y").code, 0);
  r = RunTool("--hive " + to + " import " + file);
  ASSERT_EQ(r.code, 0) << r.out;
  auto a = Hive::OpenFile(from);
  auto b = Hive::OpenFile(to);
  EXPECT_EQ(Dump(*b, kLocalMachine), Dump(*a, kLocalMachine));
}

TEST(OrvaneReg, QueryAddAndDeleteSpeakLikeReg) {
  testing::TempDir dir;
  std::string hive = "--hive " + dir.File("h.hive") + " ";
  const std::string key = "\"HKLM\\Software\\Orvane\\Orvane Port Linewright\\Preferences\"";
  EXPECT_EQ(RunTool(hive + "add " + key + " /v Baud /t REG_DWORD /d 115200").code, 0);
  EXPECT_EQ(RunTool(hive + "add " + key + " /v Current /d Modem").code, 0);
  Result r = RunTool(hive + "query " + key);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out,
            "\nHKEY_LOCAL_MACHINE\\Software\\Orvane\\Orvane Port Linewright\\Preferences\n"
            "    Baud    REG_DWORD    0x1c200\n"
            "    Current    REG_SZ    Modem\n\n");
  EXPECT_EQ(RunTool(hive + "add " + key + " /v Baud /t REG_DWORD /d 9600").code, 1) << "overwrite needs /f";
  EXPECT_EQ(RunTool(hive + "add " + key + " /v Baud /t REG_DWORD /d -5 /f").code, 1);
  EXPECT_EQ(RunTool(hive + "add " + key + " /v Baud /t REG_DWORD /d 0x2580 /f").code, 0);
  r = RunTool(hive + "query " + key + " /v Baud");
  EXPECT_NE(r.out.find("    Baud    REG_DWORD    0x2580\n"), std::string::npos) << r.out;
  r = RunTool(hive + "query " + key + " /v Missing");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("unable to find"), std::string::npos);
  EXPECT_EQ(RunTool(hive + "delete " + key + " /v Baud").code, 1) << "deleting needs /f without a terminal";
  EXPECT_EQ(RunTool(hive + "delete " + key + " /v Baud /f").code, 0);
  EXPECT_EQ(RunTool(hive + "delete 'HKLM\\Software' /f").code, 0);
  EXPECT_EQ(RunTool(hive + "query 'HKLM\\Software'").code, 1);
  EXPECT_EQ(RunTool(hive + "query 'HKCU\\Software'").code, 1);
  EXPECT_EQ(RunTool(hive + "frobnicate").code, 2);
  r = RunTool("--help");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("handheld.hive"), std::string::npos);
}

// ---- under attack -----------------------------------------------------------------------

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the tool with |args| (no shell), standard output and error together. |inChild|
// runs in the child just before the tool replaces it (same process id). The stack is
// kept small, so a walk that recurses once per level fails on a modest depth, and the
// processor time is capped, so a walk without end fails instead of hanging the test.
Result RunDirect(const std::vector<std::string>& args, const std::function<void()>& inChild = {}) {
  int out[2];
  if (::pipe(out) != 0) return {-1, "pipe failed"};
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(out[1], 1);
    ::dup2(out[1], 2);
    ::close(out[0]);
    ::close(out[1]);
    const int devNull = ::open("/dev/null", O_RDONLY);
    ::dup2(devNull, 0);
    struct rlimit stack {512 * 1024, 512 * 1024};
    ::setrlimit(RLIMIT_STACK, &stack);
    struct rlimit cpu {60, 60};
    ::setrlimit(RLIMIT_CPU, &cpu);
    if (inChild) inChild();
    std::vector<char*> argv{const_cast<char*>(ORVANE_REG_TOOL)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(ORVANE_REG_TOOL, argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  Result r{-1, {}};
  char buf[65536];
  ssize_t n;
  while ((n = ::read(out[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) r.out.append(buf, static_cast<size_t>(n));
  ::close(out[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

class OrvaneRegFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    auto h = Hive::OpenFile(hive);
    ASSERT_TRUE(h);
    ScopedKey k(*h, kLocalMachine, u"Software\\Orvane");
    h->SetString(k.get(), u"Name", u"exported");
  }
  Result Export(const std::string& file, const std::function<void()>& inChild = {}) {
    return RunDirect({"--hive", hive, "export", "HKLM\\Software", file, "/y"}, inChild);
  }
  static bool Exported(const std::string& text) { return text.find("\"Name\"=\"exported\"") != std::string::npos; }
  testing::TempDir dir;
  std::string hive = dir.File("h.hive");
};

TEST_F(OrvaneRegFiles, HiveThatCannotBeOpenedOrWrittenIsAnErrorWithItsReason) {
  // No hive can be made below a file.
  std::ofstream(dir.File("file")) << "x";
  Result r = RunDirect({"--hive", dir.File("file") + "/h.hive", "query", "HKLM"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "ERROR: cannot open the hive " + dir.File("file") + "/h.hive: Not a directory\n");
  // A hive that can be read but not written: query reads it; add fails and says why.
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(hive.c_str(), 0444), 0);
  const auto unprivileged = [] {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(99);
  };
  r = RunDirect({"--hive", hive, "query", "HKLM\\Software\\Orvane"}, unprivileged);
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("Name    REG_SZ    exported"), std::string::npos) << r.out;
  r = RunDirect({"--hive", hive, "add", "HKLM\\Software\\Orvane", "/v", "New", "/d", "x", "/f"}, unprivileged);
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "ERROR: cannot write the hive " + hive + ": Permission denied\n");
}

TEST_F(OrvaneRegFiles, ExportWritesIntoDevicesPipesAndLinkTargetsAndKeepsThem) {
  // A named pipe with a reader: the text arrives through it and the pipe stays a pipe.
  const std::string fifo = dir.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  Result r = Export(fifo);
  char buf[4096];
  const ssize_t got = ::read(reader, buf, sizeof buf);
  ::close(reader);
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_TRUE(Exported(std::string(buf, got > 0 ? static_cast<size_t>(got) : 0)));

  // A device node of our own (the null device); only root may make one.
  const std::string device = dir.File("null");
  if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    r = Export(device);
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_TRUE(fs::is_character_file(device)) << "the device was replaced by a file";
  }

  // A link is followed and kept; so is a chain of links and one whose target is missing.
  const std::string real = dir.File("real.reg"), link = dir.File("link.reg"), chain = dir.File("chain.reg");
  std::ofstream(real) << "old";
  fs::create_symlink("real.reg", link);
  fs::create_symlink("link.reg", chain);
  r = Export(chain);
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(fs::is_symlink(chain) && fs::is_symlink(link));
  EXPECT_TRUE(Exported(Slurp(real)));
  const std::string dangling = dir.File("dangling.reg");
  fs::create_symlink("made-by-export.reg", dangling);
  r = Export(dangling);
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_TRUE(fs::is_symlink(dangling));
  EXPECT_TRUE(Exported(Slurp(dir.File("made-by-export.reg"))));

  // A loop of links names no file: refused with the reason, both links kept.
  fs::create_symlink("loop-b", dir.File("loop-a"));
  fs::create_symlink("loop-a", dir.File("loop-b"));
  r = Export(dir.File("loop-a"));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find(std::strerror(ELOOP)), std::string::npos) << r.out;
  EXPECT_TRUE(fs::is_symlink(dir.File("loop-a")) && fs::is_symlink(dir.File("loop-b")));
}

TEST_F(OrvaneRegFiles, ExportNeverWritesThroughALinkPlantedBesideTheFile) {
  // Links planted at every name a temporary file could be given in the old scheme
  // (FILE.tmp-PID, with the tool's own process id) point at a victim.
  const std::string file = dir.File("settings.reg"), victim = dir.File("victim");
  std::ofstream(victim) << "precious";
  Result r = Export(file, [&] { [[maybe_unused]] const int linked = ::symlink(victim.c_str(), (file + ".tmp-" + std::to_string(::getpid())).c_str()); });
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(Slurp(victim), "precious");
  EXPECT_FALSE(fs::is_symlink(file));
  EXPECT_TRUE(Exported(Slurp(file)));
  // Nothing else is left beside the file: the planted link stays as it was.
  int besides = 0;
  for (const auto& e : fs::directory_iterator(dir.path()))
    besides += e.path().filename().string().find("settings.reg") != std::string::npos;
  EXPECT_EQ(besides, 2);
}

TEST_F(OrvaneRegFiles, QueryAndExportWalkATreeFarDeeperThanTheStackAllows) {
  constexpr int kDepth = 4000;
  {
    auto h = Hive::OpenFile(hive);
    std::u16string path = u"Software\\Deep";
    for (int i = 0; i < kDepth; ++i) path += u"\\k";
    ScopedKey k(*h, kLocalMachine, path);
    ASSERT_TRUE(k.ok());
    h->SetDword(k.get(), u"Bottom", 7);
  }
  Result r = RunDirect({"--hive", hive, "query", "HKLM\\Software\\Deep", "/s"});
  ASSERT_EQ(r.code, 0) << r.out.substr(0, 300);
  EXPECT_NE(r.out.find("Bottom    REG_DWORD    0x7"), std::string::npos);
  r = RunDirect({"--hive", hive, "export", "HKLM\\Software\\Deep", dir.File("deep.reg")});
  ASSERT_EQ(r.code, 0) << r.out.substr(0, 300);
  const std::string text = Slurp(dir.File("deep.reg"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '['), kDepth + 1);
  EXPECT_NE(text.find("\"Bottom\"=dword:00000007"), std::string::npos);
}

// Adds keys only a damaged hive has below HKLM\Software\Damaged: one with an empty name,
// one whose name holds a backslash, one with a name far longer than any buffer a
// caller would guess; and a sound key after them.
void Damage(const std::string& path) {
  {
    auto h = Hive::OpenFile(path);
    ScopedKey k(*h, kLocalMachine, u"Software\\Damaged\\Before");
  }
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  auto blob = [](std::u16string_view s) {
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
  };
  int64_t damaged = 0;
  {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "SELECT k.id FROM hive_keys k JOIN hive_keys p ON k.parent = p.id WHERE k.name = ?1 AND p.name = ?2", -1, &s, nullptr);
    const std::string d = blob(u"Damaged"), sw = blob(u"Software");
    sqlite3_bind_blob(s, 1, d.data(), static_cast<int>(d.size()), SQLITE_TRANSIENT);
    sqlite3_bind_blob(s, 2, sw.data(), static_cast<int>(sw.size()), SQLITE_TRANSIENT);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    damaged = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
  }
  for (std::u16string name : {std::u16string(), std::u16string(u"x\\y"), std::u16string(u"Before\\"),
                              std::u16string(20000, u'L'), std::u16string(u"After")}) {
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO hive_keys(parent, name) VALUES (?1, ?2)", -1, &s, nullptr);
    const std::string b = blob(name);
    sqlite3_bind_int64(s, 1, damaged);
    sqlite3_bind_blob(s, 2, b.data(), static_cast<int>(b.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(s), SQLITE_DONE);
    sqlite3_finalize(s);
  }
  sqlite3_close(db);
}

TEST_F(OrvaneRegFiles, QueryAndExportSkipAndReportKeysTheyCannotAddressAndKeepGoing) {
  Damage(hive);
  const std::string key = "HKLM\\Software\\Damaged";
  const std::string longKey = "HKEY_LOCAL_MACHINE\\Software\\Damaged\\" + std::string(20000, 'L');
  const std::string after = "HKEY_LOCAL_MACHINE\\Software\\Damaged\\After\n";

  // Listing the subkeys needs no path to them: every one is listed.
  Result r = RunDirect({"--hive", hive, "query", key});
  EXPECT_EQ(r.code, 0) << r.out.substr(0, 300);
  EXPECT_NE(r.out.find(longKey + "\n"), std::string::npos);
  EXPECT_NE(r.out.find(after), std::string::npos);

  // Walking the tree skips the three that cannot be opened by name, says so, and goes on.
  r = RunDirect({"--hive", hive, "query", key, "/s"});
  EXPECT_EQ(r.code, 1) << r.out.substr(0, 300);
  EXPECT_NE(r.out.find(longKey + "\n"), std::string::npos);
  EXPECT_NE(r.out.find(after), std::string::npos);
  EXPECT_NE(r.out.find("x\\y"), std::string::npos) << r.out.substr(0, 2000);

  const std::string file = dir.File("damaged.reg");
  r = RunDirect({"--hive", hive, "export", key, file});
  EXPECT_EQ(r.code, 1) << r.out.substr(0, 300);
  EXPECT_NE(r.out.find("3 keys"), std::string::npos) << r.out.substr(0, 2000);
  const std::string text = Slurp(file);
  EXPECT_NE(text.find("[" + longKey + "]"), std::string::npos);
  EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Damaged\\After]"), std::string::npos);
  EXPECT_EQ(std::count(text.begin(), text.end(), '['), 4) << text.substr(0, 2000);
}

TEST(RegText, ImportAndAddRefuseKeysTheRegistryCannotHoldAndChangeNothing) {
  testing::TempDir dir;
  const std::string hive = dir.File("h.hive");
  auto deep = [](int levels) {
    std::string p = "HKLM";
    for (int i = 0; i < levels; ++i) p += "\\k";
    return p;
  };
  const std::string name255 = std::string(255, 'n'), name256 = std::string(256, 'n');
  struct Case {
    std::string key;
    const char* refusal;  // null: accepted
  };
  const Case cases[] = {
      {"HKLM\\Software\\" + name255, nullptr},
      {"HKLM\\Software\\" + name256 + "\\below", "255 characters"},
      {deep(512), nullptr},
      {deep(513), "512 levels"},
  };
  for (const Case& c : cases) {
    // Import: the good key before the bad one is not kept either.
    auto h = Hive::OpenMemory();
    std::string error;
    const bool imported = regtool::ImportText(
        *h, "Windows Registry Editor Version 5.00\n[HKLM\\Software\\Good]\n[" + c.key + "]\n\"v\"=dword:1\n", &error);
    EXPECT_EQ(imported, !c.refusal) << c.key.size() << ": " << error;
    reg::Key k;
    EXPECT_EQ(h->OpenKey(kLocalMachine, u"Software\\Good", &k) == kSuccess, !c.refusal);
    if (c.refusal) {
      EXPECT_EQ(error.rfind("line 3: ", 0), 0u) << error;
      EXPECT_NE(error.find(c.refusal), std::string::npos) << error;
    }
    // Add.
    Result r = RunDirect({"--hive", hive, "add", c.key, "/v", "v", "/d", "x", "/f"});
    EXPECT_EQ(r.code, c.refusal ? 1 : 0) << r.out;
    if (c.refusal) {
      EXPECT_NE(r.out.find(c.refusal), std::string::npos) << r.out;
    }
  }
  auto h = Hive::OpenFile(hive);
  reg::Key k;
  EXPECT_EQ(h->OpenKey(kLocalMachine, u"Software\\" + std::u16string(256, u'n'), &k), reg::kFileNotFound);
  std::u16string deepest = u"k";
  for (int i = 1; i < 513; ++i) deepest += u"\\k";
  EXPECT_EQ(h->OpenKey(kLocalMachine, deepest, &k), reg::kFileNotFound);
}

}  // namespace
}  // namespace orvane
