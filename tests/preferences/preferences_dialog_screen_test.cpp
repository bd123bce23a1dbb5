// The main screen's side of the profiles and entry fields: its fields are entry fields
// with their modes, its combo boxes filter the Enter key, and both the Preferences
// button and menu item open the Preferences dialog.
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <memory>

#include "entry/CommandEdit.h"
#include "entry/EntryComboBox.h"
#include "platform/Registry.h"
#include "preferences/PreferenceStore.h"
#include "preferences/PreferencesDialog.h"
#include "resources/OrvanePortIds.h"
#include "screen/COrvanePortView.h"
#include "ui/EnterKeyFilter.h"
#include "ui/Messages.h"
#include "ui/Template.h"

namespace {

using namespace orvane::port_ids;

class MainScreenProfiles : public ::testing::Test {
 protected:
  std::unique_ptr<orvane::reg::Hive> hive_ = orvane::reg::Hive::OpenMemory();
  ui::ScriptedUi script;
};

TEST_F(MainScreenProfiles, FieldsAreEntryFieldsWithTheirModesAndCombosFilterEnter) {
  COrvanePortView view(*hive_);
  view.OnInitialUpdate();
  auto* command = qobject_cast<CommandEdit*>(view.Control(IDC_COMMAND));
  auto* port = qobject_cast<CommandEdit*>(view.Control(IDC_PORT));
  ASSERT_NE(command, nullptr);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(command->MenuMode(), entry::MenuMode::History);
  EXPECT_EQ(port->MenuMode(), entry::MenuMode::Editing);
  for (int id : {IDC_MODEM, IDC_BAUD}) {
    auto* combo = qobject_cast<EntryComboBox*>(view.Control(id));
    ASSERT_NE(combo, nullptr) << id;
    EXPECT_TRUE(ui::HasEnterKeyFilter(combo)) << id;
  }
  auto* baud = qobject_cast<QComboBox*>(view.Control(IDC_BAUD));
  ASSERT_NE(baud->lineEdit(), nullptr);
  EXPECT_TRUE(ui::HasEnterKeyFilter(baud->lineEdit()));
}

TEST_F(MainScreenProfiles, ButtonAndMenuItemOpenThePreferencesDialog) {
  orvane::PreferenceProfile p;
  p.name = u"Modem";
  p.prefix = u"AT";
  ASSERT_TRUE(orvane::PreferenceStore(*hive_).SaveProfile(p));
  COrvanePortView view(*hive_);
  view.OnInitialUpdate();
  QString shownPrefix;
  script.onModal = [&](QDialog& d) {
    if (auto* prefs = qobject_cast<PreferencesDialog*>(&d))
      shownPrefix = qobject_cast<QLineEdit*>(prefs->Control(IDC_PREFIX))->text();
    d.reject();
    return d.result();
  };
  qobject_cast<QPushButton*>(view.Control(IDC_PREFERENCES))->click();
  ASSERT_EQ(script.modalDialogs.size(), 1u);
  EXPECT_EQ(script.modalDialogs[0], QStringLiteral("PreferencesDialog"));
  EXPECT_EQ(shownPrefix, QStringLiteral("AT")) << "the dialog is opened initialised";

  EXPECT_TRUE(view.RunCommand(IDC_PREFERENCES));  // the "Preferences" menu item
  ASSERT_EQ(script.modalDialogs.size(), 2u);
  EXPECT_EQ(script.modalDialogs[1], QStringLiteral("PreferencesDialog"));
}

}  // namespace
