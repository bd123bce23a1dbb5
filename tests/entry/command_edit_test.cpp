// The entry controls: press-and-hold and right-click menus per mode, the clipboard
// items, Edit As Binary and Command History from the menu, double tap, and the
// Enter-key filter on fields and combo boxes.
#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <memory>

#include "entry/BinaryCtrl.h"
#include "entry/CommandEdit.h"
#include "entry/EntryComboBox.h"
#include "entry/model/CommandHistory.h"
#include "platform/Registry.h"
#include "resources/OrvanePortIds.h"
#include "ui/EnterKeyFilter.h"
#include "ui/Menus.h"
#include "ui/Messages.h"
#include "ui/Template.h"
#include "ui/TemplateDialog.h"
#include "ui/TemplateHost.h"

namespace {

using namespace orvane::port_ids;
using entry::MenuMode;

// The modes in order, and the menu each shows.
constexpr MenuMode kModes[] = {MenuMode::None, MenuMode::Editing, MenuMode::Binary,
                               MenuMode::History};
const QStringList kMenus[] = {
    {},
    {"Cut", "Copy", "Paste", "Undo"},
    {"Edit As Binary", "-", "Cut", "Copy", "Paste", "Undo"},
    {"Command History", "Edit As Binary", "-", "Cut", "Copy", "Paste", "Undo"},
};

class CommandEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterBinaryCtrlClass();
    window_ = std::make_unique<QWidget>();
    window_->resize(240, 80);
    field_ = new CommandEdit(window_.get());
    field_->setGeometry(10, 10, 200, 24);
    window_->show();
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    field_->setFocus();
  }
  void TearDown() override {
    window_.reset();
  }
  QPoint Middle() const { return QPoint(field_->width() / 2, field_->height() / 2); }
  // True while a press waits for its verdict: a timer of the field is still running.
  bool HoldPending() const {
    for (const QTimer* timer : field_->findChildren<QTimer*>())
      if (timer->isActive()) return true;
    return false;
  }
  // Chooses |command| from the next menu.
  void Choose(int command) {
    script.onPopup = [command](QMenu&) { return command; };
  }
  void RightClick() { QTest::mouseClick(field_, Qt::RightButton, {}, Middle()); }

  ui::ScriptedUi script;
  std::unique_ptr<QWidget> window_;
  CommandEdit* field_ = nullptr;
};

TEST_F(CommandEditTest, EachModeShowsItsItemsInOrderAndQtsOwnMenuNever) {
  EXPECT_EQ(field_->MenuMode(), MenuMode::None) << "no menu until the screen sets one";
  for (int mode = 0; mode <= 3; ++mode) {
    field_->SetMenuMode(kModes[mode]);
    RightClick();
    ASSERT_EQ(script.popups.size(), static_cast<size_t>(mode + 1));
    EXPECT_EQ(script.popups.back(), kMenus[mode]) << mode;
  }
  // Every item carries its command value and is enabled, whatever the field holds.
  field_->SetMenuMode(MenuMode::History);
  QList<int> ids;
  script.onPopup = [&ids](QMenu& menu) {
    for (QAction* a : menu.actions()) {
      ids << ui::CommandIdOf(a);
      EXPECT_TRUE(a->isEnabled());
      EXPECT_FALSE(a->isCheckable());
    }
    return 0;
  };
  RightClick();
  EXPECT_EQ(ids, (QList<int>{32787, 32786, 0, 57635, 57634, 57637, 57643}));
  for (QWidget* w : QApplication::topLevelWidgets())
    EXPECT_FALSE(qobject_cast<QMenu*>(w) && w->isVisible()) << "a menu other than ours is showing";
  field_->SetMenuMode(static_cast<MenuMode>(7));
  EXPECT_EQ(field_->MenuMode(), MenuMode::None) << "a value outside the modes means no menu";
}

