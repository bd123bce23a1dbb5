// The main command screen through its real controls: states, device selection, baud
// memory, the use flag, the Enter key, the send flow against a pseudo-terminal device,
// the response list and its menu, and what the screen refuses while a reply is read.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>
#include <QtTest/QTest>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

#include "entry/model/CommandHistory.h"
#include "platform/OpenFailure.h"
#include "preferences/PreferenceStore.h"
#include "screen/CommandResponseDialog.h"
#include "screen/SendRules.h"
#include "tests/screen/FakeModem.h"
#include "tests/screen/ScreenTestSupport.h"
#include "ui/SoftInputPanel.h"

using namespace screen_test;
using V = COrvanePortView;

namespace {

struct State {
  QString status;
  bool open, close, send, modems, baud;
};

void ExpectState(COrvanePortView& view, const State& s, bool openFlag) {
  EXPECT_EQ(Status(view), s.status);
  EXPECT_EQ(view.OpenFlag(), openFlag);
  EXPECT_EQ(Enabled(view, IDC_OPEN), s.open);
  EXPECT_EQ(Enabled(view, IDC_CLOSE), s.close);
  EXPECT_EQ(Enabled(view, IDC_SEND), s.send);
  EXPECT_EQ(Enabled(view, IDC_MODEM), s.modems);
  EXPECT_EQ(Enabled(view, IDC_BAUD), s.baud);
  ui::CommandState openItem, closeItem;
  view.Commands().QueryState(ID_PORT_OPEN, &openItem);
  view.Commands().QueryState(ID_PORT_CLOSE, &closeItem);
  EXPECT_EQ(openItem.enabled, !openFlag);
  EXPECT_EQ(closeItem.enabled, openFlag);
}

orvane::Bytes B(const std::string& s) { return orvane::Bytes(s.begin(), s.end()); }

orvane::PreferenceProfile Profile(const std::u16string& name, const std::u16string& prefix,
                                  const std::u16string& suffix, int timeout,
                                  std::initializer_list<std::u16string> tokens) {
  orvane::PreferenceProfile p;
  p.name = name;
  p.prefix = prefix;
  p.suffix = suffix;
  p.timeout = timeout;
  p.tokens = tokens;
  return p;
}

}  // namespace

TEST(SendRules, PreviewAndBaudText) {
  EXPECT_EQ(orvane::ResponsePreview(u"hello"), u"hello..");
  EXPECT_EQ(orvane::ResponsePreview(u""), u"..");
  EXPECT_EQ(orvane::ResponsePreview(u"<0D><0A>OK<0D><0A>"), u"<0D><0A>OK<0D><0A>..");
  // Cut after 20 characters, inside the sixth escape.
  EXPECT_EQ(orvane::ResponsePreview(u"A<01><02><03><04><05>"), u"A<01><02><03><04><05..");

  // Only a command sent without a line end that got nothing but its echo back until the
  // silence.
  struct Case { orvane::RowKind kind; const char16_t* sent; const char* replied; orvane::ReplyEnd end; bool lacks; };
  using orvane::ReplyEnd;
  using orvane::RowKind;
  const Case cases[] = {
      {RowKind::kExchange, u"AT", "", ReplyEnd::kSilence, true},
      {RowKind::kExchange, u"AT", "AT", ReplyEnd::kSilence, true},   // the echo
      {RowKind::kExchange, u"ATI", "A", ReplyEnd::kSilence, true},   // part of it
      {RowKind::kExchange, u"AT", "ATX", ReplyEnd::kSilence, false},
      {RowKind::kExchange, u"AT", "OK", ReplyEnd::kSilence, false},
      {RowKind::kExchange, u"AT<0D>", "", ReplyEnd::kSilence, false},
      {RowKind::kExchange, u"<0A>AT", "", ReplyEnd::kSilence, false},
      {RowKind::kExchange, u"AT", "", ReplyEnd::kStopped, false},
      {RowKind::kExchange, u"AT", "", ReplyEnd::kWriteFailed, false},
      {RowKind::kExchange, u"", "", ReplyEnd::kSilence, false},
      {RowKind::kUnsolicited, u"", "", ReplyEnd::kSilence, false},
  };
  for (const Case& c : cases) {
    orvane::Row row;
    row.kind = c.kind;
    row.sent = c.sent;
    row.reply = B(c.replied);
    row.replyLength = row.reply.size();
    row.end = c.end;
    EXPECT_EQ(orvane::LacksLineEnd(row), c.lacks) << std::string(c.sent, c.sent + std::char_traits<char16_t>::length(c.sent));
  }

  EXPECT_EQ(orvane::ParseBaudText(u"9600"), 9600u);
  EXPECT_EQ(orvane::ParseBaudText(u"  115200 baud"), 115200u);
  EXPECT_EQ(orvane::ParseBaudText(u"+300"), 300u);
  EXPECT_EQ(orvane::ParseBaudText(u"fast"), 0u);
  EXPECT_EQ(orvane::ParseBaudText(u""), 0u);
  EXPECT_EQ(orvane::ParseBaudText(u"-"), 0u);
  EXPECT_EQ(orvane::ParseBaudText(u"-1"), 4294967295u);
  EXPECT_EQ(orvane::ParseBaudText(u"99999999999999999999999"), 4294967295u);
}

