// The UI foundation: templates, bindings, the command table, the message seam and
// the Enter-key filter.
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "resources/OrvanePortIds.h"
#include "ui/CommandTable.h"
#include "ui/EnterKeyFilter.h"
#include "ui/Look.h"
#include "ui/Menus.h"
#include "ui/Messages.h"
#include "ui/SoftInputPanel.h"
#include "ui/Template.h"
#include "ui/TemplateDialog.h"
#include "ui/TemplateHost.h"

namespace {

const char* kSample = R"(# sample
DIALOG 900 135 153
DEFPUSHBUTTON 1 "OK" 97 1 31 13
PUSHBUTTON 2 "Cancel" 63 1 31 13
LTEXT 1011 "Sample" 7 4 48 8 CAPTION
EDITTEXT 1004 "" 67 18 61 13 AUTOHSCROLL
EDITTEXT 1014 "" 97 47 31 13
COMBOBOX 1001 "" 39 14 89 119 DROPDOWNLIST SORT VSCROLL
AUTOCHECKBOX 1025 "Use" 57 57 23 10 BLUE
CTEXT 1003 "Status, ""quoted""" 72 29 56 8
)";

ui::DialogTemplate Sample() {
  QString error;
  auto t = ui::ParseTemplate(QString::fromUtf8(kSample), &error);
  EXPECT_TRUE(t.has_value()) << error.toStdString();
  return *t;
}

TEST(Template, ParsesControlsAndRejectsBadLines) {
  const auto t = Sample();
  EXPECT_EQ(t.id, 900);
  ASSERT_EQ(t.controls.size(), 8u);
  EXPECT_EQ(t.controls[5].kind, ui::ControlKind::Combo);
  EXPECT_TRUE(t.controls[5].Has("SORT"));
  EXPECT_EQ(t.controls[7].text, QStringLiteral("Status, \"quoted\""));
  EXPECT_EQ(t.controls[7].alignment & Qt::AlignHCenter, Qt::AlignHCenter);

  QString error;
  EXPECT_FALSE(ui::ParseTemplate(QStringLiteral("DIALOG 1 2 3\nWIDGET 5 \"x\" 1 2 3 4"), &error));
  EXPECT_TRUE(error.contains(QStringLiteral("line 2")));
  EXPECT_FALSE(ui::ParseTemplate(QStringLiteral("LTEXT 5 \"x\" 1 2 3 4")));  // no DIALOG
  EXPECT_FALSE(ui::ParseTemplate(QStringLiteral("DIALOG 1 2 3\nLTEXT 5 \"x 1 2 3 4")));
}

// A program's resources name their ids; numbers and names the program lacks are refused.
TEST(Template, ResolvesIdNamesThroughTheProgramsTable) {
  static constexpr orvane::res::IdName kIds[] = {{"IDD_SAMPLE", 900}, {"IDC_NAME", 1004},
                                                 {"IDB_RULE", 130}};
  const auto named = ui::ParseTemplate(QStringLiteral("DIALOG IDD_SAMPLE 135 153\n"
                                                      "DEFPUSHBUTTON IDOK \"OK\" 97 1 31 13\n"
                                                      "EDITTEXT IDC_NAME \"\" 67 18 61 13\n"
                                                      "BITMAP -1 IDB_RULE 0 12 160 13"),
                                       kIds);
  ASSERT_TRUE(named);
  EXPECT_EQ(named->id, 900);
  EXPECT_EQ(named->controls[0].id, ui::IDOK);
  EXPECT_EQ(named->controls[1].id, 1004);
  EXPECT_EQ(named->controls[2].id, -1);
  EXPECT_EQ(named->controls[2].picture, 130);

  for (const char* bad : {"DIALOG 900 135 153",
                          "DIALOG IDD_SAMPLE 1 1\nEDITTEXT 1004 \"\" 1 1 1 1",
                          "DIALOG IDD_SAMPLE 1 1\nEDITTEXT IDC_OTHER \"\" 1 1 1 1",
                          "DIALOG IDD_SAMPLE 1 1\nBITMAP -1 \"IDB_RULE\" 1 1 1 1",
                          "DIALOG IDD_SAMPLE 1 1\nCOMBOBOX IDC_NAME \"\" 1 1 1 1\nDLGINIT 1004"}) {
    QString error;
    EXPECT_FALSE(ui::ParseTemplate(QString::fromLatin1(bad), kIds, &error)) << bad;
    EXPECT_TRUE(error.startsWith(QStringLiteral("line "))) << bad;
  }

  QStringList others;
  const auto strings = ui::ParseStringTable(
      QStringLiteral("# comment \"x\"\nIDC_NAME \"a\\nb\"\nIDS_ELSEWHERE \"c\"\n1004 \"d\""), kIds,
      &others);
  EXPECT_EQ(strings, (QHash<int, QString>{{1004, QStringLiteral("a\nb")}}));
  EXPECT_EQ(others, (QStringList{"IDS_ELSEWHERE", "1004"}));
}

