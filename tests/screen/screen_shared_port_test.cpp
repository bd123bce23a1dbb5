// The main screen on a port that a port service holds: it goes through the service, and
// its status says the port is shared and by how many clients.
#include "engine/service/ServiceLink.h"
#include "tests/screen/ScreenTestSupport.h"
#include "tests/support/PortServiceThread.h"
#include "tests/support/SimulatorThread.h"

namespace screen_test {
namespace {

class SharedPortScreen : public ScreenTest {};

TEST_F(SharedPortScreen, SaysSharedWithTheClientCountAndWorksAsOnTheLine) {
  orvane::testing::SimulatorThread sim;
  ASSERT_TRUE(sim.ok()) << sim.error();
  orvane::service::PortServiceOptions options;
  options.name = sim.path();
  options.baud = 115200;
  orvane::testing::PortServiceThread service(options);
  ASSERT_TRUE(service.ok()) << service.error();

  auto view = MakeView();
  OpenOn(*view, sim.path());
  ASSERT_EQ(Status(*view), "Shared (1)");
  EXPECT_TRUE(view->OpenFlag());
  EXPECT_FALSE(view->Line().IsOpen());  // the service holds the device

  // Another client attaches and asks for a late result: the window counts it and gets
  // the result, but not the other client's reply.
  int error = 0;
  std::string reason;
  auto other = orvane::service::ServiceLink::Attach(sim.path(), 115200, {}, {}, -1, &error, &reason);
  ASSERT_TRUE(other) << reason;
  EXPECT_TRUE(QTest::qWaitFor([&] { return Status(*view) == "Shared (2)"; }, 10000)) << Status(*view).toStdString();
  orvane::Framing framing;
  framing.suffix = u"<0D>";
  ASSERT_TRUE(other->Send(u"AT+SIMLATE=10,\"+LATE\"", framing));
  EXPECT_TRUE(QTest::qWaitFor([&] { return List(*view)->RowCount() == 1; }, 10000));
  EXPECT_EQ(view->Responses().Slot(0), orvane::Bytes({'\r', '\n', '+', 'L', 'A', 'T', 'E', '\r', '\n'}));

  Send(*view, "AT<0D>");
  ASSERT_EQ(List(*view)->RowCount(), 2);
  EXPECT_EQ(view->Responses().Slot(1), orvane::Bytes({'A', 'T', '\r', '\r', '\n', 'O', 'K', '\r', '\n'}));
  // A break goes through the service too, checked as the line checks it.
  EXPECT_EQ(view->Session().SendBreak(1), 0);
  EXPECT_EQ(view->Session().SendBreak(0), EINVAL);
  other.reset();
  EXPECT_TRUE(QTest::qWaitFor([&] { return Status(*view) == "Shared (1)"; }, 10000)) << Status(*view).toStdString();

  Click(*view, IDC_CLOSE);
  EXPECT_EQ(Status(*view), "Closed");

  // Asked for another baud rate: the service's stays, and the window says so.
  OpenOn(*view, sim.path(), "9600");
  ASSERT_EQ(Status(*view), "Shared (1)");
  ASSERT_FALSE(script.messages.empty());
  EXPECT_TRUE(script.messages.back().text.contains("at 115200 baud 8N1, not 9600 baud"))
      << script.messages.back().text.toStdString();
  EXPECT_TRUE(Ctl<QWidget>(*view, IDC_STATUS)->toolTip().contains("not 9600 baud"));
}

}  // namespace
}  // namespace screen_test
