// The modem list beyond start-up: it follows plugging while the line is closed, a device
// that vanishes ends the open line, and the remote ports dialog feeds it. The line
// settings dialog keeps the settings of the port chosen, and Open takes them.
#include <QCheckBox>
#include <QListWidget>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>

#include "engine/LineSettingsStore.h"
#include "engine/RemotePorts.h"
#include "screen/LineSettingsDialog.h"
#include "screen/RemotePortsDialog.h"
#include "tests/platform/TempHive.h"
#include "tests/screen/ScreenTestSupport.h"

namespace screen_test {
namespace {

QStringList Items(COrvanePortView& view) {
  QStringList items;
  auto* modems = Ctl<QComboBox>(view, IDC_MODEM);
  for (int i = 0; i < modems->count(); ++i) items << modems->itemText(i);
  return items;
}
QString Chosen(COrvanePortView& view) { return Ctl<QComboBox>(view, IDC_MODEM)->currentText(); }
QString PortText(COrvanePortView& view) { return Ctl<QLineEdit>(view, IDC_PORT)->text(); }

// The modem simulator, started with its own data folder so that it lists itself in the
// hive there; SIGKILL ends it without a word, as a crash or an unplugging would.
class Simulator {
 public:
  bool Start(const std::string& dataHome) {
    const QByteArray bin = qgetenv("ORVANE_BINARY_DIR");
    const std::string program = bin.toStdString() + "/tools/modemsim/orvane-modemsim";
    int out[2];
    if (bin.isEmpty() || access(program.c_str(), X_OK) != 0 || pipe(out) != 0) return false;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(out[1], 1);
      close(out[0]);
      setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
      execl(program.c_str(), program.c_str(), "--ignore-stdin", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(out[1]);
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n') path_ += c;
    close(out[0]);
    return !path_.empty();
  }
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  ~Simulator() { Kill(); }
  const std::string& path() const { return path_; }

 private:
  pid_t pid_ = -1;
  std::string path_;
};

class ModemList : public ScreenTest {
 protected:
  // A screen on a hive file of its own, following plugging; the machine's own serial
  // ports are left out (an empty device tree).
  std::unique_ptr<COrvanePortView> FollowingView() {
    std::filesystem::create_directories(dir_.File("orvane-port-linewright"));
    std::filesystem::create_directories(dir_.File("sys/class/tty"));
    fileHive_ = orvane::reg::Hive::OpenFile(HivePath());
    auto view = std::make_unique<COrvanePortView>(*fileHive_);
    view->OnInitialUpdate();
    orvane::DeviceTableOptions table;
    table.sysfsRoot = dir_.File("sys");
    table.devRoot = dir_.File("dev");
    orvane::DeviceMonitorOptions watch;
    watch.useUdev = false;  // the same watch here and on machines where udev runs
    EXPECT_TRUE(view->FollowDevices(HivePath(), table, watch));
    return view;
  }
  std::string HivePath() const { return dir_.File("orvane-port-linewright/handheld.hive"); }
  // A driver written by hand, shown by |friendly|.
  void AddFileDriver(const std::string& sub, const std::string& device, const std::string& friendly) {
    using namespace orvane::reg;
    Hive::Transaction tx(*fileHive_);
    ScopedKey driver(*fileHive_, kLocalMachine, U16("Drivers\\Active\\" + sub));
    fileHive_->SetString(driver.get(), u"Name", U16(device));
    fileHive_->SetString(driver.get(), u"Key", U16("Drivers\\Hand\\" + sub));
    ScopedKey config(*fileHive_, kLocalMachine, U16("Drivers\\Hand\\" + sub));
    fileHive_->SetString(config.get(), u"FriendlyName", U16(friendly));
    tx.Commit();
  }

  orvane::testing::TempDir dir_;
  std::unique_ptr<orvane::reg::Hive> fileHive_;
};

TEST_F(ModemList, FollowsTheSimulatorComingAndGoingAndKeepsTheChoice) {
  auto view = FollowingView();
  AddFileDriver("hand", "/dev/ttyHand", "Hand Modem");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Items(*view).contains("Hand Modem"); }, 5000))
      << "an entry written into the hive shows: " << Items(*view).join('|').toStdString();
  EXPECT_EQ(Chosen(*view), "Hand Modem") << "the first device to come is taken";

