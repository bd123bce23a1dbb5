// The desktop stand-ins: desktop hive entries, the remote API, starting the
// application manager, and the application manager itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "installer/AppManager.h"
#include "installer/DesktopLink.h"
#include "installer/ProcessLauncher.h"
#include "installer/RemoteApi.h"
#include "tests/installer/InstallerTestSupport.h"

namespace fs = std::filesystem;
using namespace orvane;
using orvane::testing::DesktopSandbox;
using orvane::testing::ReadFile;
using orvane::testing::WriteFile;

namespace {

TEST(DesktopLink, ReadsTheApplicationManagerPathLikeThe8BitRegistryCall) {
  auto hive = reg::Hive::OpenMemory();
  reg::ScopedKey key(*hive, reg::kLocalMachine, desktop::kAppPathsKey);
  ASSERT_TRUE(key.ok());
  char buffer[260];

  // 259 characters and the terminator fill the 260 bytes exactly.
  const std::string fits = "/" + std::string(258, 'a');
  hive->SetString(key.get(), u"", std::u16string(fits.begin(), fits.end()));
  uint32_t bytes = sizeof buffer;
  ASSERT_EQ(desktop::QueryStringA(*hive, key.get(), u"", buffer, &bytes), reg::kSuccess);
  EXPECT_EQ(bytes, 260u);
  EXPECT_EQ(std::string(buffer), fits);

  // One more does not fit.
  const std::string tooLong = fits + "b";
  hive->SetString(key.get(), u"", std::u16string(tooLong.begin(), tooLong.end()));
  bytes = sizeof buffer;
  EXPECT_EQ(desktop::QueryStringA(*hive, key.get(), u"", buffer, &bytes), reg::kMoreData);

  // The 8-bit length counts, not the stored UTF-16 length: 200 two-byte characters
  // take 400 bytes as UTF-8 (and 402 as UTF-16); 100 of them fit.
  hive->SetString(key.get(), u"", std::u16string(100, u'\u00e9'));
  bytes = sizeof buffer;
  ASSERT_EQ(desktop::QueryStringA(*hive, key.get(), u"", buffer, &bytes), reg::kSuccess);
  EXPECT_EQ(bytes, 201u);

  // A number is not a path; a missing value is missing.
  hive->SetDword(key.get(), u"", 7);
  bytes = sizeof buffer;
  EXPECT_EQ(desktop::QueryStringA(*hive, key.get(), u"", buffer, &bytes), reg::kInvalidParameter);
  hive->DeleteValue(key.get(), u"");
  bytes = sizeof buffer;
  EXPECT_EQ(desktop::QueryStringA(*hive, key.get(), u"", buffer, &bytes), reg::kFileNotFound);
}

TEST(DesktopLink, RegisterAndUnregisterBothEntries) {
  DesktopSandbox sandbox;
  const std::string hivePath = desktop::DefaultDesktopHivePath();
  EXPECT_EQ(hivePath, sandbox.root() + "/xdg/orvane-port-linewright/desktop.hive");
  // Nothing registered: no hive file is made by merely looking.
  EXPECT_EQ(desktop::DesktopHive(), nullptr);
  EXPECT_EQ(desktop::HandheldFolder(), "");
  EXPECT_FALSE(fs::exists(hivePath));

  ASSERT_TRUE(sandbox.Register("/opt/sync manager/ceappmgr"));
  EXPECT_EQ(desktop::HandheldFolder(), sandbox.handheld());
  reg::Hive* hive = desktop::DesktopHive();
  ASSERT_NE(hive, nullptr);
  reg::ScopedKey key(*hive, reg::kLocalMachine, desktop::kAppPathsKey, false);
  ASSERT_TRUE(key.ok());
  char buffer[260];
  uint32_t bytes = sizeof buffer;
  ASSERT_EQ(desktop::QueryStringA(*hive, key.get(), u"", buffer, &bytes), reg::kSuccess);
  EXPECT_STREQ(buffer, "/opt/sync manager/ceappmgr");

  std::string error;
  ASSERT_TRUE(desktop::UnregisterStandIns(hivePath, &error)) << error;
  EXPECT_EQ(desktop::HandheldFolder(), "");
  reg::Key gone = reg::kNoKey;
  EXPECT_NE(hive->OpenKey(reg::kLocalMachine, desktop::kAppPathsKey, &gone), reg::kSuccess);
  EXPECT_TRUE(desktop::UnregisterStandIns(hivePath, &error));  // twice is fine
}

TEST(RemoteApi, FollowsTheHandheldFolder) {
  DesktopSandbox sandbox;
  // Not registered: no handheld.
  EXPECT_EQ(rapi::CeGetDeviceId(), 0u);
  EXPECT_NE(rapi::CeRapiInit(), rapi::kOk);

  ASSERT_TRUE(sandbox.Register("/usr/bin/true"));
  const rapi::DWORD id = rapi::CeGetDeviceId();
  EXPECT_NE(id, 0u);
  EXPECT_EQ(rapi::CeGetDeviceId(), id);  // stable while connected
  EXPECT_EQ(rapi::CeRapiInit(), rapi::kOk);
  EXPECT_TRUE(fs::is_empty(sandbox.handheld()));  // the probe leaves nothing behind

  // Unplugged: the folder is gone.
  fs::rename(sandbox.handheld(), sandbox.Path("away"));
  EXPECT_EQ(rapi::CeGetDeviceId(), 0u);
  EXPECT_NE(rapi::CeRapiInit(), rapi::kOk);
  // A plain file is not a handheld either.
  WriteFile(sandbox.handheld(), "x");
  EXPECT_EQ(rapi::CeGetDeviceId(), 0u);

  // Present but not writable: found, not reachable.
  ASSERT_TRUE(sandbox.Register("/usr/bin/true", orvane::testing::kUnwritableFolder));
  EXPECT_NE(rapi::CeGetDeviceId(), 0u);
  EXPECT_NE(rapi::CeRapiInit(), rapi::kOk);
}

TEST(Launcher, CommandLineKeepsThePathWholeAndQuotesThePackage) {
  const std::string path = "C:\\Program Files\\Microsoft ActiveSync\\CEAPPMGR.EXE";
  const std::string line = installer::BuildCommandLine(path);
  EXPECT_EQ(line, "C:\\Program Files\\Microsoft ActiveSync\\CEAPPMGR.EXE \".\\OrvanePortCmd.ini\"");
  EXPECT_EQ(installer::ArgumentsAfter(line, path), std::vector<std::string>{".\\OrvanePortCmd.ini"});
  EXPECT_EQ(installer::ArgumentsAfter("/a b  \"c d\" e", "/a"),
            (std::vector<std::string>{"b", "c d", "e"}));
  EXPECT_TRUE(installer::ArgumentsAfter("/x y", "/z").empty());
}

TEST(Launcher, StartsThePathWholeAndReportsHowItEnded) {
  DesktopSandbox sandbox;
  // A decoy where a split at the first blank would land.
  const std::string decoyRecord = sandbox.Path("decoy.txt");
  WriteFile(sandbox.Path("Program"), orvane::testing::RecorderScript(decoyRecord), true);
  const std::string record = sandbox.Path("record.txt");
  const std::string program = sandbox.Path("Program Files/App Manager/ceappmgr");
  WriteFile(program, orvane::testing::RecorderScript(record, 3), true);

  const std::string line = installer::BuildCommandLine(program);
  auto result = installer::RunAndWait(program, installer::ArgumentsAfter(line, program));
  EXPECT_TRUE(result.started);
  EXPECT_TRUE(result.exitedNormally);
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_FALSE(result.Succeeded());
  EXPECT_EQ(ReadFile(record), ".\\OrvanePortCmd.ini\n");
  EXPECT_FALSE(fs::exists(decoyRecord));

  result = installer::RunAndWait(sandbox.Path("missing"), {});
  EXPECT_FALSE(result.started);
  EXPECT_NE(result.startError, 0);
  // A file that is not a program is not handed to a shell.
  WriteFile(sandbox.Path("notes.txt"), "echo hello > " + sandbox.Path("ran") + "\n", true);
  result = installer::RunAndWait(sandbox.Path("notes.txt"), {});
  EXPECT_FALSE(result.started);
  EXPECT_FALSE(fs::exists(sandbox.Path("ran")));
  EXPECT_FALSE(installer::RunAndWait("", {}).started);

  result = installer::RunAndWait("/bin/sh", {"-c", "kill -9 $$"});
  EXPECT_TRUE(result.started);
  EXPECT_FALSE(result.exitedNormally);
  EXPECT_EQ(result.signal, 9);
}

TEST(AppManagerIni, ParsesSectionsCaseInsensitivelyAndRejectsJunk) {
  std::string error;
  auto ini = appmgr::ParseIni("\xEF\xBB\xBF; comment\r\n[CEAppManager]\r\nVersion = 1.0\r\n"
                              "Component=Orvane Port Linewright\r\n\r\n[Orvane Port Linewright]\r\n"
                              "  CabFiles =  a.pkg , \"b c.pkg\"  \r\n",
                              &error);
  ASSERT_TRUE(ini) << error;
  ASSERT_NE(ini->Find("ceappmanager", "COMPONENT"), nullptr);
  EXPECT_EQ(*ini->Find("ceappmanager", "COMPONENT"), "Orvane Port Linewright");
  EXPECT_EQ(*ini->Find("Orvane Port Linewright", "CabFiles"), "a.pkg , \"b c.pkg\"");
  EXPECT_EQ(ini->Find("Orvane Port Linewright", "Description"), nullptr);

  EXPECT_FALSE(appmgr::ParseIni("Version=1\n", &error));  // outside a section
  EXPECT_NE(error.find("line 1"), std::string::npos);
  EXPECT_FALSE(appmgr::ParseIni("[ok]\n[broken\n", &error));
  EXPECT_FALSE(appmgr::ParseIni("[ok]\njust words\n", &error));
}

class AppManagerInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(sandbox.Path("pkg/OrvanePortCmd.ini"),
              ReadFile(std::string(std::getenv("ORVANE_SOURCE_DIR")) + "/resources/OrvanePortCmd.ini"));
    WriteFile(sandbox.Path("pkg/bin/OrvanePort"), "program bytes\n", true);
    WriteFile(sandbox.Path("pkg/OrvanePortCmd.htm"), "<html>help</html>\n");
    WritePackage("Program Files\\Orvane Port Linewright", {"bin\\OrvanePort", sandbox.Path("pkg/OrvanePortCmd.htm")});
  }
  void WritePackage(const std::string& dir, const std::vector<std::string>& files) {
    std::string text = "[Package]\nInstallDir = " + dir + "\n";
    for (size_t i = 0; i < files.size(); ++i) text += "File" + std::to_string(i + 1) + " = " + files[i] + "\n";
    WriteFile(sandbox.Path("pkg/OrvanePort.pkg"), text);
  }
  std::string Installed(const std::string& name) const {
    return sandbox.handheld() + "/Program Files/Orvane Port Linewright/" + name;
  }
  bool Install(std::string* error) {
    appmgr::InstallReport report;
    const bool ok = appmgr::InstallDescription(sandbox.Path("pkg/OrvanePortCmd.ini"), sandbox.handheld(), &report, error);
    if (ok) {
      EXPECT_EQ(report.component, "Orvane Port Linewright");
      EXPECT_EQ(report.installed.size(), 2u);
    }
    return ok;
  }
  DesktopSandbox sandbox;
};