TEST(ResponseStoreTest, GrowsPastItsFirstThousandAndClearsToEmpty) {
  orvane::ResponseStore store;
  for (int i = 0; i < 1005; ++i) {
    orvane::Row row;
    row.reply = orvane::Bytes(static_cast<size_t>(i % 7), uint8_t(i));
    EXPECT_EQ(store.Add(std::move(row)), i);
  }
  EXPECT_EQ(store.Count(), 1005);
  EXPECT_EQ(store.Slot(1004), orvane::Bytes(1004 % 7, uint8_t(1004 % 256)));
  EXPECT_TRUE(store.Slot(1005).empty());
  EXPECT_TRUE(store.Slot(-1).empty());
  store.Clear();
  EXPECT_EQ(store.Count(), 0);
  EXPECT_EQ(store.Add(orvane::Row()), 0);
}

class MainScreen : public ScreenTest {};

TEST_F(MainScreen, EveryRowOfTheStateTable) {
  FakeModem modem;
  ASSERT_TRUE(modem.ok());
  auto view = MakeView();
  ExpectState(*view, {"Status", true, false, false, true, true}, false);

  OpenOn(*view, "/dev/orvane-no-such-device");
  ExpectState(*view, {"Open Failed", true, false, false, true, true}, false);
  // The status's tooltip tells why, and so does a message at once.
  EXPECT_TRUE(Ctl<QWidget>(*view, IDC_STATUS)->toolTip().contains("there is no device /dev/orvane-no-such-device"));
  ASSERT_EQ(script.messages.size(), 1u);
  EXPECT_TRUE(script.messages[0].text.startsWith("Open failed: "));
  EXPECT_TRUE(script.messages[0].text.contains("there is no device /dev/orvane-no-such-device"));

  OpenOn(*view, modem.path());
  ExpectState(*view, {"Opened", false, true, true, false, false}, true);
  EXPECT_TRUE(Ctl<QWidget>(*view, IDC_STATUS)->toolTip().isEmpty());
  EXPECT_TRUE(view->Line().IsOpen());

  Click(*view, IDC_CLOSE);
  ExpectState(*view, {"Closed", true, false, false, true, true}, false);
  EXPECT_FALSE(view->Line().IsOpen());

  // A close with no device held fails, and still shows the closed state.
  EXPECT_TRUE(view->RunCommand(ID_PORT_CLOSE));
  ExpectState(*view, {"Close Failed", true, false, false, true, true}, false);

  // The menu's Open does the same as the button.
  OpenOn(*view, modem.path());
  view->RunCommand(ID_PORT_CLOSE);
  EXPECT_TRUE(view->RunCommand(ID_PORT_OPEN));
  ExpectState(*view, {"Opened", false, true, true, false, false}, true);
}