  Simulator sim;
  if (!sim.Start(dir_.path())) GTEST_SKIP() << "orvane-modemsim not built";
  const QString simName = QStringLiteral("Simulated Modem (%1)").arg(QString::fromStdString(sim.path().substr(5)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Items(*view).contains(simName); }, 5000))
      << Items(*view).join('|').toStdString();
  EXPECT_EQ(Chosen(*view), "Hand Modem") << "the user's choice stays";
  EXPECT_EQ(PortText(*view), "/dev/ttyHand");

  // The simulator chosen and then gone: the list falls back to the first device.
  auto* modems = Ctl<QComboBox>(*view, IDC_MODEM);
  modems->setCurrentIndex(modems->findText(simName));
  emit modems->activated(modems->currentIndex());
  ASSERT_EQ(PortText(*view).toStdString(), sim.path());
  sim.Kill();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Items(*view).contains(simName); }, 5000))
      << "a simulator killed outright leaves the list with its pty";
  EXPECT_EQ(Items(*view).join('|'), "<Not Listed>|Hand Modem");
  EXPECT_EQ(PortText(*view), "/dev/ttyHand");

  // "<Not Listed>" and the port typed there survive a change.
  OpenOn(*view, "/dev/nothing-here");
  ASSERT_EQ(Status(*view), "Open Failed");
  AddFileDriver("more", "/dev/ttyMore", "More Modem");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Items(*view).contains("More Modem"); }, 5000));
  EXPECT_EQ(Chosen(*view), "<Not Listed>");
  EXPECT_EQ(PortText(*view), "/dev/nothing-here");
}

// The device goes away while the line is open: idle, or in the middle of a reply.
TEST_F(ModemList, ADeviceThatVanishesEndsTheOpenLine) {
  for (const bool reading : {false, true}) {
    auto view = FollowingView();
    FakeModem modem;
    ASSERT_TRUE(modem.ok());
    OpenOn(*view, modem.path());
    ASSERT_EQ(Status(*view), "Opened");
    if (reading) {
      modem.QueueReply("");  // no answer: the read waits
      StartSend(*view, "AT<0D>");
      ASSERT_TRUE(view->IsReading());
    }
    modem.Unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Status(*view) == "Device Gone"; }, 5000)) << reading;
    EXPECT_FALSE(view->OpenFlag());
    EXPECT_FALSE(view->Line().IsOpen());
    EXPECT_TRUE(Enabled(*view, IDC_OPEN));
    EXPECT_FALSE(Enabled(*view, IDC_SEND));
    EXPECT_TRUE(Enabled(*view, IDC_MODEM));
    EXPECT_EQ(List(*view)->RowCount(), reading ? 1 : 0) << "the cut reply is recorded";
  }
}

// A chosen device that goes while the line is open stays chosen, marked gone, until the
// user picks another; when it comes back it is opened again.
TEST_F(ModemList, AnOpenDeviceThatGoesStaysChosenMarkedGone) {
  auto view = FollowingView();
  Simulator sim;
  if (!sim.Start(dir_.path())) GTEST_SKIP() << "orvane-modemsim not built";
  const QString simName = QStringLiteral("Simulated Modem (%1)").arg(QString::fromStdString(sim.path().substr(5)));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Items(*view).contains(simName); }, 5000));
  auto* modems = Ctl<QComboBox>(*view, IDC_MODEM);
  modems->setCurrentIndex(modems->findText(simName));
  emit modems->activated(modems->currentIndex());
  Click(*view, IDC_OPEN);
  ASSERT_EQ(Status(*view), "Opened");
  sim.Kill();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Status(*view) == "Device Gone"; }, 5000));
  const QString gone = simName + QStringLiteral(" (gone)");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Items(*view).contains(simName); }, 5000))
      << Items(*view).join('|').toStdString();
  EXPECT_EQ(Items(*view).join('|'), "<Not Listed>|" + gone);
  EXPECT_EQ(Chosen(*view), gone);
  EXPECT_EQ(PortText(*view).toStdString(), sim.path());
  EXPECT_FALSE(Enabled(*view, IDC_PORT));

  // Back under the same name, it is opened again by itself.
  Simulator back;
  ASSERT_TRUE(back.Start(dir_.path()));
  if (back.path() == sim.path()) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return Status(*view) == "Opened"; }, 5000)) << Status(*view).toStdString();
    EXPECT_EQ(Chosen(*view), simName);
    Click(*view, IDC_CLOSE);
  }
  back.Kill();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Items(*view).contains(simName); }, 5000));

  modems->setCurrentIndex(modems->findText(QStringLiteral("<Not Listed>")));
  emit modems->activated(modems->currentIndex());
  EXPECT_EQ(Items(*view).join('|'), "<Not Listed>");
  EXPECT_TRUE(PortText(*view).isEmpty());
}

