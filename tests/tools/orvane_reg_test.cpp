// orvane-reg: .reg text round trips and the command line.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
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

}  // namespace
}  // namespace orvane