// Another program that has the port open would take replies: Open names it.
TEST_F(MainScreen, AnotherReaderOfThePortIsNamedAtOpen) {
  FakeModem modem;
  ASSERT_TRUE(modem.ok());
  const pid_t reader = fork();
  if (reader == 0) {
    // Holds the device open across the exec, as "cat /dev/ttyX" would.
    if (open(modem.path().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK) < 0) _exit(1);
    execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(reader, 0);
  const bool seen = QTest::qWaitFor([&] {
    const auto holders = orvane::FindPortHolders(modem.path());
    return holders.size() == 1 && holders[0].program == "sleep";
  }, 5000);
  auto view = MakeView();
  if (seen) OpenOn(*view, modem.path());
  kill(reader, SIGKILL);
  waitpid(reader, nullptr, 0);
  ASSERT_TRUE(seen);
  EXPECT_EQ(Status(*view), "Opened");
  EXPECT_EQ(script.MessageTexts(),
            QStringList{QStringLiteral("%1 is also open in sleep (pid %2): replies may go there.")
                            .arg(QString::fromStdString(modem.path()))
                            .arg(reader)});
}

TEST_F(MainScreen, WithoutDevicesOnlyNotListedIsOfferedAndThePortCanBeTyped) {
  auto view = MakeView();
  auto* modems = Ctl<QComboBox>(*view, IDC_MODEM);
  ASSERT_EQ(modems->count(), 1);
  EXPECT_EQ(modems->currentText(), "<Not Listed>");
  EXPECT_EQ(modems->currentData().toInt(), V::kNotListed);
  EXPECT_TRUE(Ctl<QLineEdit>(*view, IDC_PORT)->text().isEmpty());
  EXPECT_TRUE(Enabled(*view, IDC_PORT));
}

TEST_F(MainScreen, DevicesAreSortedAndTheFirstIsSelectedWithItsDeviceName) {
  AddDriver("a", "/dev/ttyUSB1", "Zeta Modem");
  AddDriver("b", "/dev/ttyS0", "alpha port");
  AddDriver("c", "/dev/ttyACM0", "9 Pin Serial");
  auto view = MakeView();
  EXPECT_EQ(view->ListingCount(), 3);
  auto* modems = Ctl<QComboBox>(*view, IDC_MODEM);
  QStringList items;
  for (int i = 0; i < modems->count(); ++i) items << modems->itemText(i);
  EXPECT_EQ(items.join('|'), "<Not Listed>|9 Pin Serial|alpha port|Zeta Modem");
  EXPECT_EQ(modems->currentText(), "9 Pin Serial");
  auto* port = Ctl<QLineEdit>(*view, IDC_PORT);
  EXPECT_EQ(port->text(), "/dev/ttyACM0");
  EXPECT_FALSE(port->isEnabled());

  // <Not Listed> clears and enables the field; a device fills and disables it again.
  modems->setCurrentIndex(0);
  emit modems->activated(0);
  EXPECT_TRUE(port->text().isEmpty());
  EXPECT_TRUE(port->isEnabled());
  port->setText("/dev/typed");
  modems->setCurrentIndex(3);
  emit modems->activated(3);
  EXPECT_EQ(port->text(), "/dev/ttyUSB1");
  EXPECT_FALSE(port->isEnabled());
}

TEST_F(MainScreen, BaudRateIsRememberedAfterAGoodOpenOnly) {
  FakeModem modem;
  ASSERT_TRUE(modem.ok());
  {
    auto view = MakeView();
    EXPECT_EQ(Ctl<QComboBox>(*view, IDC_BAUD)->currentText(), "115200");  // nothing stored yet
    OpenOn(*view, modem.path(), "9600");
    ASSERT_EQ(Status(*view), "Opened");
    view->RunCommand(ID_PORT_CLOSE);
  }
  EXPECT_EQ(preferences.LoadBaudRate(), 9600u);
  {
    auto view = MakeView();
    EXPECT_EQ(Ctl<QComboBox>(*view, IDC_BAUD)->currentText(), "9600");
    OpenOn(*view, "/dev/orvane-no-such-device", "4800");
    EXPECT_EQ(Status(*view), "Open Failed");
    // A baud text that is no number opens at 0, which the platform refuses.
    OpenOn(*view, modem.path(), "fast");
    EXPECT_EQ(Status(*view), "Open Failed");
  }
  auto view = MakeView();
  EXPECT_EQ(Ctl<QComboBox>(*view, IDC_BAUD)->currentText(), "9600");
}

TEST_F(MainScreen, UseCheckBoxAndMenuItemShowOneFlag) {
  auto view = MakeView();
  auto* use = Ctl<QCheckBox>(*view, IDC_USE);
  ui::CommandState item;
  view->Commands().QueryState(ID_USE_PREFERENCES, &item);
  EXPECT_TRUE(item.checkable);
  EXPECT_TRUE(item.checked);

  use->click();  // the box toggles itself; the menu's query reads it
  item = {};
  view->Commands().QueryState(ID_USE_PREFERENCES, &item);
  EXPECT_FALSE(item.checked);
  EXPECT_FALSE(view->UseFlag());

  view->RunCommand(ID_USE_PREFERENCES);
  EXPECT_TRUE(use->isChecked());
  EXPECT_TRUE(view->UseFlag());
  view->RunCommand(ID_USE_PREFERENCES);
  EXPECT_FALSE(use->isChecked());
}

TEST_F(MainScreen, EnterInTheFormAndTheBaudBoxDoesNothing) {
  FakeModem modem;
  ASSERT_TRUE(modem.ok());
  auto view = MakeView();
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  auto* baud = Ctl<QComboBox>(*view, IDC_BAUD);
  Ctl<QLineEdit>(*view, IDC_PORT)->setText(QString::fromStdString(modem.path()));
  baud->setEditText("2400");
  int activations = 0;
  QObject::connect(baud, &QComboBox::activated, [&] { ++activations; });
  QTest::keyClick(baud->lineEdit(), Qt::Key_Return);
  QTest::keyClick(baud->lineEdit(), Qt::Key_Enter);
  EXPECT_EQ(activations, 0);
  EXPECT_EQ(baud->count(), 15);  // nothing inserted
  EXPECT_EQ(baud->currentText(), "2400");

  // With the focus on Open, Enter neither presses it nor reaches anything else.
  view->Control(IDC_OPEN)->setFocus();
  QTest::keyClick(view->Control(IDC_OPEN), Qt::Key_Return);
  QTest::keyClick(view.get(), Qt::Key_Return);
  EXPECT_EQ(Status(*view), "Status");
  EXPECT_FALSE(view->OpenFlag());
}

TEST_F(MainScreen, EntryFieldsRaiseAndLowerTheSoftInputPanel) {
  auto view = MakeView();
  view->show();
  view->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
  const int raised = ui::sip::RaiseCount(), lowered = ui::sip::ForceDownCount();
  view->Control(IDC_COMMAND)->setFocus();
  EXPECT_EQ(ui::sip::RaiseCount(), raised + 1);
  view->Control(IDC_USE)->setFocus();
  EXPECT_EQ(ui::sip::ForceDownCount(), lowered + 1);
  EXPECT_EQ(ui::sip::LastRequest(), ui::sip::Request::ForceDown);
}

// The send flow against a device.
class SendFlow : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    ASSERT_TRUE(modem.ok());
    view = MakeView();
    OpenOn(*view, modem.path());
    ASSERT_EQ(Status(*view), "Opened");
  }
  std::u16string HistoryFront() {
    const std::vector<std::u16string> entries = history.LoadHistory();
    return entries.empty() ? u"" : entries[0];
  }

  // A whole send; returns the real milliseconds from Send pressed to the row recorded.
  qint64 TimedSend(const QString& command) {
    QElapsedTimer timer;
    timer.start();
    Send(*view, command);
    return timer.elapsed();
  }
  // The exchanges' clock stands still: a read ends by a token or a Close, never by
  // silence.
  void StopTheClock() { view->SetTickSource([] { return 0u; }); }

  // A reply that ends on a token takes the device's answer time only, far below any
  // timeout of these tests.
  static constexpr qint64 kWellBeforeTimeoutMs = 1000;

  FakeModem modem;
  std::unique_ptr<COrvanePortView> view;
};