TEST_F(AppManagerInstall, InstallsEveryFileOfThePackageWithItsMode) {
  std::string error;
  ASSERT_TRUE(Install(&error)) << error;
  EXPECT_EQ(ReadFile(Installed("OrvanePort")), "program bytes\n");
  EXPECT_EQ(ReadFile(Installed("OrvanePortCmd.htm")), "<html>help</html>\n");
  EXPECT_EQ(::access(Installed("OrvanePort").c_str(), X_OK), 0);
  EXPECT_FALSE(fs::exists(Installed("OrvanePort.part")));
  // Installing again replaces the files.
  WriteFile(sandbox.Path("pkg/bin/OrvanePort"), "version 2\n", true);
  ASSERT_TRUE(Install(&error)) << error;
  EXPECT_EQ(ReadFile(Installed("OrvanePort")), "version 2\n");
}

TEST_F(AppManagerInstall, CopiesNothingWhenThePackageIsIncompleteOrUnsafe) {
  std::string error;
  WritePackage("Program Files\\Orvane Port Linewright", {"bin\\OrvanePort", "missing.htm"});
  EXPECT_FALSE(Install(&error));
  EXPECT_NE(error.find("missing.htm"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(sandbox.handheld()));

  for (const char* dir : {"..\\outside", "/etc", "a\\..\\..\\b", ""}) {
    WritePackage(dir, {"bin\\OrvanePort"});
    EXPECT_FALSE(Install(&error)) << dir;
    EXPECT_NE(error.find("InstallDir"), std::string::npos);
  }
  WritePackage("Somewhere", {});
  EXPECT_FALSE(Install(&error));
  EXPECT_TRUE(fs::is_empty(sandbox.handheld()));
  EXPECT_FALSE(fs::exists(sandbox.root() + "/outside"));

  WriteFile(sandbox.Path("pkg/OrvanePortCmd.ini"), "[CEAppManager]\nVersion=1.0\n");
  EXPECT_FALSE(Install(&error));
  EXPECT_NE(error.find("Component"), std::string::npos);
  fs::remove(sandbox.Path("pkg/OrvanePortCmd.ini"));
  EXPECT_FALSE(Install(&error));
  EXPECT_NE(error.find("cannot read"), std::string::npos);
}

TEST_F(AppManagerInstall, AFailureOnALaterFileReplacesNothing) {
  std::string error;
  ASSERT_TRUE(Install(&error)) << error;
  WriteFile(sandbox.Path("pkg/bin/OrvanePort"), "version 2\n", true);
  WriteFile(sandbox.Path("pkg/OrvanePortCmd.htm"), "<html>help 2</html>\n");
  // The help page's place is taken by a folder, so the second file cannot go there.
  fs::remove(Installed("OrvanePortCmd.htm"));
  fs::create_directories(Installed("OrvanePortCmd.htm/inside"));
  EXPECT_FALSE(Install(&error));
  EXPECT_NE(error.find("OrvanePortCmd.htm"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(Installed("OrvanePort")), "program bytes\n");
  EXPECT_TRUE(fs::is_directory(Installed("OrvanePortCmd.htm/inside")));
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(Installed(""))) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"OrvanePort", "OrvanePortCmd.htm"})) << "staged files are removed";
}