TEST_F(ModemList, RemotePortsDialogAddsAndDeletesWhatTheListOffers) {
  auto view = MakeView();
  int step = 0;
  QStringList shown;  // the dialog's rows as each run left them
  script.onModal = [&](QDialog& d) {
    auto& dialog = dynamic_cast<RemotePortsDialog&>(d);
    auto type = [&](const char* name, const char* url) {
      dialog.Control<QLineEdit>(IDC_REMOTE_NAME)->setText(name);
      dialog.Control<QLineEdit>(IDC_REMOTE_URL)->setText(url);
      dialog.Press(IDC_REMOTE_ADD);
    };
    if (step++ == 0) {
      type("Lab", "ser2net:2001");  // refused, with the reason
      type("Lab", "rfc2217://127.0.0.1:2001");
      type("Raw", "tcp://[::1]:4000");
    } else {
      dialog.List()->setCurrentRow(0);
      script.answers.push_back(ui::Answer::Yes);
      dialog.Press(IDC_REMOTE_DELETE);
    }
    QStringList rows;
    for (int i = 0; i < dialog.List()->count(); ++i) rows << dialog.List()->item(i)->text();
    shown << rows.join('|');
    return static_cast<int>(QDialog::Accepted);
  };
  ASSERT_TRUE(view->RunCommand(ID_REMOTE_PORTS));
  ASSERT_EQ(script.messages.size(), 1u);
  EXPECT_TRUE(script.messages[0].text.startsWith("A remote port is rfc2217://HOST:PORT or tcp://HOST:PORT"))
      << script.messages[0].text.toStdString();
  EXPECT_EQ(shown.value(0), "Lab  rfc2217://127.0.0.1:2001|Raw  tcp://[::1]:4000");
  EXPECT_EQ(Items(*view).join('|'), "<Not Listed>|Lab|Raw");
  auto* modems = Ctl<QComboBox>(*view, IDC_MODEM);
  modems->setCurrentIndex(modems->findText("Raw"));
  emit modems->activated(modems->currentIndex());
  EXPECT_EQ(PortText(*view), "tcp://[::1]:4000") << "the line is opened by the URL";

  ASSERT_TRUE(view->RunCommand(ID_REMOTE_PORTS));
  EXPECT_EQ(shown.value(1), "Raw  tcp://[::1]:4000");
  EXPECT_EQ(Items(*view).join('|'), "<Not Listed>|Raw");
  EXPECT_EQ(Chosen(*view), "Raw") << "the choice stays while offered";
}

TEST_F(ModemList, LineSettingsDialogSavesThePortsSettingsAndOpenTakesThem) {
  FakeModem modem;
  ASSERT_TRUE(modem.ok());
  auto view = MakeView();
  auto* modems = Ctl<QComboBox>(*view, IDC_MODEM);
  modems->setCurrentIndex(modems->findData(COrvanePortView::kNotListed));
  emit modems->activated(modems->currentIndex());
  Ctl<QLineEdit>(*view, IDC_PORT)->setText(QString::fromStdString(modem.path()));

  using orvane::FlowControl;
  using orvane::Parity;
  const orvane::LineSettings wanted{7, Parity::kOdd, 2, FlowControl::kXonXoff, false, true};
  QStringList shown;  // each run: the port and the settings the dialog opened with
  std::vector<bool> breakEnabled;
  script.onModal = [&](QDialog& d) {
    auto& dialog = dynamic_cast<LineSettingsDialog&>(d);
    shown << QString::fromStdU16String(dialog.Port()) + ' ' +
                 QString::fromStdString(orvane::DescribeLineSettings(dialog.Shown()));
    breakEnabled.push_back(dialog.Control(IDC_SEND_BREAK)->isEnabled());
    if (breakEnabled.back()) {
      dialog.Press(IDC_SEND_BREAK);
      return static_cast<int>(QDialog::Rejected);
    }
    dialog.Control<QComboBox>(IDC_DATA_BITS)->setCurrentText("7");
    dialog.Control<QComboBox>(IDC_PARITY)->setCurrentText("Odd");
    dialog.Control<QComboBox>(IDC_STOP_BITS)->setCurrentText("2");
    dialog.Control<QComboBox>(IDC_FLOW)->setCurrentText("XON/XOFF");
    dialog.Control<QCheckBox>(IDC_DTR)->setChecked(false);
    dialog.Press(ui::IDOK);
    return dialog.result();
  };
  ASSERT_TRUE(view->RunCommand(ID_LINE_SETTINGS));
  EXPECT_EQ(orvane::LoadLineSettings(hive(), U16(modem.path())), wanted);
  EXPECT_EQ(orvane::LoadLineSettings(hive(), u"/dev/ttyS0"), orvane::LineSettings{}) << "only that port's";

  OpenOn(*view, modem.path());
  ASSERT_EQ(Status(*view), "Opened");
  EXPECT_EQ(view->Session().Settings(), wanted);
  // While the line is open a break can be sent; it goes out without a word.
  ASSERT_TRUE(view->RunCommand(ID_LINE_SETTINGS));
  EXPECT_EQ(shown.join('|').toStdString(), modem.path() + " 8N1|" + modem.path() + " 7O2 xonxoff dtr-off");
  EXPECT_EQ(breakEnabled, (std::vector<bool>{false, true}));
  EXPECT_TRUE(script.messages.empty()) << script.MessageTexts().join('|').toStdString();
}

}  // namespace
}  // namespace screen_test