TEST_F(CommandEditTest, PressAndHoldOpensTheMenuWithoutMovingTheCaret) {
  field_->SetMenuMode(MenuMode::Editing);
  field_->setText(QStringLiteral("ATZ ABC DEF"));
  field_->setCursorPosition(2);
  const QPoint end(field_->width() - 4, field_->height() / 2);
  QTest::mousePress(field_, Qt::LeftButton, {}, end);
  EXPECT_EQ(field_->cursorPosition(), 2) << "the press waits for the verdict";
  EXPECT_TRUE(HoldPending());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !script.popups.empty(); }, 5000));
  EXPECT_EQ(script.popups.front(), kMenus[1]);
  QTest::mouseRelease(field_, Qt::LeftButton, {}, end);
  EXPECT_EQ(field_->cursorPosition(), 2);
  EXPECT_FALSE(field_->hasSelectedText());
  // Right click: the same menu, the caret stays too.
  RightClick();
  EXPECT_EQ(script.popups.size(), 2u);
  EXPECT_EQ(field_->cursorPosition(), 2);

  // A tap is an ordinary press: the caret moves and no menu opens, then or when the
  // hold time would have run out (a verdict still pending is waited for).
  QTest::mouseClick(field_, Qt::LeftButton, {}, end);
  EXPECT_EQ(field_->cursorPosition(), field_->text().size());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !HoldPending(); }, 5000));
  EXPECT_EQ(script.popups.size(), 2u);

  // Moving away before the verdict is an ordinary drag: it selects, no menu opens.
  QTest::mousePress(field_, Qt::LeftButton, {}, QPoint(2, end.y()));
  QTest::mouseMove(field_, QPoint(field_->width() / 2, end.y()));
  QTest::mouseMove(field_, end);
  QTest::mouseRelease(field_, Qt::LeftButton, {}, end);
  EXPECT_EQ(field_->selectedText(), QStringLiteral("ATZ ABC DEF"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !HoldPending(); }, 5000));
  EXPECT_EQ(script.popups.size(), 2u);
}

TEST_F(CommandEditTest, ClipboardItemsActOnTheFieldAndCopyWithoutSelectionKeepsTheClipboard) {
  field_->SetMenuMode(MenuMode::Editing);
  QClipboard* clipboard = QApplication::clipboard();
  clipboard->setText(QStringLiteral("kept"));
  field_->setText(QStringLiteral("AT+CSQ"));
  field_->deselect();
  Choose(ID_EDIT_COPY);
  RightClick();
  EXPECT_EQ(clipboard->text(), QStringLiteral("kept"));

  field_->setSelection(3, 3);
  RightClick();
  EXPECT_EQ(clipboard->text(), QStringLiteral("CSQ"));

  field_->setSelection(0, 3);
  Choose(ID_EDIT_CUT);
  RightClick();
  EXPECT_EQ(field_->text(), QStringLiteral("CSQ"));
  EXPECT_EQ(clipboard->text(), QStringLiteral("AT+"));

  field_->setCursorPosition(3);
  Choose(ID_EDIT_PASTE);
  RightClick();
  EXPECT_EQ(field_->text(), QStringLiteral("CSQAT+"));

  Choose(ID_EDIT_UNDO);
  RightClick();
  EXPECT_EQ(field_->text(), QStringLiteral("CSQ"));

  // Dismissed, or a value no item has: nothing changes.
  for (int command : {0, 4242}) {
    Choose(command);
    RightClick();
    EXPECT_EQ(field_->text(), QStringLiteral("CSQ"));
  }
}

TEST_F(CommandEditTest, EditAsBinaryReplacesTheTextOnlyOnOk) {
  field_->SetMenuMode(MenuMode::Binary);
  field_->setText(QStringLiteral("AT<0d>"));
  Choose(ID_EDIT_AS_BINARY);
  QString shownText;
  script.onModal = [&](QDialog& d) {
    d.reject();
    return d.result();
  };
  RightClick();
  ASSERT_EQ(script.modalDialogs.size(), 1u);
  EXPECT_EQ(script.modalDialogs[0], QStringLiteral("EditBinaryDialog"));
  EXPECT_EQ(field_->text(), QStringLiteral("AT<0d>"));

  // OK without an edit still gives the text back in canonical form.
  script.onModal = [&](QDialog& d) {
    static_cast<ui::TemplateDialog&>(d).Press(ui::IDOK);
    return d.result();
  };
  RightClick();
  EXPECT_EQ(field_->text(), QStringLiteral("AT<0D>"));
}

TEST_F(CommandEditTest, CommandHistoryPutsThePickedCommandInTheField) {
  auto hive = orvane::reg::Hive::OpenMemory();
  orvane::CommandHistory history(*hive);
  ASSERT_TRUE(history.AddToHistory(u"AT+CSQ"));
  ASSERT_TRUE(history.AddToHistory(u"ATI"));
  field_->SetMenuMode(MenuMode::History);
  field_->SetHistory(history);
  field_->setText(QStringLiteral("typed"));
  Choose(ID_COMMAND_HISTORY);
  RightClick();  // the seam cancels it
  ASSERT_EQ(script.modalDialogs.size(), 1u);
  EXPECT_EQ(script.modalDialogs[0], QStringLiteral("CommandHistoryDialog"));
  EXPECT_EQ(field_->text(), QStringLiteral("typed"));

  script.onModal = [](QDialog& d) {
    static_cast<ui::TemplateDialog&>(d).Press(ui::IDOK);
    return d.result();
  };
  RightClick();
  EXPECT_EQ(field_->text(), QStringLiteral("ATI")) << "the newest command is picked first";
}