TEST_F(AppManagerInstall, NeverWritesThroughALinkOutOfTheStorageFolder) {
  const std::string outside = sandbox.Path("outside");
  fs::create_directories(outside);
  WriteFile(outside + "/victim", "precious");
  std::string error;
  // A link in the storage folder used as the install folder, or as a folder on its way.
  fs::create_symlink(outside, sandbox.handheld() + "/evil");
  for (const char* dir : {"evil", "evil\\deeper"}) {
    WritePackage(dir, {"bin\\OrvanePort"});
    EXPECT_FALSE(Install(&error)) << dir;
    EXPECT_NE(error.find("storage folder"), std::string::npos) << error;
  }
  EXPECT_EQ(fs::directory_iterator(outside)->path().filename(), "victim");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside), fs::directory_iterator()), 1);

  // A link at a file's own place is replaced, never written through.
  WritePackage("Program Files\\Orvane Port Linewright", {"bin\\OrvanePort", "OrvanePortCmd.htm"});
  fs::create_directories(Installed(""));
  fs::create_symlink(outside + "/victim", Installed("OrvanePort"));
  ASSERT_TRUE(Install(&error)) << error;
  EXPECT_EQ(ReadFile(outside + "/victim"), "precious");
  EXPECT_FALSE(fs::is_symlink(Installed("OrvanePort")));
  EXPECT_EQ(ReadFile(Installed("OrvanePort")), "program bytes\n");
}