// "Use" is ticked from the start, but no profile is stored: the defaults apply.
TEST_F(SendFlow, WithoutAProfileTheCommandGoesUnframedAndEndsOnTheDefaultToken) {
  ASSERT_TRUE(Ctl<QCheckBox>(*view, IDC_USE)->isChecked());
  modem.QueueReply("\r\nOK\r\n");
  const qint64 elapsed = TimedSend("AT<0D>");

  ASSERT_EQ(List(*view)->RowCount(), 1);
  EXPECT_EQ(Cell(*view, 0, 0), "<0D><0A>OK<0D><0A>..");
  EXPECT_EQ(Cell(*view, 0, 1), "AT<0D>");
  EXPECT_LT(elapsed, kWellBeforeTimeoutMs);  // the default timeout is 3000 ms
  EXPECT_EQ(modem.Commands(), std::vector<std::string>{"AT\r"});
  EXPECT_EQ(HistoryFront(), u"AT<0D>");
  const auto rows = view->Responses().Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].reply, (orvane::Bytes{'\r', '\n', 'O', 'K', '\r', '\n'}));
  EXPECT_TRUE(script.messages.empty());
  // The new row is the keyboard anchor but not selected.
  EXPECT_EQ(List(*view)->SelectionMark(), 0);
  EXPECT_EQ(List(*view)->FirstSelectedRow(), -1);
}

TEST_F(SendFlow, FramedCommandJoinsPrefixAndSuffixAndRecordsOnlyTheCommand) {
  ASSERT_TRUE(preferences.SaveProfile(
      Profile(u"Modem", u"AT", u"<0D>", 2, {u"<0D><0A>DONE<0D><0A>"})));
  ASSERT_TRUE(preferences.SaveCurrentProfileName(u"Modem"));
  modem.QueueReply("\r\nDONE\r\n");
  Send(*view, "I3");
  ASSERT_EQ(List(*view)->RowCount(), 1);
  EXPECT_EQ(Cell(*view, 0, 1), "ATI3<0D>");
  EXPECT_EQ(Cell(*view, 0, 0), "<0D><0A>DONE<0D><0A>..");
  EXPECT_EQ(modem.Commands(), std::vector<std::string>{"ATI3\r"});
  EXPECT_EQ(HistoryFront(), u"I3");

  // Unticking "Use" sends the command as typed; the store is read at every send.
  Ctl<QCheckBox>(*view, IDC_USE)->click();
  modem.QueueReply("\r\nOK\r\n");
  Send(*view, "I4<0D>");
  EXPECT_EQ(Cell(*view, 1, 1), "I4<0D>");
}

TEST_F(SendFlow, AnEscapeMaySpanTheJoinOfPrefixAndCommand) {
  ASSERT_TRUE(preferences.SaveProfile(Profile(u"Split", u"<0", u">", 1, {})));
  ASSERT_TRUE(preferences.SaveCurrentProfileName(u"Split"));
  modem.QueueReply("\r\nOK\r\n");
  Send(*view, "D");
  EXPECT_EQ(modem.Commands(), std::vector<std::string>{std::string(1, '\x0D')});
  EXPECT_EQ(Cell(*view, 0, 1), "<0D>");
}

TEST_F(SendFlow, ATokenlessProfileEndsOnTheDefaultTokens) {
  ASSERT_TRUE(preferences.SaveProfile(Profile(u"Bare", u"", u"<0D>", 2, {})));
  ASSERT_TRUE(preferences.SaveCurrentProfileName(u"Bare"));
  modem.QueueReply("\r\nERROR\r\n");
  const qint64 elapsed = TimedSend("ATX");
  EXPECT_EQ(Cell(*view, 0, 0), "<0D><0A>ERROR<0D><0A..");  // cut inside the escape
  EXPECT_LT(elapsed, kWellBeforeTimeoutMs);                // the profile's is 2000 ms
}

// A current profile that is there but damaged stops the send with its reason; nothing
// reaches the device and the row list stays as it was.
TEST_F(SendFlow, ADamagedProfileStopsTheSendWithItsReason) {
  ASSERT_TRUE(preferences.SaveProfile(Profile(u"Bad", u"", u"<0D>", 2, {})));
  ASSERT_TRUE(preferences.SaveCurrentProfileName(u"Bad"));
  orvane::reg::ScopedKey key(hive(), orvane::reg::kLocalMachine,
                             u"Software\\Orvane\\Orvane Port Linewright\\Preferences\\Bad", false);
  hive().DeleteValue(key.get(), u"Suffix");
  Send(*view, "AT");
  EXPECT_EQ(script.MessageTexts(),
            QStringList{"The profile Bad cannot be loaded: it has no Suffix value. The command was not sent."});
  EXPECT_EQ(List(*view)->RowCount(), 0);
  EXPECT_TRUE(modem.Commands().empty());
  EXPECT_FALSE(view->IsReading());
}

// "AT" without a line end gets no reply: the screen says why at once and, on the user's
// word, makes a profile that adds <0D>, uses it and ends the held command with <0D>;
// "AT" then works. Asked once a run.
TEST_F(SendFlow, ACommandWithoutALineEndAndNoReplyOffersACarriageReturnProfile) {
  ASSERT_TRUE(Ctl<QCheckBox>(*view, IDC_USE)->isChecked());
  view->SetTickSource([ms = 0u]() mutable { return ms += 4000; });  // a silence passes at once
  script.answers = {ui::Answer::Yes};
  Send(*view, "AT");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !script.messages.empty(); }, 5000));
  EXPECT_EQ(script.messages[0].form, ui::MessageForm::YesNoQuestion);
  EXPECT_TRUE(script.messages[0].text.contains(QLatin1String("add <0D>"))) << script.messages[0].text.toStdString();
  orvane::PreferenceProfile made;
  ASSERT_TRUE(preferences.LoadProfile(u"Carriage Return", &made));
  EXPECT_EQ(made.suffix, u"<0D>");
  EXPECT_EQ(made.prefix, u"");
  EXPECT_EQ(made.timeout, 3);
  EXPECT_TRUE(made.tokens.empty());
  EXPECT_EQ(preferences.LoadCurrentProfileName(), u"Carriage Return");
  EXPECT_TRUE(view->UseFlag());
  ASSERT_TRUE(QTest::qWaitFor([&] { return List(*view)->RowCount() == 2 && !view->IsReading(); }, 5000));
  EXPECT_EQ(Cell(*view, 1, 1), "<0D>");

  Send(*view, "ATI");  // framed now: no hint, and none again this run
  QCoreApplication::processEvents();  // where a hint would be asked
  EXPECT_EQ(script.messages.size(), 1u);
  view->SetTickSource({});
  modem.QueueReply("\r\nOK\r\n");
  Send(*view, "AT");
  std::string received;  // the device may take "AT" and its <0D> as one command
  for (const std::string& command : modem.Commands()) received += command;
  EXPECT_EQ(received, "AT\rATI\rAT\r");
  EXPECT_EQ(Cell(*view, 3, 0), "<0D><0A>OK<0D><0A>..");
  EXPECT_EQ(history.LoadHistory(), (std::vector<std::u16string>{u"AT", u"ATI"}));
}

