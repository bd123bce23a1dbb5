// orvane-screenshots: draws every screen and dialog of OrvanePort and OrvaneInstaller
// into one folder, as a person would see them (run offscreen by the "screenshots"
// build target). Each picture is taken in a state worth looking at: the main window
// before and after three exchanges with a scripted device on a pseudo-terminal, its
// menus, and every dialog filled in.
//
// Nothing it does is remembered: the program's hives are in memory, and XDG_DATA_HOME
// points into a temporary folder for the whole run, so no hive of the user's is read
// or written.
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QtTest/QTest>

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <initializer_list>
#include <memory>
#include <string>

#include "entry/BinaryCtrl.h"
#include "entry/CommandEdit.h"
#include "entry/model/CommandHistory.h"
#include "entry/CommandHistoryDialog.h"
#include "engine/LineSettingsStore.h"
#include "engine/Session.h"
#include "screen/LineSettingsDialog.h"
#include "screen/RemotePortsDialog.h"
#include "entry/EditBinaryDialog.h"
#include "screen/ExportOptionsDialog.h"
#include "installer/DesktopLink.h"
#include "installer/InstallerApp.h"
#include "installer/InstallerDialog.h"
#include "installer/SplashWindow.h"
#include "platform/Registry.h"
#include "preferences/PreferenceStore.h"
#include "preferences/PreferencesDialog.h"
#include "preferences/UserDefinedDialog.h"
#include "resources/OrvanePortIds.h"
#include "screen/CMainFrame.h"
#include "screen/COrvanePortApp.h"
#include "screen/COrvanePortView.h"
#include "notes/ReplyNotes.h"
#include "screen/CommandResponseDialog.h"
#include "screen/FindBar.h"
#include "screen/ResponseListCtrl.h"
#include "tests/support/PtyPair.h"
#include "ui/Menus.h"
#include "ui/Messages.h"
#include "ui/Zoom.h"
#include "ui/Template.h"