TEST_F(AppManagerInstall, TakesFilesOnlyFromThePackageFolderAndEachPlaceOnce) {
  WriteFile(sandbox.Path("outside/secret.txt"), "secret");
  fs::create_symlink(sandbox.Path("outside/secret.txt"), sandbox.Path("pkg/linked.txt"));
  WriteFile(sandbox.Path("pkg/other/OrvanePort"), "another program\n");
  struct Case {
    std::vector<std::string> files;
    const char* reason;
  };
  const Case cases[] = {
      {{"bin\\OrvanePort", "..\\outside\\secret.txt"}, "package's folder"},
      {{"bin\\OrvanePort", sandbox.Path("outside/secret.txt")}, "package's folder"},
      {{"bin\\OrvanePort", "/etc/hostname"}, "package's folder"},
      {{"bin\\OrvanePort", "linked.txt"}, "package's folder"},
      {{"bin\\OrvanePort", "other\\OrvanePort"}, "same place"},
      {{"bin\\OrvanePort", "bin\\OrvanePort"}, "same place"},
  };
  for (const Case& c : cases) {
    WritePackage("Program Files\\Orvane Port Linewright", c.files);
    std::string error;
    EXPECT_FALSE(Install(&error)) << c.files[1];
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    EXPECT_TRUE(fs::is_empty(sandbox.handheld())) << c.files[1];
  }
}

