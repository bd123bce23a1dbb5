// The main screen on a serial port on another machine: the URL typed under "<Not
// Listed>", against ser2net in front of the modem simulator.
#include "tests/screen/ScreenTestSupport.h"
#include "tests/support/NetServers.h"
#include "tests/support/SimulatorThread.h"

namespace screen_test {
namespace {

class RemoteScreen : public ScreenTest {};

QString StatusReason(COrvanePortView& view) { return Ctl<QLabel>(view, IDC_STATUS)->toolTip(); }

TEST_F(RemoteScreen, OpensSendsAndClosesAUrl) {
  orvane::testing::SimulatorThread sim;
  ASSERT_TRUE(sim.ok()) << sim.error();
  orvane::testing::Ser2net server;
  ASSERT_TRUE(server.Start(sim.path())) << server.Log();

  auto view = MakeView();
  for (int round = 0; round < 2; ++round) {
    OpenOn(*view, server.Url());
    ASSERT_EQ(Status(*view), "Opened") << StatusReason(*view).toStdString();
    EXPECT_TRUE(StatusReason(*view).isEmpty());
    Send(*view, "AT<0D>");
    // Closing lets go of the connection: ser2net takes the next one.
    Click(*view, IDC_CLOSE);
    EXPECT_EQ(Status(*view), "Closed");
    EXPECT_FALSE(view->Line().IsOpen());
  }
  ASSERT_EQ(List(*view)->RowCount(), 2);
  EXPECT_EQ(Cell(*view, 1, 0), "AT<0D><0D><0A>OK<0D>..");
}

TEST_F(RemoteScreen, AFailedOpenSaysWhy) {
  const std::string refused = "rfc2217://127.0.0.1:" + std::to_string(orvane::testing::FreeLoopbackPort());
  const struct {
    std::string port;
    QString reason;
  } cases[] = {
      {"rfc2217://:x", "malformed address 'rfc2217://:x': no host (expected rfc2217://HOST:PORT)"},
      {"tcp://orvane-test.invalid:23", "unknown host 'orvane-test.invalid'"},
      {refused, QString::fromStdString("connection refused by " + refused.substr(10))},
  };
  auto view = MakeView();
  for (const auto& c : cases) {
    OpenOn(*view, c.port);
    EXPECT_EQ(Status(*view), "Open Failed") << c.port;
    EXPECT_EQ(StatusReason(*view), c.reason);
    EXPECT_TRUE(Enabled(*view, IDC_OPEN));
    EXPECT_FALSE(Enabled(*view, IDC_SEND));
  }
}

}  // namespace
}  // namespace screen_test