// The one send that waits for a silence to end its reply.
TEST_F(SendFlow, AProfileWithTokensIgnoresTheDefaultOnesAndEndsOnItsOwnTimeout) {
  ASSERT_TRUE(preferences.SaveProfile(Profile(u"Own", u"", u"", 1, {u"READY"})));
  ASSERT_TRUE(preferences.SaveCurrentProfileName(u"Own"));
  modem.QueueReply("\r\nOK\r\n");
  const qint64 elapsed = TimedSend("X");
  // "\r\nOK\r\n" is no token of this profile: its one-second silence ends the read,
  // not the default three.
  EXPECT_EQ(Cell(*view, 0, 0), "<0D><0A>OK<0D><0A>..");
  EXPECT_GE(elapsed, 1000);
  EXPECT_LT(elapsed, 3000);
}

TEST_F(SendFlow, AFailedWriteRecordsPortWriteFailedAndStillUpdatesTheHistory) {
  modem.Unplug();
  Send(*view, "ATH");
  ASSERT_EQ(List(*view)->RowCount(), 1);
  EXPECT_EQ(Cell(*view, 0, 0), "Port Write Failed..");
  EXPECT_EQ(Cell(*view, 0, 1), "ATH");
  const auto rows = view->Responses().Rows();
  EXPECT_EQ(std::string(rows[0].reply.begin(), rows[0].reply.end()), "Port Write Failed");
  EXPECT_EQ(HistoryFront(), u"ATH");
}

TEST_F(SendFlow, AFailedHistoryUpdateSaysSoAfterTheRowIsAdded) {
  hive_->FailWritesFrom(1);
  modem.QueueReply("\r\nOK\r\n");
  Send(*view, "ATI");
  EXPECT_EQ(List(*view)->RowCount(), 1);
  EXPECT_EQ(script.MessageTexts(), QStringList{"History update failed."});
  EXPECT_EQ(script.messages[0].form, ui::MessageForm::Ok);
}

TEST_F(SendFlow, PreviewsKeepTwentyCharactersAndTheStoreKeepsEveryByte) {
  std::string longReply;
  for (int i = 1; i <= 40; ++i) longReply += static_cast<char>(i);
  longReply += "\r\nOK\r\n";
  modem.QueueReply(longReply);
  Send(*view, "B");
  EXPECT_EQ(Cell(*view, 0, 0), "<01><02><03><04><05>..");
  const auto rows = view->Responses().Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(std::string(rows[0].reply.begin(), rows[0].reply.end()), longReply);
}

TEST_F(SendFlow, ClearAsksAndActsOnYesOnly) {
  modem.QueueReply("\r\nOK\r\n");
  Send(*view, "AT");
  script.answers = {ui::Answer::No};
  view->RunCommand(ID_CLEAR_RESPONSES);
  ASSERT_EQ(script.messages.size(), 1u);
  EXPECT_EQ(script.messages[0].text, "Are you sure to clear the response list?");
  EXPECT_EQ(script.messages[0].form, ui::MessageForm::YesNoQuestion);
  EXPECT_EQ(List(*view)->RowCount(), 1);
  EXPECT_EQ(view->Responses().Count(), 1);

  script.answers = {ui::Answer::Yes};
  view->RunCommand(ID_CLEAR_RESPONSES);
  EXPECT_EQ(List(*view)->RowCount(), 0);
  EXPECT_EQ(view->Responses().Count(), 0);
  // The next exchange takes slot 0 again; the line stayed open.
  modem.QueueReply("\r\nOK\r\n");
  Send(*view, "AT2");
  EXPECT_EQ(List(*view)->RowData(0), 0);
  EXPECT_TRUE(view->Line().IsOpen());
}

TEST_F(SendFlow, ShowWithoutASelectedRowAsksForOne) {
  const QString ask = "Please select from the response list, before attempting to show.";
  view->RunCommand(ID_SHOW_RESPONSE);
  EXPECT_EQ(script.MessageTexts(), QStringList{ask});

  modem.QueueReply("\r\nOK\r\n");
  Send(*view, "AT");
  view->RunCommand(ID_SHOW_RESPONSE);  // a row but none selected
  EXPECT_EQ(script.MessageTexts().count(ask), 2);

  List(*view)->SelectRow(0);
  view->RunCommand(ID_SHOW_RESPONSE);
  EXPECT_EQ(script.MessageTexts().count(ask), 2);

  script.answers = {ui::Answer::Yes};
  view->RunCommand(ID_CLEAR_RESPONSES);
  view->RunCommand(ID_SHOW_RESPONSE);  // after a clear
  EXPECT_EQ(script.MessageTexts().count(ask), 3);
}

