// Linewright > Run Sequence against the modem simulator.
#include <QMenu>
#include <QMenuBar>
#include <fstream>

#include "tests/platform/TempHive.h"
#include "tests/screen/ScreenTestSupport.h"
#include "tests/support/SimulatorThread.h"

namespace screen_test {
namespace {

class SequenceRunTest : public ScreenTest {
 protected:
  QString File(const std::string& name, const std::string& text) {
    std::ofstream(dir.File(name)) << text;
    return QString::fromStdString(dir.File(name));
  }
  // Runs menu command |id| and handles events until the run's message is shown.
  std::string RunToTheEnd(COrvanePortView& view, int id) {
    const size_t before = script.messages.size();
    EXPECT_TRUE(view.RunCommand(id));
    EXPECT_TRUE(QTest::qWaitFor([&] { return script.messages.size() > before; }, 20000));
    EXPECT_FALSE(view.IsReading());
    return script.messages.empty() ? std::string() : script.messages.back().text.toStdString();
  }
  QAction* Item(QMenu* menu, int id) {
    for (QAction* action : menu->actions())
      if (ui::CommandIdOf(action) == id) return action;
    return nullptr;
  }

  orvane::testing::SimulatorThread sim;
  orvane::testing::TempDir dir;
};

TEST_F(SequenceRunTest, RunsStepsIntoTheListShowsFailuresStopsAndOffersFilesAgain) {
  ASSERT_TRUE(sim.ok()) << sim.error();
  // No profile is in use: the commands carry their own carriage return.
  const QString good =
      File("good.seq", "ATE0<0D>\n@expect OK\nAT+SIMLATE=100,RING<0D>\n@wait 5 RING\nATI<0D>\n@expect /Simulator$/\n");
  const QString bad = File("bad.seq", "AT<0D>\n# the modem says OK\n@expect NO CARRIER\n");
  const QString slow = File("slow.seq", "AT<0D>\n@pause 600\nATI<0D>\n");
  auto view = MakeView();
  OpenOn(*view, sim.path());
  ASSERT_EQ(Status(*view), "Opened");

  QString picked = good;
  script.onOpenFile = [&](const ui::SaveFileRequest&) { return std::optional<QString>(picked); };
  ASSERT_TRUE(view->RunCommand(ID_RUN_SEQUENCE));
  // The simulator may answer at once: some steps may be done already, never the wait.
  EXPECT_TRUE(Status(*view).startsWith("Step ") && Status(*view).endsWith(" of 6")) << Status(*view).toStdString();
  EXPECT_FALSE(Enabled(*view, IDC_SEND)) << "nothing is sent by hand during a run";
  ASSERT_TRUE(QTest::qWaitFor([&] { return !script.messages.empty(); }, 20000));
  EXPECT_EQ(script.messages.back().text.toStdString(), "The sequence good.seq completed: 6 steps.");
  EXPECT_EQ(Status(*view).toStdString(), "Sequence Done");
  ASSERT_EQ(List(*view)->RowCount(), 4);
  const auto rows = view->Responses().Rows();
  EXPECT_EQ(rows[0].typed, u"ATE0<0D>");
  EXPECT_TRUE(rows[2].Unsolicited());
  EXPECT_EQ(rows[2].reply, orvane::Bytes({'\r', '\n', 'R', 'I', 'N', 'G', '\r', '\n'}));
  EXPECT_EQ(rows[3].typed, u"ATI<0D>");

  picked = bad;
  EXPECT_EQ(RunToTheEnd(*view, ID_RUN_SEQUENCE),
            "The sequence failed.\nbad.seq:3: step 2 (@expect NO CARRIER) failed: expected \"NO CARRIER\"; got "
            "\"<0D><0A>OK<0D><0A>\"");
  EXPECT_EQ(Status(*view), "Line 3 Failed");

  // The files run last come back in the menu, newest first.
  QMenuBar bar;
  ASSERT_TRUE(ui::LoadMenuBar(kIdTable, IDR_MAINFRAME, &bar));
  QMenu* linewright = bar.actions().at(1)->menu();
  view->UpdateMenu(linewright);
  EXPECT_EQ(Item(linewright, ID_RUN_SEQUENCE)->shortcut(), QKeySequence(QStringLiteral("Ctrl+R")));
  EXPECT_EQ(Item(linewright, ID_RECENT_SEQUENCE_1)->text(), "&1 bad.seq");
  EXPECT_EQ(Item(linewright, ID_RECENT_SEQUENCE_2)->text(), "&2 good.seq");
  EXPECT_FALSE(Item(linewright, ID_RECENT_SEQUENCE_3)->isVisible());
  EXPECT_EQ(RunToTheEnd(*view, ID_RECENT_SEQUENCE_2), "The sequence good.seq completed: 6 steps.");

  // Close ends a run; what arrived stays.
  picked = slow;
  const int before = List(*view)->RowCount();
  ASSERT_TRUE(view->RunCommand(ID_RUN_SEQUENCE));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Status(*view) == "Step 2 of 3"; }, 10000));
  Click(*view, IDC_CLOSE);
  ASSERT_TRUE(QTest::qWaitFor([&] { return script.messages.back().text.contains("stopped"); }, 5000));
  EXPECT_EQ(script.messages.back().text, "The sequence slow.seq was stopped at line 2 (step 2 of 3).");
  EXPECT_EQ(List(*view)->RowCount(), before + 1);
  EXPECT_EQ(Status(*view), "Closed");
}

}  // namespace
}  // namespace screen_test