namespace {

using namespace orvane::port_ids;
using orvane::reg::Hive;

QString g_folder;
int g_failures = 0;

void Fail(const QString& what) {
  std::fprintf(stderr, "orvane-screenshots: %s\n", qPrintable(what));
  ++g_failures;
}

// A picture is only written when the scene is as described: |ok| false names the
// step that did not come out as planned instead.
bool Check(bool ok, const char* what) {
  if (!ok) Fail(QStringLiteral("not as planned: %1").arg(QLatin1String(what)));
  return ok;
}

void Save(const QImage& image, const QString& name) {
  const QString path = g_folder + QLatin1Char('/') + name;
  if (image.isNull() || !image.save(path))
    Fail(QStringLiteral("could not write %1").arg(path));
  else
    std::printf("%s\n", qPrintable(path));
}
void Save(QWidget& widget, const QString& name) { Save(widget.grab().toImage(), name); }

// Shows a top-level window and waits until it has the focus, as a dialog opened by a
// tap would.
bool ShowActive(QWidget& window) {
  window.show();
  window.activateWindow();
  return Check(QTest::qWaitForWindowActive(&window), "a window became active");
}

// Messages the scene did not expect are reported: they would be hidden behind the
// picture.
void ReportMessages(ui::ScriptedUi& script, const char* scene) {
  for (const auto& m : script.messages)
    Fail(QStringLiteral("%1 showed the message \"%2\"").arg(QLatin1String(scene), m.text));
  script.messages.clear();
}

// A device on a pseudo-terminal that answers each command (the bytes up to a carriage
// return) with the next of its replies. It is served by the event loop the screen
// reads in.
class ScriptedDevice {
 public:
  explicit ScriptedDevice(std::initializer_list<std::string> replies) : replies_(replies) {
    if (!pty_.ok()) return;
    notifier_ = std::make_unique<QSocketNotifier>(pty_.master(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { OnReadable(); });
  }
  ~ScriptedDevice() { notifier_.reset(); }
  ScriptedDevice(const ScriptedDevice&) = delete;
  ScriptedDevice& operator=(const ScriptedDevice&) = delete;

  bool ok() const { return pty_.ok(); }
  const std::string& path() const { return pty_.path(); }
  // The device speaks unprompted.
  bool Say(const std::string& bytes) {
    return write(pty_.master(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

 private:
  void OnReadable() {
    char buf[256];
    const ssize_t n = read(pty_.master(), buf, sizeof buf);
    if (n <= 0) return;
    pending_.append(buf, static_cast<size_t>(n));
    while (pending_.find('\r') != std::string::npos) {
      pending_.erase(0, pending_.find('\r') + 1);
      if (replies_.empty()) continue;
      const std::string reply = replies_.front();
      replies_.pop_front();
      if (write(pty_.master(), reply.data(), reply.size()) != static_cast<ssize_t>(reply.size()))
        Fail(QStringLiteral("the scripted device could not answer"));
    }
  }

  orvane::testing::PtyPair pty_;  // the screen opens its slave side, the device is its master
  std::string pending_;
  std::deque<std::string> replies_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

template <class T>
T* Ctl(QWidget* root, int id) {
  return qobject_cast<T*>(ui::FindControl(root, id));
}

std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Lists |device| in the driver table under |friendly|, as the simulator lists itself.
void AddDriver(Hive& hive, const std::string& device, const std::string& friendly) {
  using namespace orvane::reg;
  ScopedKey driver(hive, kLocalMachine, u"Drivers\\Active\\screenshots");
  hive.SetString(driver.get(), u"Name", U16(device));
  hive.SetString(driver.get(), u"Key", u"Drivers\\Screenshots");
  ScopedKey key(hive, kLocalMachine, u"Drivers\\Screenshots");
  hive.SetString(key.get(), u"FriendlyName", U16(friendly));
}

// The frame with an open pop-up menu drawn where it opened.
QImage FrameWithMenu(QWidget* frame, QMenu* menu) {
  const QImage shot = frame->grab().toImage();
  QImage canvas(qMax(shot.width(), menu->x() - frame->x() + menu->width()),
                qMax(shot.height(), menu->y() - frame->y() + menu->height()), QImage::Format_ARGB32);
  canvas.fill(Qt::white);
  QPainter painter(&canvas);
  painter.drawImage(0, 0, shot);
  painter.drawPixmap(menu->pos() - frame->pos(), menu->grab());
  return canvas;
}

// Opens |menu| at |at| (global), draws it over the frame and closes it again.
void SaveMenuOverFrame(QWidget* frame, QMenu* menu, const QPoint& at, const QString& name) {
  menu->popup(at);
  if (Check(QTest::qWaitForWindowExposed(menu), "a menu opened")) Save(FrameWithMenu(frame, menu), name);
  menu->hide();
}

// The program started on a fresh hive whose driver table lists |modem|, its window shown.
struct ScriptedWindow {
  explicit ScriptedWindow(const ScriptedDevice& modem) : hive(Hive::OpenMemory()) {
    AddDriver(*hive, modem.path(), "Simulated Modem (pts)");
    app = std::make_unique<COrvanePortApp>(*hive);
    ok = Check(app->InitInstance({QStringLiteral("OrvanePort")}), "OrvanePort started") &&
         Check(QTest::qWaitForWindowExposed(app->MainFrame()), "the main window is shown");
  }
  std::unique_ptr<Hive> hive;
  ui::ScriptedUi script;
  std::unique_ptr<COrvanePortApp> app;
  bool ok = false;
};

// Picks the scripted device in the screen's modem list (the machine's own ports are
// listed too); false when it is not there.
bool PickScriptedDevice(COrvanePortView& view) {
  auto* modems = Ctl<QComboBox>(&view, IDC_MODEM);
  const int sim = modems->findText(QStringLiteral("Simulated Modem (pts)"));
  if (!Check(sim >= 0, "the scripted device is listed")) return false;
  modems->setCurrentIndex(sim);
  emit modems->activated(sim);
  return true;
}

// Opens the line and sends |commands| in turn, each until its reply is recorded.
bool OpenAndSend(COrvanePortView& view, std::initializer_list<const char*> commands) {
  Ctl<QAbstractButton>(&view, IDC_OPEN)->click();
  if (!Check(Ctl<QLabel>(&view, IDC_STATUS)->text() == QLatin1String("Opened"), "the port opened"))
    return false;
  for (const char* command : commands) {
    Ctl<QLineEdit>(&view, IDC_COMMAND)->setText(QLatin1String(command));
    Ctl<QAbstractButton>(&view, IDC_SEND)->click();
    Check(QTest::qWaitFor([&] { return !view.IsReading(); }, 10000), command);
  }
  return true;
}

// The main window: empty with the scripted device picked, after three exchanges (the
// second row selected), its two menus and the response list's menu, then with a ring
// the device sent unprompted and the viewer with the times of an exchange; then the
// about box.
void MainWindow() {
  ScriptedDevice modem({"\r\nOK\r\n", "\r\nOrvane SimModem 1.0\r\n\r\nOK\r\n", "\r\nERROR\r\n"});
  if (!Check(modem.ok(), "a pseudo-terminal for the scripted device")) return;
  ScriptedWindow window(modem);
  if (!window.ok) return;
  ui::ScriptedUi& script = window.script;
  COrvanePortApp& app = *window.app;
  CMainFrame* frame = app.MainFrame();
  COrvanePortView& view = *app.View();

  if (!PickScriptedDevice(view)) return;
  Save(*frame, QStringLiteral("main-empty.png"));

  if (!OpenAndSend(view, {"AT<0D>", "ATI3<0D>", "AT+BAD<0D>"})) return;
  ResponseListCtrl* list = view.ResponseList();
  if (!Check(list->RowCount() == 3, "three exchanges are listed")) return;
  list->SelectRow(1);
  Save(*frame, QStringLiteral("main-three-exchanges.png"));

  QMenuBar* bar = frame->MenuBar();
  const char* names[] = {"menu-port.png", "menu-linewright.png"};
  for (int i = 0; i < 2; ++i) {
    QAction* top = bar->actions().at(i);
    SaveMenuOverFrame(frame, top->menu(), bar->mapToGlobal(bar->actionGeometry(top).bottomLeft()),
                      QLatin1String(names[i]));
  }
  QMenu response;
  ui::LoadPopupMenu(kIdTable, IDR_RESPONSE_MENU, &response);
  view.UpdateMenu(&response);
  SaveMenuOverFrame(frame, &response, list->viewport()->mapToGlobal(QPoint(60, 20)),
                    QStringLiteral("menu-response.png"));

  // The device rings between commands: a row of its own with no command, recorded once
  // the line has been silent for the timeout; then the viewer on the second exchange,
  // with its times under the caption.
  list->SelectRow(-1);
  if (Check(modem.Say("\r\nRING\r\n"), "the device rang") &&
      Check(QTest::qWaitFor([&] { return list->RowCount() == 4; }, 10000), "the ring is listed")) {
    list->SelectRow(3);
    Save(*frame, QStringLiteral("main-unsolicited-row.png"));
  }
  script.onModal = [](QDialog& d) {
    d.show();
    if (Check(QTest::qWaitForWindowExposed(&d), "the viewer is shown"))
      Save(d, QStringLiteral("command_response_times.png"));
    d.reject();
    return d.result();
  };
  list->SelectRow(1);
  view.RunCommand(ID_SHOW_RESPONSE);
  Check(script.modalDialogs.size() == 1, "the viewer opened");
  script.modalDialogs.clear();
  script.onModal = nullptr;

  script.onModal = [](QDialog& d) {
    d.show();
    Save(d, QStringLiteral("about-box.png"));
    d.reject();
    return d.result();
  };
  frame->RouteCommand(ID_APP_ABOUT);
  Check(script.modalDialogs.size() == 1, "the about box opened");

  // The same window on a desktop: enlarged to 800 x 600 (the list takes the room), with
  // the response viewer opened from it; then at its own size zoomed to 200%.
  const QSize handheld = frame->size();
  frame->resize(800, 600);
  if (Check(QTest::qWaitFor([&] { return frame->size() == QSize(800, 600) && list->width() > 600; }),
            "the window grew to 800 x 600"))
    Save(*frame, QStringLiteral("main-800x600.png"));
  script.onModal = [](QDialog& d) {
    d.show();
    Save(d, QStringLiteral("command-response-800x600.png"));
    d.reject();
    return d.result();
  };
  frame->RouteCommand(ID_SHOW_RESPONSE);
  frame->resize(handheld);
  frame->SetZoom(200);
  if (Check(QTest::qWaitFor([&] { return frame->width() == 2 * handheld.width(); }),
            "the window doubled at 200%"))
    Save(*frame, QStringLiteral("main-zoom-200.png"));
  frame->SetZoom(100);

  // A message box in the window at its own size: the text wraps to the window.
  const auto box = ui::MakeMessageBox(
      frame, QStringLiteral("Settings cannot be saved: /home/someone/.local/share/"
                            "orvane-port-linewright/handheld.hive: Permission denied."),
      ui::MessageForm::Ok);
  box->show();
  if (Check(QTest::qWaitForWindowExposed(box.get()), "the message box is shown"))
    Save(*box, QStringLiteral("message-box-wrapped.png"));
  box->hide();
  ReportMessages(script, "the main window");
  frame->hide();
}

// The window on a desktop at 1200 x 800: long replies fill the wider preview, every row
// is marked with how it ended, the time column is shown and the list follows the rows;
// then the viewer on the long reply, with its text view and rows of sixteen bytes.
void DesktopList() {
  std::string help = "\r\n";
  for (const char* line : {"AT commands of the Orvane SimModem:", "  A/  repeat the last command",
                           "  ATA answer   ATD dial   ATH hang up   ATI information",
                           "  ATS<n>=<v> set a register   ATS<n>? read a register",
                           "  AT&F factory settings   AT&V show the settings",
                           "  AT+SIMSTREAM stream data until the line is closed"})
    help += std::string(line) + "\r\n";
  help += "\r\nOK\r\n";
  ScriptedDevice modem({"\r\nOK\r\n", help, "ATX9\r\r\nERROR\r\n", "\r\n+CSQ: 21,99\r\n",
                        "\r\nOrvane SimModem 1.0 (LW-56K v2.10, firmware 2026-11-30)\r\n\r\nOK\r\n"});
  if (!Check(modem.ok(), "a pseudo-terminal for the scripted device")) return;
  ScriptedWindow window(modem);
  if (!window.ok) return;
  ui::ScriptedUi& script = window.script;
  COrvanePortApp& app = *window.app;
  CMainFrame* frame = app.MainFrame();
  COrvanePortView& view = *app.View();
  const QSize handheld = frame->size();
  frame->resize(1200, 800);
  ResponseListCtrl* list = view.ResponseList();
  if (!Check(QTest::qWaitFor([&] { return frame->size() == QSize(1200, 800) && list->Wide(); }),
             "the window grew to 1200 x 800"))
    return;
  if (!PickScriptedDevice(view)) return;
  if (!OpenAndSend(view, {"AT<0D>", "AT+HELP<0D>", "ATX9<0D>", "AT+CSQ<0D>", "ATI3<0D>"})) return;
  if (Check(modem.Say("\r\nRING\r\n"), "the device rang"))
    Check(QTest::qWaitFor([&] { return list->RowCount() == 6; }, 10000), "the ring is listed");
  // Rows that ended at the size limit and by a hang-up, as the session would record them.
  std::string stream;
  for (int i = 0; i < 40; ++i) stream += "DATA " + std::to_string(i) + " 0123456789ABCDEF\r\n";
  view.AddResponseEntry(orvane::Bytes(stream.begin(), stream.end()), u"AT+SIMSTREAM<0D>",
                        orvane::ReplyEnd::kLimit);
  view.AddResponseEntry({}, u"ATD5551234<0D>", orvane::ReplyEnd::kHangup);
  list->SetTimeColumnShown(true);
  list->SelectRow(1);
  QApplication::processEvents();
  Save(*frame, QStringLiteral("main-1200x800-list.png"));

  // The list's menu with its copy and time column items.
  script.onPopup = [](QMenu& menu) {
    menu.adjustSize();
    Save(menu, QStringLiteral("menu-response-desktop.png"));
    return 0;
  };
  list->TapAndHold(list->RowRect(1).center());
  script.onPopup = nullptr;

  script.onModal = [](QDialog& d) {
    d.show();
    if (Check(QTest::qWaitForWindowExposed(&d), "the viewer is shown"))
      Save(d, QStringLiteral("command-response-1200x800-text.png"));
    d.reject();
    return d.result();
  };
  view.RunCommand(ID_SHOW_RESPONSE);
  Check(script.modalDialogs.size() == 1, "the viewer opened");

  // The find bar on the same list, a match found and the unsolicited rows hidden.
  if (auto* bar = frame->findChild<FindBar*>(); Check(bar != nullptr, "the window has a find bar")) {
    frame->RouteCommand(ID_FIND);
    if (auto* field = bar->findChild<QLineEdit*>()) field->setText(QStringLiteral("ERROR"));
    bar->Find(true);
    frame->RouteCommand(ID_HIDE_UNSOLICITED);
    QApplication::processEvents();
    Save(*frame, QStringLiteral("main-1200x800-find.png"));
    frame->RouteCommand(ID_HIDE_UNSOLICITED);
    bar->Close();
    QApplication::processEvents();  // the window's layout lets go of the bar's height
  }
  ReportMessages(script, "the desktop list");
  // The dialogs drawn next are the handheld's size again.
  frame->resize(handheld);
  Check(QTest::qWaitFor([&] { return ui::WindowGrowth().isNull(); }), "the window is back at its size");
  frame->hide();
}

// The entry fields' menus, one per mode that has items.
void EntryMenus() {
  ui::ScriptedUi script;
  QWidget window;
  window.resize(240, 80);
  auto* field = new CommandEdit(&window);
  field->setGeometry(10, 10, 200, 24);
  if (!ShowActive(window)) return;
  field->setFocus();
  const std::pair<entry::MenuMode, const char*> menus[] = {
      {entry::MenuMode::Editing, "entry_menu_editing.png"},
      {entry::MenuMode::Binary, "entry_menu_binary.png"},
      {entry::MenuMode::History, "entry_menu_history.png"}};
  for (const auto& [mode, name] : menus) {
    field->SetMenuMode(mode);
    script.onPopup = [name = name](QMenu& menu) {
      menu.adjustSize();
      Save(menu, QLatin1String(name));
      return 0;
    };
    QTest::mouseClick(field, Qt::RightButton, {}, QPoint(field->width() / 2, field->height() / 2));
  }
  Check(script.popups.size() == 3, "three entry menus opened");
}

orvane::PreferenceProfile Profile(const std::u16string& name, const std::u16string& prefix, int timeout,
                                  std::initializer_list<std::u16string> tokens) {
  orvane::PreferenceProfile p;
  p.name = name;
  p.prefix = prefix;
  p.suffix = u"<0D>";
  p.timeout = timeout;
  p.tokens = tokens;
  return p;
}

// Picks entry |index| of a drop-down list, as a tap on it in the open list does.
void Pick(QWidget* root, int id, int index) {
  QComboBox* combo = Ctl<QComboBox>(root, id);
  if (!Check(combo && combo->isEnabled() && index < combo->count(), "a list entry can be picked")) return;
  combo->setCurrentIndex(index);
  emit combo->activated(index);
}

// Replaces a field's text by typing.
void Type(QWidget* root, int id, const QString& text) {
  QLineEdit* edit = Ctl<QLineEdit>(root, id);
  if (!Check(edit != nullptr, "a field to type into")) return;
  edit->selectAll();
  edit->del();
  QTest::keyClicks(edit, text);
}

void Tap(QWidget* root, int id) {
  if (auto* button = Ctl<QPushButton>(root, id)) QTest::mouseClick(button, Qt::LeftButton);
}

// Preferences with no profile at all, then on a profile with five tokens, the fourth
// picked; User Defined with a profile typed in and five tokens added.
void ProfileDialogs() {
  ui::ScriptedUi script;
  const std::unique_ptr<Hive> hive = Hive::OpenMemory();
  orvane::PreferenceStore store(*hive);
  {
    PreferencesDialog d(store);
    if (ShowActive(d)) Save(d, QStringLiteral("preferences_no_profiles.png"));
  }
  Check(store.SaveProfile(Profile(u"Hayes modem", u"AT", 5,
                                  {u"<0D><0A>OK<0D><0A>", u"ERROR", u"CONNECT", u"NO CARRIER", u"BUSY"})),
        "the profile with five tokens is stored");
  Check(store.SaveProfile(Profile(u"GPS", u"$", 2, {})), "the second profile is stored");
  {
    PreferencesDialog d(store);
    if (ShowActive(d)) {
      Pick(&d, IDC_TOKENS, 3);
      Save(d, QStringLiteral("preferences_five_tokens.png"));
    }
  }

  const std::unique_ptr<Hive> empty = Hive::OpenMemory();
  orvane::PreferenceStore fresh(*empty);
  UserDefinedDialog d(fresh);
  if (!ShowActive(d)) return;
  Type(&d, IDC_PROFILE_NAME, QStringLiteral("Hayes modem"));
  Type(&d, IDC_PREFIX, QStringLiteral("AT"));
  Type(&d, IDC_SUFFIX, QStringLiteral("<0D>"));
  Type(&d, IDC_TIMEOUT, QStringLiteral("5"));
  for (const char* token : {"OK", "ERROR", "CONNECT", "NO CARRIER", "BUSY"}) {
    Type(&d, IDC_TOKEN, QLatin1String(token));
    Tap(&d, IDC_ADD_TOKEN);
    Pick(&d, IDC_TOKENS, 0);
  }
  Pick(&d, IDC_TOKENS, 2);
  Save(d, QStringLiteral("user_defined_five_tokens.png"));
  ReportMessages(script, "the profile dialogs");
}

// Edit Binary with a byte half typed (the caret between its digits), the command
// history with five commands and the second selected, the response viewer with a
// 40-byte reply scrolled down two rows, and the export options.
void BinaryDialogs() {
  ui::ScriptedUi script;
  {
    EditBinaryDialog d(QStringLiteral("AT+CMGF=1<0D><0A>ATI3<0D>"));
    if (ShowActive(d)) {
      QZBinaryCtrl* editor = d.Editor();
      QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, QPoint(63, 37));  // byte 9
      QTest::keyClick(editor, Qt::Key_7);
      if (Check(editor->Model().LowDigitPending(), "a byte is half typed"))
        Save(d, QStringLiteral("edit_binary_dialog.png"));
    }
  }
  {
    const std::unique_ptr<Hive> hive = Hive::OpenMemory();
    orvane::CommandHistory history(*hive);
    const std::u16string commands[] = {u"ATI3<0D>", u"AT+CSQ<0D>", u"AT&V<0D><0A>", u"ATZ<0D>", u"AT<0D>"};
    Check(history.SaveHistory(commands), "the history is stored");
    CommandHistoryDialog d(history);
    if (ShowActive(d)) {
      d.List()->setCurrentRow(1);
      Save(d, QStringLiteral("command_history_dialog.png"));
    }
  }
  {
    CommandResponseDialog d(
        QStringLiteral("AT+CGMI;+CGMM<0D>"),
        QStringLiteral("<0D><0A>Orvane Modem Co.<0D><0A>LW-56K v2.10<0D><0A><0D><0A>OK<0D><0A>"));
    if (ShowActive(d)) {
      QScrollBar* bar = d.ResponsePane()->verticalScrollBar();
      bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      if (Check(d.ResponsePane()->Model().TopRow() == 2, "the reply is scrolled down two rows"))
        Save(d, QStringLiteral("command_response_dialog.png"));
    }
  }
  {
    // A reply with notes: an error code named under the bytes.
    orvane::Row row;
    row.sent = u"AT+CPIN?<0D>";
    const std::string reply = "\r\n+CME ERROR: 10\r\n";
    row.reply.assign(reply.begin(), reply.end());
    CommandResponseDialog d(QString::fromStdU16String(row.sent),
                            QString::fromStdU16String(orvane::EncodeBinaryText(row.reply)));
    d.SetNotes(orvane::notes::ReplyNotes(row));
    if (ShowActive(d) && Check(d.NotesView() != nullptr, "the viewer shows the notes"))
      Save(d, QStringLiteral("command_response_notes.png"));
  }
  {
    const std::unique_ptr<Hive> hive = Hive::OpenMemory();
    Check(orvane::SaveRemotePort(*hive, {u"Lab EC25", u"rfc2217://lab-server:2001"}, nullptr) &&
              orvane::SaveRemotePort(*hive, {u"Bench FT232", u"tcp://[::1]:4000"}, nullptr),
          "the remote ports are stored");
    RemotePortsDialog d(*hive);
    if (ShowActive(d)) {
      d.List()->setCurrentRow(0);
      Save(d, QStringLiteral("remote_ports_dialog.png"));
    }
  }
  {
    const std::unique_ptr<Hive> hive = Hive::OpenMemory();
    Check(orvane::SaveLineSettings(*hive, u"/dev/ttyUSB0",
                                   {7, orvane::Parity::kEven, 1, orvane::FlowControl::kRtsCts, true, true}),
          "the line settings are stored");
    orvane::Session session;
    LineSettingsDialog d(*hive, u"/dev/ttyUSB0", session);
    if (ShowActive(d)) Save(d, QStringLiteral("line_settings_dialog.png"));
  }
  {
    orvane::ExportOptionsDialog d;
    d.show();
    if (Check(QTest::qWaitForWindowExposed(&d), "the export options are shown"))
      Save(d, QStringLiteral("export_options_139.png"));
  }
  ReportMessages(script, "the binary dialogs");
}

// The installer: the window it keeps up when the handheld is connected but cannot be
// written to, and its splash.
void Installer() {
  using namespace orvane;
  {
    auto desktop = reg::Hive::OpenMemory();
    reg::ScopedKey paths(*desktop, reg::kLocalMachine, desktop::kAppPathsKey);
    desktop->SetString(paths.get(), u"", u"/bin/false");  // never started on this path
    reg::ScopedKey link(*desktop, reg::kLocalMachine, desktop::kLinkKey);
    desktop->SetString(link.get(), desktop::kStorageFolderValue, u"/proc/self");  // not writable
    desktop::InstallDesktopHive(std::move(desktop));
  }
  InstallerDialog::SetOpeningWaitMs(0);
  ui::ScriptedUi script;
  script.onModal = [](QDialog& d) {
    d.show();
    if (Check(QTest::qWaitForWindowExposed(&d), "the installer's window is shown"))
      Save(d, QStringLiteral("installer_not_reachable.png"));
    d.reject();
    return d.result();
  };
  InstallerApp().Run();
  Check(script.modalDialogs.size() == 1, "the installer's window stayed up");
  ReportMessages(script, "the installer");
  desktop::InstallDesktopHive(nullptr);

  QWidget owner;
  SplashWindow::EnableSplashScreen(true);
  SplashWindow::ShowSplashScreen(&owner);
  if (SplashWindow* splash = SplashWindow::Current(); Check(splash != nullptr, "the splash is up")) {
    Save(*splash, QStringLiteral("installer_splash.png"));
    splash->HideSplashScreen();
  }
  SplashWindow::EnableSplashScreen(false);
}

// The offscreen platform says at every raise and keyboard grab that it cannot: no news
// here.
QtMessageHandler g_defaultHandler = nullptr;
void QuietOffscreenNotices(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (text.startsWith(QLatin1String("This plugin does not support"))) return;
  g_defaultHandler(type, context, text);
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir data;
  if (!data.isValid() || ::setenv("XDG_DATA_HOME", QFile::encodeName(data.path()).constData(), 1) != 0) {
    std::fprintf(stderr, "orvane-screenshots: no temporary folder for the hives\n");
    return 1;
  }
  // The window's session journals go there too.
  ::setenv("XDG_STATE_HOME", QFile::encodeName(data.path()).constData(), 1);
  g_defaultHandler = qInstallMessageHandler(QuietOffscreenNotices);
  QApplication app(argc, argv);
  const QStringList args = QApplication::arguments();
  if (args.size() != 2 || args[1].startsWith(QLatin1Char('-'))) {
    std::fprintf(stderr, "usage: orvane-screenshots FOLDER\n"
                         "Writes a PNG of every screen and dialog into FOLDER.\n");
    return 2;
  }
  g_folder = QDir(args[1]).absolutePath();
  if (!QDir().mkpath(g_folder)) {
    std::fprintf(stderr, "orvane-screenshots: cannot make %s\n", qPrintable(g_folder));
    return 1;
  }
  RegisterBinaryCtrlClass();

  MainWindow();
  DesktopList();
  EntryMenus();
  ProfileDialogs();
  BinaryDialogs();
  Installer();
  return g_failures == 0 ? 0 : 1;
}