TEST_F(SendFlow, TapAndHoldSelectsTheRowAndOffersTheResponseMenu) {
  modem.QueueReply("\r\nOK\r\n");
  Send(*view, "AT");
  modem.QueueReply("\r\nERROR\r\n");
  Send(*view, "AT+X");
  auto* list = view->ResponseList();
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  const QPoint onSecond = list->RowRect(1).center();
  EXPECT_EQ(list->RowAt(onSecond), 1);
  script.onPopup = [](QMenu&) { return int(ID_CLEAR_RESPONSES); };
  script.answers = {ui::Answer::No};
  list->TapAndHold(onSecond);
  ASSERT_EQ(script.popups.size(), 1u);
  EXPECT_EQ(script.popups[0].join('|'),
            "&Show Response|&Export Response List|-|C&lear Response List|-|&Copy|Copy Reply as &Text|"
            "Show T&ime Column");
  EXPECT_EQ(list->FirstSelectedRow(), 1);
  EXPECT_EQ(script.MessageTexts(), QStringList{"Are you sure to clear the response list?"});

  // A right click is the same gesture; a held press too.
  script.onPopup = nullptr;
  const QPoint onFirst = list->RowRect(0).center();
  QContextMenuEvent right(QContextMenuEvent::Mouse, onFirst, list->viewport()->mapToGlobal(onFirst));
  QApplication::sendEvent(list->viewport(), &right);
  EXPECT_EQ(script.popups.size(), 2u);
  EXPECT_EQ(list->FirstSelectedRow(), 0);
  QTest::mousePress(list->viewport(), Qt::LeftButton, {}, onSecond);
  EXPECT_TRUE(QTest::qWaitFor([&] { return script.popups.size() == 3; }));
  QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, onSecond);

  // With the menu flag off a hold only selects.
  list->SetMenuFlag(false);
  list->TapAndHold(onSecond);
  EXPECT_EQ(script.popups.size(), 3u);
}

TEST_F(SendFlow, DoubleTapOnARowShowsItWithoutAskingForASelection) {
  modem.QueueReply("\r\nOK\r\n");
  Send(*view, "AT");
  auto* list = view->ResponseList();
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  const QPoint p = list->RowRect(0).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, p);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, p);
  EXPECT_TRUE(script.messages.empty()) << script.MessageTexts().join('\n').toStdString();
  EXPECT_EQ(list->FirstSelectedRow(), 0);
}

// A long session: every exchange keeps its place and its own slot, appending neither
// moves the selection nor scrolls, and Clear starts again at slot 0.
TEST_F(MainScreen, TenThousandExchangesKeepTheirOrderAndSlots) {
  auto view = MakeView();
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  ResponseListCtrl* list = List(*view);
  constexpr int kRows = 10000;
  for (int i = 0; i < kRows; ++i) {
    const std::string n = std::to_string(i);
    view->AddResponseEntry(B("R" + n), U16("C" + n));
    if (i == 2) list->SelectRow(2);
    if (i % 2500 == 0) QApplication::processEvents();  // the list repaints meanwhile
  }
  QApplication::processEvents();

  ASSERT_EQ(list->RowCount(), kRows);
  ASSERT_EQ(view->Responses().Count(), kRows);
  int wrong = -1;
  for (int row = 0; row < kRows && wrong < 0; ++row) {
    const QString n = QString::number(row);
    if (list->Text(row, 0) != "R" + n + ".." || list->Text(row, 1) != "C" + n ||
        list->RowData(row) != row)
      wrong = row;
  }
  EXPECT_EQ(wrong, -1) << "row " << wrong << ": " << list->Text(wrong, 0).toStdString() << " | "
                       << list->Text(wrong, 1).toStdString() << " | " << list->RowData(wrong);
  EXPECT_EQ(list->FirstSelectedRow(), 2);
  EXPECT_EQ(list->SelectionMark(), kRows - 1);
  EXPECT_EQ(list->verticalScrollBar()->value(), 0);
  EXPECT_EQ(list->RowAt(list->RowRect(0).center()), 0);

  const auto rows = view->Responses().Rows();
  ASSERT_EQ(rows.size(), size_t(kRows));
  EXPECT_EQ(rows[9876].sent, u"C9876");
  EXPECT_EQ(std::string(rows[9876].reply.begin(), rows[9876].reply.end()), "R9876");

  // Rows and points that are not there.
  EXPECT_EQ(list->Text(kRows, 0), "");
  EXPECT_EQ(list->Text(0, 2), "");
  EXPECT_EQ(list->RowData(-1), -1);
  EXPECT_TRUE(list->RowRect(kRows).isEmpty());
  EXPECT_EQ(list->RowAt(QPoint(-5, -5)), -1);

  script.answers = {ui::Answer::Yes};
  view->RunCommand(ID_CLEAR_RESPONSES);
  EXPECT_EQ(list->RowCount(), 0);
  EXPECT_EQ(list->FirstSelectedRow(), -1);
  EXPECT_EQ(list->SelectionMark(), -1);
  view->AddResponseEntry(B("again"), u"AT");
  EXPECT_EQ(list->RowData(0), 0);
  EXPECT_EQ(list->Text(0, 0), "again..");
  // A reply cut at the size limit says so in its row; its slot keeps what was kept.
  view->AddResponseEntry(B("partial"), u"AT", orvane::ReplyEnd::kLimit);
  EXPECT_EQ(list->Text(1, 0), "[cut] partial..");
  EXPECT_EQ(view->Responses().Slot(1), B("partial"));
}

