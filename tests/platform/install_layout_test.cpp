// Where the programs find the files they ship with: the installed layout first, the
// program's own folder (build tree, handheld) second; never a fixed path.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/InstallLayout.h"

namespace fs = std::filesystem;
using namespace orvane::layout;

namespace {

class InstallLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvane-layout-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    prefix = pattern;
    bin = prefix + "/bin";
    fs::create_directories(bin);
  }
  void TearDown() override { fs::remove_all(prefix); }
  std::string Put(const std::string& dir, const std::string& name) {
    fs::create_directories(dir);
    const std::string path = fs::path(dir + "/" + name).lexically_normal().string();
    std::ofstream(path) << "x";
    return path;
  }
  std::string DataDir() const { return bin + "/" + DataDirFromBin(); }
  std::string PackageDir() const { return bin + "/" + HandheldPackageDirFromBin(); }

  std::string prefix, bin;
};

}  // namespace

TEST_F(InstallLayout, FoldersAreRelativeToTheProgramsFolder) {
  for (const std::string dir : {DataDirFromBin(), HandheldPackageDirFromBin()}) {
    EXPECT_FALSE(dir.empty());
    EXPECT_NE(dir.front(), '/') << dir;
  }
  EXPECT_EQ(fs::path(DataDir()).lexically_normal(), fs::path(prefix + "/share/orvane-port-linewright"));
  EXPECT_EQ(ExecutableDir(), fs::canonical("/proc/self/exe").parent_path().string());
}

TEST_F(InstallLayout, ResourceIsFoundInTheDataFolderThenBesideTheProgram) {
  EXPECT_EQ(FindResource(bin, "page.htm"), "") << "nowhere";
  EXPECT_EQ(FindResource("", "page.htm"), "") << "unknown program folder";
  const std::string beside = Put(bin, "page.htm");
  EXPECT_EQ(FindResource(bin, "page.htm"), beside);
  const std::string installed = Put(DataDir(), "page.htm");
  EXPECT_EQ(FindResource(bin, "page.htm"), installed);
  fs::remove(installed);
  fs::create_directories(installed);  // a folder of that name is no page
  EXPECT_EQ(FindResource(bin, "page.htm"), beside);
}

TEST_F(InstallLayout, HandheldPackageIsTakenFromTheCurrentFolderThenTheInstalledOneThenTheProgramsFolder) {
  const std::string elsewhere = prefix + "/elsewhere";
  fs::create_directories(elsewhere);
  EXPECT_EQ(FindHandheldPackageDir(elsewhere, bin, "Cmd.ini"), "");
  Put(bin, "Cmd.ini");
  EXPECT_EQ(FindHandheldPackageDir(elsewhere, bin, "Cmd.ini"), bin);
  Put(PackageDir(), "Cmd.ini");
  EXPECT_EQ(FindHandheldPackageDir(elsewhere, bin, "Cmd.ini"),
            fs::path(PackageDir()).lexically_normal().string());
  Put(elsewhere, "Cmd.ini");
  EXPECT_EQ(FindHandheldPackageDir(elsewhere, bin, "Cmd.ini"), elsewhere);
  EXPECT_EQ(FindHandheldPackageDir(elsewhere, "", "Cmd.ini"), elsewhere);
}