TEST(Template, BuildsControlsAtDialogUnitScaleWithIdsAndLook) {
  QWidget owner;
  ui::TemplateHost host(&owner, Sample());
  EXPECT_EQ(owner.size(), QSize(ui::DluToPx(135), ui::DluToPx(153)));
  auto* edit = host.Control<QLineEdit>(1004);
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->geometry(), ui::DluRect(67, 18, 61, 13));
  EXPECT_EQ(ui::ControlIdOf(edit), 1004);
  EXPECT_EQ(host.Control(4242), nullptr);
  // Caption: bold 15-pixel font, blue text; buttons blue too.
  auto* caption = host.Control<QLabel>(1011);
  EXPECT_EQ(caption->font().pixelSize(), 15);
  EXPECT_EQ(caption->font().weight(), QFont::Bold);
  EXPECT_EQ(caption->palette().color(QPalette::WindowText), QColor(0, 0, 225));
  EXPECT_EQ(host.Control(2)->palette().color(QPalette::ButtonText), QColor(0, 0, 225));
  EXPECT_EQ(host.Control(1025)->palette().color(QPalette::WindowText), QColor(0, 0, 225));
}

TEST(Template, SortedComboPutsSymbolsBeforeDigitsBeforeLetters) {
  QWidget owner;
  ui::TemplateHost host(&owner, Sample());
  auto* combo = host.Control<QComboBox>(1001);
  ui::AddComboItem(combo, QStringLiteral("modem"), 0);
  ui::AddComboItem(combo, QStringLiteral("9 port"), 1);
  ui::AddComboItem(combo, QStringLiteral("<Not Listed>"), 9999);
  ui::AddComboItem(combo, QStringLiteral("Alpha"), 2);
  QStringList texts;
  for (int i = 0; i < combo->count(); ++i) texts << combo->itemText(i);
  EXPECT_EQ(texts, (QStringList{"<Not Listed>", "9 port", "Alpha", "modem"}));
  EXPECT_EQ(combo->itemData(0).toInt(), 9999);
}

TEST(Binding, ReadsAndShowsMembersAndRefusesNonIntegers) {
  ui::ScriptedUi script;
  QWidget owner;
  ui::TemplateHost host(&owner, Sample());
  QString prefix;
  int timeout = 0;
  bool use = false;
  host.BindText(1004, &prefix);
  host.BindInt(1014, &timeout);
  host.BindCheck(1025, &use);

  host.Control<QLineEdit>(1004)->setText(QStringLiteral("AT<0D>"));
  host.Control<QLineEdit>(1014)->setText(QStringLiteral(" -12 "));
  host.Control<QCheckBox>(1025)->setChecked(true);
  ASSERT_TRUE(host.ReadControls());
  EXPECT_EQ(prefix, QStringLiteral("AT<0D>"));
  EXPECT_EQ(timeout, -12);
  EXPECT_TRUE(use);

  prefix = QStringLiteral("X");
  timeout = 7;
  use = false;
  host.ShowMembers();
  EXPECT_EQ(host.Control<QLineEdit>(1004)->text(), QStringLiteral("X"));
  EXPECT_EQ(host.Control<QLineEdit>(1014)->text(), QStringLiteral("7"));
  EXPECT_FALSE(host.Control<QCheckBox>(1025)->isChecked());

  for (const char* bad : {"", "12a", "3.5", "99999999999", "+"}) {
    host.Control<QLineEdit>(1014)->setText(QString::fromLatin1(bad));
    EXPECT_FALSE(host.ReadControls()) << bad;
  }
  EXPECT_EQ(script.messages.size(), 5u);
  EXPECT_EQ(script.messages.front().text, QStringLiteral("Please enter an integer."));
  EXPECT_EQ(timeout, 7);
}

TEST(MessageSeam, ScriptsAnswersAndRecordsTexts) {
  ui::ScriptedUi script;
  script.answers = {ui::Answer::Yes};
  EXPECT_TRUE(ui::Confirm(nullptr, QStringLiteral("Are you sure?")));
  EXPECT_FALSE(ui::Confirm(nullptr, QStringLiteral("Again?")));  // default: No
  EXPECT_EQ(ui::ShowMessage(nullptr, QStringLiteral("Done."), ui::MessageForm::OkInfo), ui::Answer::Ok);
  ASSERT_EQ(script.messages.size(), 3u);
  EXPECT_EQ(script.messages[2].form, ui::MessageForm::OkInfo);

  EXPECT_FALSE(ui::AskSaveFileName(nullptr, {QStringLiteral("Open File"), {}, {}}).has_value());
  script.onSaveFile = [](const ui::SaveFileRequest&) { return std::optional<QString>("/tmp/x.TXT"); };
  EXPECT_EQ(*ui::AskSaveFileName(nullptr, {}), QStringLiteral("/tmp/x.TXT"));
  EXPECT_EQ(script.saveRequests.front().title, QStringLiteral("Open File"));

  QDialog dialog;
  EXPECT_EQ(ui::RunModal(dialog), QDialog::Rejected);
  script.onModal = [](QDialog& d) { d.accept(); return d.result(); };
  EXPECT_EQ(ui::RunModal(dialog), QDialog::Accepted);
  EXPECT_EQ(script.modalDialogs.size(), 2u);
}