TEST_F(AppManagerInstall, ProgramRegistersItselfAndInstallsFromAWindowsStylePath) {
  const std::string appmgr = ORVANE_APPMGR;
  const std::string quoted = "'" + appmgr + "'";
  // --register makes the folder when it is missing and names this very program.
  const std::string newFolder = sandbox.Path("new handheld");
  ASSERT_EQ(std::system((quoted + " --register '" + newFolder + "' > /dev/null").c_str()), 0);
  EXPECT_TRUE(fs::is_directory(newFolder));
  EXPECT_EQ(desktop::HandheldFolder(), newFolder);
  EXPECT_NE(rapi::CeGetDeviceId(), 0u);

  {
    orvane::testing::ScopedCurrentDir in(sandbox.Path("pkg"));
    ASSERT_EQ(std::system((quoted + " '.\\OrvanePortCmd.ini' > /dev/null").c_str()), 0);
  }
  EXPECT_EQ(ReadFile(newFolder + "/Program Files/Orvane Port Linewright/OrvanePort"), "program bytes\n");

  // A broken package ends with a failure status.
  fs::remove(sandbox.Path("pkg/OrvanePort.pkg"));
  EXPECT_NE(std::system((quoted + " '" + sandbox.Path("pkg/OrvanePortCmd.ini") + "' 2> /dev/null").c_str()), 0);
  // No handheld: failure.
  ASSERT_EQ(std::system((quoted + " --unregister > /dev/null").c_str()), 0);
  EXPECT_EQ(desktop::HandheldFolder(), "");
  EXPECT_NE(std::system((quoted + " '" + sandbox.Path("pkg/OrvanePortCmd.ini") + "' 2> /dev/null").c_str()), 0);
  EXPECT_NE(std::system((quoted + " --bogus 2> /dev/null").c_str()), 0);
}

}  // namespace
