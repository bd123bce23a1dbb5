// linewright --profile: commands framed with a stored preference profile.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "platform/Registry.h"
#include "preferences/PreferenceStore.h"
#include "tests/platform/TempHive.h"
#include "tests/support/SimulatorThread.h"
#include "tools/linewright/Linewright.h"

namespace orvane {
namespace {

using reg::Hive;

class LinewrightProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    PreferenceProfile p;
    p.name = u"Hayes";
    p.prefix = u"AT";
    p.suffix = u"<0D>";
    p.timeout = 7;
    p.tokens = {u"<0D><0A>OK<0D><0A>"};
    ASSERT_TRUE(store.SaveProfile(p));
    p.name = u"Bare";
    p.tokens.clear();
    ASSERT_TRUE(store.SaveProfile(p));
  }

  static linewright::Options Parse(std::vector<const char*> args, std::string* error) {
    args.insert(args.begin(), "linewright");
    linewright::Options options;
    EXPECT_TRUE(linewright::ParseArguments(static_cast<int>(args.size()), args.data(), &options, error)) << *error;
    return options;
  }

  std::unique_ptr<Hive> hive_ = Hive::OpenMemory();
  PreferenceStore store{*hive_};
};

TEST_F(LinewrightProfile, TakesPrefixSuffixTimeoutAndTokensFromTheProfile) {
  std::string error;
  auto o = Parse({"--profile", "Hayes", "/dev/null", "9600"}, &error);
  ASSERT_TRUE(linewright::ApplyProfile(store, &o, &error)) << error;
  EXPECT_EQ(o.framing.prefix, u"AT");
  EXPECT_EQ(o.framing.suffix, u"<0D>");
  EXPECT_EQ(o.framing.timeoutMs, 7000u);
  ASSERT_EQ(o.framing.tokens.size(), 1u);
  EXPECT_EQ(o.framing.tokens[0], u"<0D><0A>OK<0D><0A>");

  o = Parse({"--profile=Bare", "--suffix", "", "--timeout", "250", "/dev/null", "9600"}, &error);
  ASSERT_TRUE(linewright::ApplyProfile(store, &o, &error));
  EXPECT_TRUE(o.framing.tokens.empty()) << "no tokens: the default tokens";
  EXPECT_EQ(o.framing.suffix, u"") << "an option given on the command line wins";
  EXPECT_EQ(o.framing.timeoutMs, 250u);
}

TEST_F(LinewrightProfile, UnknownProfileIsAClearErrorAndCreatesNothing) {
  std::string error;
  auto o = Parse({"--profile", "hayes", "/dev/null", "9600", "I"}, &error);
  EXPECT_FALSE(linewright::ApplyProfile(store, &o, &error));
  EXPECT_EQ(error, "no profile named 'hayes'");
  EXPECT_EQ(store.CountProfiles(), 2);
}

TEST_F(LinewrightProfile, ProfileThatCannotBeLoadedIsNamedWithWhatIsWrong) {
  const uint8_t eight[8] = {};
  struct Case {
    std::function<void(reg::Key)> damage;
    const char* message;
  } cases[] = {
      {[&](reg::Key k) { hive_->SetDword(k, u"TokenCount", 3); },
       "profile 'P1' cannot be loaded: its TokenCount is 3, but token 2 is missing"},
      {[&](reg::Key k) { hive_->SetString(k, u"Timeout", u"thirty"); },
       "profile 'P1' cannot be loaded: its Timeout is a REG_SZ value, not a REG_DWORD"},
      {[&](reg::Key k) { hive_->SetValue(k, u"TokenCount", reg::kTypeDword, eight, 8); },
       "profile 'P1' cannot be loaded: its TokenCount is a REG_DWORD value of 8 bytes, not 4"},
      {[&](reg::Key k) { hive_->DeleteValue(k, u"Suffix"); },
       "profile 'P1' cannot be loaded: it has no Suffix value"},
  };
  for (const Case& c : cases) {
    PreferenceProfile p;
    p.name = u"P1";
    p.tokens = {u""};
    store.DeleteProfile(p.name);
    ASSERT_TRUE(store.SaveProfile(p));
    reg::ScopedKey key(*hive_, reg::kLocalMachine, u"Software\\Orvane\\Orvane Port Linewright\\Preferences\\P1", false);
    c.damage(key.get());
    std::string error;
    auto o = Parse({"--profile", "P1", "/dev/null", "9600"}, &error);
    EXPECT_FALSE(linewright::ApplyProfile(store, &o, &error));
    EXPECT_EQ(error, c.message);
  }
}

TEST(LinewrightHandheldProfile, HiveThatCannotBeReadIsAnErrorWithTheReason) {
  testing::TempDir dir;
  const std::string blocker = dir.File("not-a-folder");
  std::ofstream(blocker) << "x";
  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string restore = saved ? saved : "";
  ASSERT_EQ(::setenv("XDG_DATA_HOME", blocker.c_str(), 1), 0);
  linewright::Options o;
  o.profile = "P1";
  std::string error;
  EXPECT_FALSE(linewright::ApplyHandheldProfile(&o, &error));
  if (saved) {
    ::setenv("XDG_DATA_HOME", restore.c_str(), 1);
  } else {
    ::unsetenv("XDG_DATA_HOME");
  }
  EXPECT_EQ(error, "cannot read the profiles in " + blocker + "/orvane-port-linewright/handheld.hive: Not a directory");
}

TEST_F(LinewrightProfile, FramesEachCommandOnTheLine) {
  testing::SimulatorThread sim;
  ASSERT_TRUE(sim.ok()) << sim.error();
  std::string error;
  auto o = Parse({"--profile", "Hayes", sim.path().c_str(), "9600", "", "E0"}, &error);
  ASSERT_TRUE(linewright::ApplyProfile(store, &o, &error)) << error;
  std::ostringstream out, err;
  int code = linewright::Run(o, -1, out, err);
  sim.Stop();
  EXPECT_EQ(code, linewright::kExitOk) << err.str();
  // "AT" + "" + "<0D>" is a bare AT with its echo; "ATE0<0D>" still echoes itself.
  EXPECT_EQ(out.str(), "AT<0D><0D><0A>OK<0D><0A>\nATE0<0D><0D><0A>OK<0D><0A>\n");
}

}  // namespace
}  // namespace orvane