TEST(CommandTable, DispatchesAndAnswersQueries) {
  QWidget owner;
  ui::TemplateHost host(&owner, Sample());
  int clicks = 0, selections = 0;
  bool flag = false;
  host.OnNotify(2, ui::Notify::Clicked, [&] { ++clicks; });
  host.OnNotify(1001, ui::Notify::SelChange, [&] { ++selections; });
  host.Commands().On(32788, [&] { flag = !flag; });
  host.Commands().OnQuery(32788, [&](ui::CommandState& s) { s.SetCheck(flag); });
  host.Commands().OnQuery(32790, [&](ui::CommandState& s) { s.Enable(flag); });

  QTest::mouseClick(host.Control<QPushButton>(2), Qt::LeftButton);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(host.Commands().Dispatch(2));
  EXPECT_EQ(clicks, 2);
  EXPECT_FALSE(host.Commands().Dispatch(12345));
  auto* combo = host.Control<QComboBox>(1001);
  ui::AddComboItem(combo, QStringLiteral("a"), 0);
  ui::AddComboItem(combo, QStringLiteral("b"), 1);
  emit combo->activated(1);
  EXPECT_EQ(selections, 1);

  QMenu menu;
  QAction* use = menu.addAction(QStringLiteral("Use Preferences"));
  use->setProperty(ui::kCommandIdProperty, 32788);
  QAction* close = menu.addAction(QStringLiteral("Close"));
  close->setProperty(ui::kCommandIdProperty, 32790);
  host.Commands().Dispatch(32788);
  host.Commands().UpdateMenu(&menu);
  EXPECT_TRUE(use->isChecked());
  EXPECT_TRUE(close->isEnabled());
  host.Commands().Dispatch(32788);
  host.Commands().UpdateMenu(&menu);
  EXPECT_FALSE(use->isChecked());
  EXPECT_FALSE(close->isEnabled());
}

TEST(EnterKeyFilter, EnterNeverReachesTheDialogTabAndEscapeDo) {
  ui::ScriptedUi script;
  QDialog dialog;
  ui::TemplateHost host(&dialog, Sample());
  int okPressed = 0;
  QObject::connect(host.Control<QPushButton>(1), &QPushButton::clicked, [&] { ++okPressed; });
  auto* edit = host.Control<QLineEdit>(1004);
  ui::InstallEnterKeyFilter(edit);
  EXPECT_TRUE(ui::HasEnterKeyFilter(edit));
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  edit->setFocus();
  QTest::keyClicks(edit, QStringLiteral("AT"));
  QTest::keyClick(edit, Qt::Key_Return);
  QTest::keyClick(edit, Qt::Key_Enter);
  EXPECT_EQ(okPressed, 0);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(QApplication::focusWidget(), edit);
  EXPECT_EQ(edit->text(), QStringLiteral("AT"));

  // Tab moves the focus on, Shift+Tab back; Escape cancels the dialog.
  QTest::keyClick(edit, Qt::Key_Tab);
  EXPECT_NE(QApplication::focusWidget(), edit);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), edit);
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(okPressed, 0);
}

TEST(SoftInputPanel, FollowsTheFocusOfAField) {
  QWidget owner;
  ui::TemplateHost host(&owner, Sample());
  ui::sip::FollowFocus(host.Control(1004));
  owner.show();
  const int raised = ui::sip::RaiseCount();
  host.Control(1004)->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(ui::sip::RaiseCount(), raised + 1);
  EXPECT_EQ(ui::sip::LastRequest(), ui::sip::Request::Raise);
  host.Control(1014)->setFocus();
  QApplication::processEvents();
  EXPECT_EQ(ui::sip::LastRequest(), ui::sip::Request::ForceDown);
}

TEST(Strings, LoadsTheStringTable) {
  EXPECT_EQ(ui::LoadString(orvane::port_ids::kIdTable, 57345), QStringLiteral("Ready"));
  EXPECT_EQ(ui::LoadString(orvane::port_ids::kIdTable, 1), QString());
}

}  // namespace
