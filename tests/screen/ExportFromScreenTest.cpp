// "Export Response List" from the main screen's response list menu: the rows the
// screen recorded from a real exchange on a pseudo-terminal reach the file.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QMenu>
#include <QLineEdit>
#include <QMenuBar>
#include <QToolBar>
#include <QPushButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "export/ResponseListWriter.h"
#include "platform/Registry.h"
#include "resources/OrvanePortIds.h"
#include "screen/CMainFrame.h"
#include "screen/COrvanePortView.h"
#include "screen/ResponseListCtrl.h"
#include "tests/support/PtyPair.h"
#include "ui/Menus.h"
#include "ui/Messages.h"
#include "ui/Template.h"

namespace fs = std::filesystem;
using namespace orvane::port_ids;

namespace {

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Click(QWidget* root, int id) {
  auto* button = qobject_cast<QAbstractButton*>(ui::FindControl(root, id));
  ASSERT_NE(button, nullptr) << id;
  if (qobject_cast<QCheckBox*>(button))
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
  else
    QTest::mouseClick(button, Qt::LeftButton);
}

// Right click on the list, the desktop's tap-and-hold, at |pos| in the list.
void HoldOnList(ResponseListCtrl* list, const QPoint& pos) {
  QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list->viewport()->mapToGlobal(pos));
  QApplication::sendEvent(list->viewport(), &event);
}

}  // namespace

TEST(ExportFromScreen, ResponseListMenuWritesTheRecordedExchanges) {
  const auto hive = orvane::reg::Hive::OpenMemory();  // outlives the frame and its view
  orvane::testing::PtyPair pty;
  ASSERT_TRUE(pty.ok());

  ui::ScriptedUi script;
  CMainFrame frame;
  ASSERT_TRUE(frame.Create());
  auto* owned = new COrvanePortView(*hive);
  frame.SetView(owned);  // the frame owns the view
  COrvanePortView& view = *owned;
  view.OnInitialUpdate();
  frame.show();

  // Open the pseudo-terminal as a port that is not listed, without a profile.
  auto* modems = qobject_cast<QComboBox*>(view.Control(IDC_MODEM));
  ASSERT_NE(modems, nullptr);
  modems->setCurrentIndex(modems->findData(COrvanePortView::kNotListed));
  view.OnSelectDevice();
  qobject_cast<QLineEdit*>(view.Control(IDC_PORT))
      ->setText(QString::fromStdString(pty.path()));
  if (auto* use = qobject_cast<QCheckBox*>(view.Control(IDC_USE)); use->isChecked())
    Click(&view, IDC_USE);
  Click(&view, IDC_OPEN);
  ASSERT_TRUE(view.OpenFlag());

  // Two exchanges; the device answers once each command is sent (what waits on the
  // line before a send is a row of its own).
  auto* command = qobject_cast<QLineEdit*>(view.Control(IDC_COMMAND));
  for (const auto& [sent, reply] : {std::pair<QString, std::string>{"AT<0D>", "\r\nOK\r\n"},
                                    {"ATI", "\r\n\xE9rror\r\nERROR\r\n"}}) {
    command->setText(sent);
    Click(&view, IDC_SEND);
    pty.Send(reply);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.IsReading(); }, 10000)) << sent.toStdString();
  }
  auto* list = view.ResponseList();
  ASSERT_EQ(list->RowCount(), 2);

  const fs::path file = fs::path(std::getenv("ORVANE_BINARY_DIR") ? std::getenv("ORVANE_BINARY_DIR")
                                                                   : fs::temp_directory_path().c_str()) /
                        "export-test" / "from-screen.TXT";
  fs::create_directories(file.parent_path());
  fs::remove(file);
  script.onPopup = [](QMenu&) { return ID_EXPORT_RESPONSES; };
  script.onModal = [](QDialog& d) {
    Click(&d, IDC_COMMAND_BINARY);  // add "Command Binary"
    Click(&d, 1);
    return d.result();
  };
  script.onSaveFile = [&](const ui::SaveFileRequest&) {
    return std::optional<QString>(QString::fromStdString(file.string()));
  };
  HoldOnList(list, list->RowRect(1).center());

  ASSERT_EQ(script.popups.size(), 1u);
  EXPECT_TRUE(script.popups[0].contains(QStringLiteral("&Export Response List")));
  ASSERT_EQ(script.MessageTexts(), QStringList{QStringLiteral("Response list exported successfully.")});

  orvane::ExportOptions options;
  options.exportCommandBinary = true;
  const std::vector<orvane::ExportRow> expected = {
      {u"AT<0D>", {'\r', '\n', 'O', 'K', '\r', '\n'}},
      {u"ATI", orvane::Bytes({'\r', '\n', 0xE9, 'r', 'r', 'o', 'r', '\r', '\n', 'E', 'R', 'R', 'O', 'R', '\r', '\n'})},
  };
  EXPECT_EQ(ReadFile(file), orvane::FormatResponseList(expected, options));
}

namespace {

QAction* FindCommand(QWidget* root, int id) {
  for (QAction* action : root->findChildren<QAction*>())
    if (ui::CommandIdOf(action) == id && !action->menu()) return action;
  return nullptr;
}

}  // namespace

TEST(ExportFromScreen, MenuBarItemAndToolButtonRunTheSameCommand) {
  const auto hive = orvane::reg::Hive::OpenMemory();  // outlives the frame and its view
  ui::ScriptedUi script;
  CMainFrame frame;
  ASSERT_TRUE(frame.Create());
  auto* view = new COrvanePortView(*hive);
  frame.SetView(view);
  view->OnInitialUpdate();
  frame.show();

  const fs::path file = fs::path(std::getenv("ORVANE_BINARY_DIR") ? std::getenv("ORVANE_BINARY_DIR")
                                                                   : fs::temp_directory_path().c_str()) /
                        "export-test" / "from-frame.TXT";
  fs::create_directories(file.parent_path());
  script.onModal = [](QDialog& d) {
    Click(&d, 1);
    return d.result();
  };
  script.onSaveFile = [&](const ui::SaveFileRequest&) {
    return std::optional<QString>(QString::fromStdString(file.string()));
  };

  // The "Linewright" menu's item, then the command bar's button.
  QAction* item = nullptr;
  for (QAction* top : frame.MenuBar()->actions())
    if (top->menu())
      for (QAction* a : top->menu()->actions())
        if (ui::CommandIdOf(a) == ID_EXPORT_RESPONSES) item = a;
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text(), QStringLiteral("&Export Response List"));
  fs::remove(file);
  item->trigger();
  EXPECT_EQ(ReadFile(file), orvane::kExportHeading);  // an empty list: the heading only

  QAction* button = FindCommand(frame.CommandBar(), ID_EXPORT_RESPONSES);
  ASSERT_NE(button, nullptr);
  fs::remove(file);
  button->trigger();
  EXPECT_EQ(ReadFile(file), orvane::kExportHeading);
  EXPECT_EQ(script.MessageTexts(), (QStringList{"Response list exported successfully.",
                                                "Response list exported successfully."}));
}