// Keys in the response list: no key opens a row for editing, Enter opens nothing, Tab
// walks no cells but leaves the list for the next control.
TEST_F(MainScreen, KeysInTheResponseListEditNoRowAndTabLeavesIt) {
  auto view = MakeView();
  view->AddResponseEntry(B("OK"), u"AT");
  view->AddResponseEntry(B("ERROR"), u"AT+BAD");
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
  ResponseListCtrl* list = List(*view);
  list->SelectRow(0);
  list->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), list);
  const QModelIndex current = list->currentIndex();
  QTest::keyClick(list, Qt::Key_F2);
  QTest::keyClicks(list, QStringLiteral("x"));
  EXPECT_EQ(list->findChild<QLineEdit*>(), nullptr) << "an editor opened on the row";
  EXPECT_EQ(list->Text(0, 0), "OK..");
  EXPECT_EQ(list->Text(0, 1), "AT");
  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Tab}) {
    QTest::keyClick(list, key);
    EXPECT_EQ(QApplication::focusWidget() == list, key != Qt::Key_Tab) << key;
    EXPECT_EQ(list->currentIndex(), current) << key;
  }
  EXPECT_TRUE(script.modalDialogs.empty());
  EXPECT_TRUE(script.messages.empty());
}

// A read waits in the event loop: a timer fires meanwhile and plays the user, whose
// commands that would start an exchange or open a dialog are refused; Close ends the
// read and records it at once.
TEST_F(SendFlow, WhileReadingTheScreenRunsButNoOtherExchangeOrDialogStarts) {
  modem.QueueReply("");  // the command gets no reply
  StopTheClock();
  bool checked = false;
  QTimer::singleShot(20, view.get(), [&] {
    EXPECT_TRUE(view->IsReading());
    EXPECT_FALSE(Enabled(*view, IDC_SEND));
    EXPECT_FALSE(Enabled(*view, IDC_PREFERENCES));
    EXPECT_FALSE(Enabled(*view, IDC_COMMAND));
    EXPECT_FALSE(Enabled(*view, IDC_PORT));
    script.answers = {ui::Answer::Yes, ui::Answer::Yes};
    view->RunCommand(IDC_SEND);
    view->RunCommand(ID_CLEAR_RESPONSES);
    view->RunCommand(ID_SHOW_RESPONSE);
    view->RunCommand(ID_PORT_OPEN);
    EXPECT_TRUE(script.messages.empty());
    QMenu menu;
    ui::LoadPopupMenu(kIdTable, IDR_RESPONSE_MENU, &menu);
    view->UpdateMenu(&menu);
    for (QAction* a : menu.actions()) EXPECT_FALSE(a->isEnabled() && !a->isSeparator()) << a->text().toStdString();
    view->RunCommand(ID_PORT_CLOSE);
    EXPECT_FALSE(view->IsReading());
    EXPECT_EQ(List(*view)->RowCount(), 1);
    checked = true;
  });
  StartSend(*view, "ATD");
  ASSERT_TRUE(QTest::qWaitFor([&] { return checked; }));
  EXPECT_EQ(Cell(*view, 0, 0), "..");  // nothing arrived
  EXPECT_EQ(Status(*view), "Closed");
  EXPECT_TRUE(Enabled(*view, IDC_PORT));  // as before the read: <Not Listed>
  ASSERT_TRUE(QTest::qWaitFor([&] { return !modem.Commands().empty(); }));
  EXPECT_EQ(modem.Commands(), std::vector<std::string>{"ATD"});
}

// Close during a read: what arrived is recorded, with the controls as the user left
// them, before the line closes.
TEST_F(SendFlow, CloseDuringAReadRecordsWhatArrivedThenCloses) {
  modem.QueueReply("partial");  // no token
  StopTheClock();
  StartSend(*view, "ATA");
  ASSERT_TRUE(WaitUntilRepliesRead(*view, modem));
  ASSERT_TRUE(view->IsReading());
  Ctl<QCheckBox>(*view, IDC_USE)->click();
  Click(*view, IDC_CLOSE);
  ASSERT_EQ(List(*view)->RowCount(), 1);
  EXPECT_EQ(Cell(*view, 0, 0), "partial..");
  ExpectState(*view, {"Closed", true, false, false, true, true}, false);
  EXPECT_FALSE(view->Line().IsOpen());
  EXPECT_FALSE(view->IsReading());
  EXPECT_EQ(HistoryFront(), u"ATA");
  EXPECT_TRUE(Enabled(*view, IDC_COMMAND));
  EXPECT_FALSE(Ctl<QCheckBox>(*view, IDC_USE)->isChecked());
  EXPECT_FALSE(view->UseFlag());
}