TEST_F(CommandEditTest, DoubleTapOpensEditBinaryInModesBinaryAndHistoryAndNeverSelectsAWord) {
  for (int mode = 0; mode <= 3; ++mode) {
    field_->SetMenuMode(kModes[mode]);
    field_->setText(QStringLiteral("hello world"));
    field_->deselect();
    const size_t before = script.modalDialogs.size();
    QTest::mouseDClick(field_, Qt::LeftButton, {}, QPoint(8, field_->height() / 2));
    const bool opens = mode >= 2;
    EXPECT_EQ(script.modalDialogs.size(), before + (opens ? 1 : 0)) << mode;
    if (opens) {
      EXPECT_EQ(script.modalDialogs.back(), QStringLiteral("EditBinaryDialog"));
    }
    EXPECT_FALSE(field_->hasSelectedText()) << mode;
    EXPECT_EQ(field_->text(), QStringLiteral("hello world")) << "the seam cancelled it";
  }
  EXPECT_TRUE(script.popups.empty()) << "a double tap is no press-and-hold";
}

TEST(EntryControls, EnterEscapeAndTabInEveryEntryControlLeaveTheDialogAlone) {
  RegisterEntryControlClasses();
  EXPECT_TRUE(ui::IsControlClassRegistered(QStringLiteral("CommandEdit")));
  EXPECT_TRUE(ui::IsControlClassRegistered(QStringLiteral("EntryComboBox")));
  auto tmpl = ui::ParseTemplate(QStringLiteral(
      "DIALOG 950 135 153\n"
      "DEFPUSHBUTTON 1 \"OK\" 63 1 31 13\n"
      "PUSHBUTTON 2 \"Cancel\" 97 1 31 13\n"
      "EDITTEXT 1013 \"\" 7 20 120 13 CLASS=CommandEdit\n"
      "EDITTEXT 1003 \"\" 7 35 120 13 READONLY CLASS=CommandEdit\n"
      "COMBOBOX 1001 \"\" 7 50 120 60 DROPDOWNLIST CLASS=EntryComboBox\n"
      "COMBOBOX 1036 \"\" 7 65 120 60 DROPDOWN CLASS=EntryComboBox\n"));
  ASSERT_TRUE(tmpl.has_value());
  QDialog dialog;
  ui::TemplateHost host(&dialog, *tmpl);
  int okPressed = 0;
  QObject::connect(host.Control<QPushButton>(ui::IDOK), &QPushButton::clicked, [&] { ++okPressed; });
  ASSERT_NE(host.Control<CommandEdit>(1013), nullptr);
  EXPECT_TRUE(host.Control<CommandEdit>(1003)->isReadOnly());
  auto* modems = host.Control<EntryComboBox>(1001);
  auto* baud = host.Control<EntryComboBox>(1036);
  ASSERT_NE(modems, nullptr);
  ASSERT_NE(baud, nullptr);
  EXPECT_FALSE(modems->isEditable());
  ASSERT_TRUE(baud->isEditable());
  EXPECT_TRUE(ui::HasEnterKeyFilter(baud->lineEdit())) << "the baud box's own edit box";
  modems->addItems({"COM1", "COM2"});

  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  // Enter stays in each field; Tab moves on to the next one, in the template's order.
  const std::vector<QWidget*> fields = {host.Control(1013), host.Control(1003), host.Control(1001),
                                        host.Control(1036)};
  for (size_t i = 0; i < fields.size(); ++i) {
    QWidget* target = fields[i];
    target->setFocus();
    QWidget* focused = QApplication::focusWidget();
    ASSERT_EQ(focused, target);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(focused, key);
    EXPECT_TRUE(dialog.isVisible()) << ui::ControlIdOf(target);
    EXPECT_EQ(QApplication::focusWidget(), target) << ui::ControlIdOf(target);
    if (i + 1 == fields.size()) break;
    QTest::keyClick(focused, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), fields[i + 1]) << ui::ControlIdOf(target);
  }
  // The baud box's own edit box filters too, when keys reach it directly; Escape there
  // cancels the dialog.
  QTest::keyClicks(baud->lineEdit(), QStringLiteral("9600"));
  QTest::keyClick(baud->lineEdit(), Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(baud->currentText(), QStringLiteral("9600"));
  EXPECT_EQ(okPressed, 0);
  QTest::keyClick(baud->lineEdit(), Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

}  // namespace
