// Shared set-up of the main screen's tests: an in-memory hive for the screen (with writes
// that can be made to fail) and the stores on it, the scripted message seam, and a
// screen built and initialised as the program builds it.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>
#include <poll.h>

#include <memory>
#include <string>

#include "entry/model/CommandHistory.h"
#include "platform/Registry.h"
#include "preferences/PreferenceStore.h"
#include "resources/OrvanePortIds.h"
#include "screen/COrvanePortApp.h"
#include "screen/COrvanePortView.h"
#include "screen/ResponseListCtrl.h"
#include "tests/platform/FaultyHive.h"
#include "tests/screen/FakeModem.h"
#include "ui/Look.h"
#include "ui/Menus.h"
#include "ui/Messages.h"

namespace screen_test {

using namespace orvane::port_ids;

inline std::u16string U16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class ScreenTest : public ::testing::Test {
 protected:
  orvane::reg::Hive& hive() { return *hive_; }

  // One driver of Drivers\Active with a configuration key holding |friendly|.
  void AddDriver(const std::string& sub, const std::string& device, const std::string& friendly) {
    using namespace orvane::reg;
    ScopedKey driver(hive(), kLocalMachine, U16("Drivers\\Active\\" + sub));
    ASSERT_TRUE(driver.ok());
    hive().SetString(driver.get(), u"Name", U16(device));
    const std::string config = "Drivers\\Test\\" + sub;
    hive().SetString(driver.get(), u"Key", U16(config));
    ScopedKey key(hive(), kLocalMachine, U16(config));
    hive().SetString(key.get(), u"FriendlyName", U16(friendly));
  }

  // A screen as the program makes it: constructed, then its initial update.
  std::unique_ptr<COrvanePortView> MakeView() {
    auto view = std::make_unique<COrvanePortView>(*hive_);
    view->OnInitialUpdate();
    return view;
  }

  const std::unique_ptr<orvane::testing::FaultyHive> hive_ =
      std::make_unique<orvane::testing::FaultyHive>(orvane::reg::Hive::OpenMemory());
  orvane::PreferenceStore preferences{*hive_};
  orvane::CommandHistory history{*hive_};
  ui::ScriptedUi script;
};

template <class T>
T* Ctl(COrvanePortView& view, int id) {
  return qobject_cast<T*>(view.Control(id));
}

inline QString Status(COrvanePortView& view) {
  return Ctl<QLabel>(view, IDC_STATUS)->text();
}
inline bool Enabled(COrvanePortView& view, int id) { return view.Control(id)->isEnabled(); }
inline void Click(COrvanePortView& view, int id) { Ctl<QAbstractButton>(view, id)->click(); }

// Opens the line on |path| through the real controls: "<Not Listed>", the port typed in.
inline void OpenOn(COrvanePortView& view, const std::string& path, const QString& baud = "115200") {
  auto* modems = Ctl<QComboBox>(view, IDC_MODEM);
  const int notListed = modems->findData(COrvanePortView::kNotListed);
  modems->setCurrentIndex(notListed);
  emit modems->activated(notListed);
  Ctl<QLineEdit>(view, IDC_PORT)->setText(QString::fromStdString(path));
  Ctl<QComboBox>(view, IDC_BAUD)->setEditText(baud);
  Click(view, IDC_OPEN);
}

// Types |command| and presses Send: the exchange starts and runs on in the event loop.
inline void StartSend(COrvanePortView& view, const QString& command) {
  Ctl<QLineEdit>(view, IDC_COMMAND)->setText(command);
  Click(view, IDC_SEND);
}

// A whole send: pressed, then the events handled until the exchange is recorded.
inline void Send(COrvanePortView& view, const QString& command) {
  StartSend(view, command);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !view.IsReading(); }, 10000))
      << "still reading the reply to " << command.toStdString();
}

// Handles events until |modem| has written |replies| replies and the screen has read
// every byte of them. poll() on the line passes on what the pty still holds, so no
// input waiting there means the screen has taken it.
inline bool WaitUntilRepliesRead(COrvanePortView& view, const FakeModem& modem, int replies = 1) {
  return QTest::qWaitFor([&] {
    pollfd p{view.Line().Descriptor(), POLLIN, 0};
    return modem.repliesWritten >= replies && poll(&p, 1, 0) == 0;
  });
}

inline ResponseListCtrl* List(COrvanePortView& view) { return view.ResponseList(); }
inline QString Cell(COrvanePortView& view, int row, int column) {
  return List(view)->Text(row, column);
}

}  // namespace screen_test