// Against the modem simulator itself, when it has been built.
TEST_F(MainScreen, SendsToTheModemSimulator) {
  const QByteArray bin = qgetenv("ORVANE_BINARY_DIR");
  const std::string sim = bin.toStdString() + "/tools/modemsim/orvane-modemsim";
  if (bin.isEmpty() || access(sim.c_str(), X_OK) != 0) GTEST_SKIP() << "orvane-modemsim not built";
  int toSim[2], fromSim[2];
  ASSERT_EQ(pipe(toSim), 0);
  ASSERT_EQ(pipe(fromSim), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(toSim[0], 0);
    dup2(fromSim[1], 1);
    close(toSim[1]);
    close(fromSim[0]);
    execl(sim.c_str(), sim.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(toSim[0]);
  close(fromSim[1]);
  std::string path;
  char c;
  while (read(fromSim[0], &c, 1) == 1 && c != '\n') path += c;
  ASSERT_FALSE(path.empty());

  auto view = MakeView();
  OpenOn(*view, path);
  ASSERT_EQ(Status(*view), "Opened");
  Send(*view, "AT<0D>");
  Send(*view, "ATI<0D>");
  ASSERT_EQ(List(*view)->RowCount(), 2);
  // The simulator echoes the command before its answer.
  EXPECT_EQ(Cell(*view, 0, 0), "AT<0D><0D><0A>OK<0D>..");
  const auto rows = view->Responses().Rows();
  const std::string second(rows[1].reply.begin(), rows[1].reply.end());
  EXPECT_EQ(second.substr(0, 6), "ATI\r\r\n");
  EXPECT_EQ(second.substr(second.size() - 6), "\r\nOK\r\n");
  Click(*view, IDC_CLOSE);

  close(toSim[1]);  // the simulator ends with its standard input
  int status = 0;
  waitpid(pid, &status, 0);
  close(fromSim[0]);
}

// What the device says between two commands is a row of its own with no command,
// ended by the next send; the next reply is the command's own. The viewer shows the
// rows' times.
TEST_F(SendFlow, UnsolicitedDataBetweenCommandsIsItsOwnRow) {
  modem.QueueReply("\r\nOK\r\n");
  Send(*view, "AT<0D>");
  // No line end yet: the row waits for more until the send ends it.
  modem.Say("\r\nRING");
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->Session().PendingUnsolicited() == 6; }, 5000));
  modem.QueueReply("\r\nOrvane\r\n\r\nOK\r\n");
  Send(*view, "ATI<0D>");

  ASSERT_EQ(List(*view)->RowCount(), 3);
  EXPECT_EQ(Cell(*view, 1, 0), "<0D><0A>RING..");
  EXPECT_EQ(Cell(*view, 1, 1), "");
  const auto rows = view->Responses().Rows();
  EXPECT_EQ(rows[1].reply, B("\r\nRING"));
  EXPECT_TRUE(rows[1].Unsolicited());
  EXPECT_STREQ(orvane::ReplyEndName(rows[1].end), "command");
  EXPECT_EQ(rows[2].reply, B("\r\nOrvane\r\n\r\nOK\r\n"));
  EXPECT_STREQ(orvane::ReplyEndName(rows[2].end), "token");
  EXPECT_FALSE(rows[2].Unsolicited());
  EXPECT_GT(rows[2].sentAtMs, 0);
  EXPECT_GE(rows[2].firstByteMs, 0);

  std::vector<QString> shown;
  script.onModal = [&](QDialog& d) {
    auto& viewer = static_cast<CommandResponseDialog&>(d);
    shown.push_back(viewer.SentText() + " | " + viewer.ReplyTimeText());
    return QDialog::Rejected;
  };
  for (int row : {1, 2}) {
    List(*view)->SelectRow(row);
    view->RunCommand(ID_SHOW_RESPONSE);
    List(*view)->SelectRow(-1);
  }
  ASSERT_EQ(shown.size(), 2u);
  const QRegularExpression unsolicited(R"(^Unsolicited \d\d:\d\d:\d\d\.\d{3} \| end \d+ ms, command$)");
  const QRegularExpression sent(R"(^Sent \d\d:\d\d:\d\d\.\d{3} \| 1st \d+, end \d+ ms, token$)");
  EXPECT_TRUE(unsolicited.match(shown[0]).hasMatch()) << shown[0].toStdString();
  EXPECT_TRUE(sent.match(shown[1]).hasMatch()) << shown[1].toStdString();
}

// A result that comes after the "OK" becomes a row of its own once the line has been
// silent after its line end; data still pending at Close is recorded before the line
// closes.
TEST_F(SendFlow, ALateResultAfterTheReplyIsItsOwnRow) {
  modem.QueueReply("\r\nOK\r\n");
  Send(*view, "AT+QTEMP<0D>");
  modem.Say("\r\n+QTEMP: 31\r\n");
  ASSERT_TRUE(QTest::qWaitFor([&] { return List(*view)->RowCount() == 2; }, 10000));
  const auto rows = view->Responses().Rows();
  EXPECT_EQ(rows[0].reply, B("\r\nOK\r\n"));
  EXPECT_EQ(rows[1].reply, B("\r\n+QTEMP: 31\r\n"));
  EXPECT_STREQ(orvane::ReplyEndName(rows[1].end), "silence");
  EXPECT_TRUE(view->Session().IsOpen()) << "the line is still read after a row ended";

  modem.Say("\r\nNO CARR");
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->Session().PendingUnsolicited() == 9; }, 5000));
  Click(*view, IDC_CLOSE);
  ASSERT_EQ(List(*view)->RowCount(), 3);
  EXPECT_EQ(view->Responses().At(2).reply, B("\r\nNO CARR"));
  EXPECT_EQ(view->Responses().At(2).end, orvane::ReplyEnd::kClosed);
  EXPECT_FALSE(view->Session().IsOpen());
}

// A device that goes away between commands ends the pending row as a hang-up, and the
// screen lets the dead line go instead of being woken by it without end.
TEST_F(SendFlow, AHangUpBetweenCommandsEndsThePendingRow) {
  modem.Say("\r\nRI");
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->Session().PendingUnsolicited() == 4; }, 5000));
  modem.Unplug();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !view->Session().IsOpen(); }, 5000));
  ASSERT_EQ(List(*view)->RowCount(), 1);
  EXPECT_EQ(view->Responses().At(0).reply, B("\r\nRI"));
  EXPECT_EQ(view->Responses().At(0).end, orvane::ReplyEnd::kHangup);
  EXPECT_EQ(Status(*view), "Device Gone");
}
