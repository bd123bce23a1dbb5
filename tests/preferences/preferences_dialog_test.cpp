// The Preferences dialog and its token list, driven through the real controls.
#include <QLabel>

#include "entry/CommandEdit.h"
#include "preferences/PreferencesDialog.h"
#include "preferences/UserDefinedDialog.h"
#include "tests/preferences/dialog_test_support.h"
#include "tests/support/TabWalk.h"
#include "ui/Messages.h"
#include "ui/SoftInputPanel.h"

namespace {

using namespace dialogtest;

class PreferencesDialogTest : public DialogTest {
 protected:
  // Opens the dialog as the main screen does, shown and active.
  std::unique_ptr<PreferencesDialog> Open() {
    auto dialog = std::make_unique<PreferencesDialog>(store);
    dialog->show();
    dialog->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    return dialog;
  }
  void Save(const orvane::PreferenceProfile& p) { ASSERT_TRUE(store.SaveProfile(p)); }

  ui::ScriptedUi script;
};

TEST_F(PreferencesDialogTest, WithNoProfilesEverythingButTheListAndButtonsIsDisabled) {
  auto d = Open();
  EXPECT_FALSE(d->HasProfile());
  EXPECT_EQ(Combo(d.get(), IDC_PROFILES)->count(), 0);
  EXPECT_EQ(Combo(d.get(), IDC_TOKENS)->count(), 0) << "no <New Token> entry in the no-profile state";
  for (int id : {IDC_PREFIX, IDC_SUFFIX, IDC_TIMEOUT, IDC_TOKEN, IDC_TOKENS, IDC_DELETE_PROFILE,
                 IDC_ADD_TOKEN, IDC_DELETE_TOKEN})
    EXPECT_FALSE(ui::FindControl(d.get(), id)->isEnabled()) << id;
  for (int id : {ui::IDOK, ui::IDCANCEL, IDC_ADD_USER_DEFINED, IDC_PROFILES})
    EXPECT_TRUE(ui::FindControl(d.get(), id)->isEnabled()) << id;
  EXPECT_EQ(Edit(d.get(), IDC_PREFIX)->text(), QString());
  EXPECT_EQ(Edit(d.get(), IDC_TIMEOUT)->text(), QStringLiteral("0"));

  Tap(d.get(), ui::IDOK);
  EXPECT_EQ(script.MessageTexts(), QStringList{QStringLiteral("Please select preferences, before attempting to save.")});
  EXPECT_TRUE(d->isVisible());
  d->Press(IDC_DELETE_PROFILE);  // the button is disabled; the handler still refuses
  EXPECT_EQ(script.MessageTexts().last(), QStringLiteral("Please select preferences, before attempting to delete."));
  EXPECT_EQ(store.LoadCurrentProfileName(), u"");
}

TEST_F(PreferencesDialogTest, OpensOnTheCurrentProfileComparedExactlyElseOnTheFirst) {
  Save(MakeProfile(u"Alpha", u"AT", 3, {u"OK"}));
  Save(MakeProfile(u"Beta", u"ATE0", 7, {u"<0D><0A>OK", u"ERROR"}));
  ASSERT_TRUE(store.SaveCurrentProfileName(u"Beta"));
  {
    auto d = Open();
    EXPECT_EQ(Entries(d.get(), IDC_PROFILES), (QStringList{"Alpha", "Beta"}));
    EXPECT_EQ(Combo(d.get(), IDC_PROFILES)->currentText(), QStringLiteral("Beta"));
    EXPECT_EQ(Edit(d.get(), IDC_PREFIX)->text(), QStringLiteral("ATE0"));
    EXPECT_EQ(Edit(d.get(), IDC_SUFFIX)->text(), QStringLiteral("<0D>"));
    EXPECT_EQ(Edit(d.get(), IDC_TIMEOUT)->text(), QStringLiteral("7"));
    EXPECT_EQ(Entries(d.get(), IDC_TOKENS), (QStringList{"<New Token>", "<0D><0A>OK", "ERROR"}));
    EXPECT_EQ(Combo(d.get(), IDC_TOKENS)->currentIndex(), 0);
    EXPECT_EQ(Combo(d.get(), IDC_TOKENS)->itemData(0).toInt(), TokenListEditor::NewTokenMarker);
    EXPECT_EQ(Combo(d.get(), IDC_TOKENS)->itemData(2).toInt(), 1);
    EXPECT_EQ(Button(d.get(), IDC_ADD_TOKEN)->text(), QStringLiteral("Add"));
    EXPECT_FALSE(Button(d.get(), IDC_DELETE_TOKEN)->isEnabled());
  }
  for (const char16_t* current : {u"Gone", u"beta"}) {
    ASSERT_TRUE(store.SaveCurrentProfileName(current));
    auto d = Open();
    EXPECT_EQ(Combo(d.get(), IDC_PROFILES)->currentText(), QStringLiteral("Alpha"));
    EXPECT_EQ(Edit(d.get(), IDC_PREFIX)->text(), QStringLiteral("AT"));
    EXPECT_EQ(store.CountProfiles(), 2) << "opening must not create profiles";
  }
}

TEST_F(PreferencesDialogTest, TwentyTokensDisableAddUntilOneIsDeleted) {
  orvane::PreferenceProfile p = MakeProfile(u"Full", u"", 1, {});
  for (int i = 0; i < 19; ++i) p.tokens.push_back(u"T" + std::u16string(1, char16_t(u'a' + i)));
  Save(p);
  auto d = Open();
  EXPECT_TRUE(Button(d.get(), IDC_ADD_TOKEN)->isEnabled()) << "19 tokens leave room for one more";
  Type(d.get(), IDC_TOKEN, QStringLiteral("LAST"));
  Tap(d.get(), IDC_ADD_TOKEN);
  EXPECT_EQ(Combo(d.get(), IDC_TOKENS)->count(), 21);
  EXPECT_EQ(Button(d.get(), IDC_ADD_TOKEN)->text(), QStringLiteral("Save"));
  EXPECT_TRUE(Button(d.get(), IDC_ADD_TOKEN)->isEnabled());

  Pick(d.get(), IDC_TOKENS, 0);
  EXPECT_EQ(Button(d.get(), IDC_ADD_TOKEN)->text(), QStringLiteral("Add"));
  EXPECT_FALSE(Button(d.get(), IDC_ADD_TOKEN)->isEnabled());
  EXPECT_EQ(Edit(d.get(), IDC_TOKEN)->text(), QString());
  // Even pressed regardless, a 21st token is not taken.
  Edit(d.get(), IDC_TOKEN)->setText(QStringLiteral("X"));
  d->Press(IDC_ADD_TOKEN);
  EXPECT_EQ(d->Tokens().TokenCount(), 20);

  Tap(d.get(), ui::IDOK);
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(Stored(u"Full").tokens.size(), 20u);
  EXPECT_EQ(Stored(u"Full").tokens[19], u"LAST");

  // Opening on a profile that holds 20 tokens: Add disabled; deleting one frees it.
  auto again = Open();
  EXPECT_FALSE(Button(again.get(), IDC_ADD_TOKEN)->isEnabled());
  Pick(again.get(), IDC_TOKENS, 5);
  EXPECT_TRUE(Button(again.get(), IDC_ADD_TOKEN)->isEnabled());
  script.answers.push_back(ui::Answer::Yes);
  Tap(again.get(), IDC_DELETE_TOKEN);
  EXPECT_EQ(again->Tokens().TokenCount(), 19);
  EXPECT_EQ(Button(again.get(), IDC_ADD_TOKEN)->text(), QStringLiteral("Add"));
  EXPECT_TRUE(Button(again.get(), IDC_ADD_TOKEN)->isEnabled());
}

TEST_F(PreferencesDialogTest, DeletingPThenEditingQSavesExactlyQ2AndR) {
  Save(MakeProfile(u"Modem", u"AT", 3, {u"P", u"Q", u"R"}));
  auto d = Open();
  Pick(d.get(), IDC_TOKENS, 1);
  EXPECT_EQ(Edit(d.get(), IDC_TOKEN)->text(), QStringLiteral("P"));
  EXPECT_TRUE(Button(d.get(), IDC_DELETE_TOKEN)->isEnabled());

  // No keeps the token; Yes deletes it and goes back to "<New Token>".
  Tap(d.get(), IDC_DELETE_TOKEN);
  EXPECT_EQ(script.MessageTexts().last(), QStringLiteral("Are you sure to delete token?"));
  EXPECT_EQ(script.messages.back().form, ui::MessageForm::YesNoQuestion);
  EXPECT_EQ(d->Tokens().TokenCount(), 3);
  script.answers.push_back(ui::Answer::Yes);
  Tap(d.get(), IDC_DELETE_TOKEN);
  EXPECT_EQ(Entries(d.get(), IDC_TOKENS), (QStringList{"<New Token>", "Q", "R"}));
  EXPECT_EQ(Combo(d.get(), IDC_TOKENS)->currentIndex(), 0);
  EXPECT_EQ(Combo(d.get(), IDC_TOKENS)->itemData(1).toInt(), 0);
  EXPECT_EQ(Combo(d.get(), IDC_TOKENS)->itemData(2).toInt(), 1);
  EXPECT_FALSE(Button(d.get(), IDC_DELETE_TOKEN)->isEnabled());

  Pick(d.get(), IDC_TOKENS, 1);
  EXPECT_EQ(Edit(d.get(), IDC_TOKEN)->text(), QStringLiteral("Q"));
  EXPECT_EQ(Button(d.get(), IDC_ADD_TOKEN)->text(), QStringLiteral("Save"));
  Type(d.get(), IDC_TOKEN, QStringLiteral("Q2"));
  Tap(d.get(), IDC_ADD_TOKEN);
  EXPECT_EQ(Entries(d.get(), IDC_TOKENS), (QStringList{"<New Token>", "Q2", "R"}));
  EXPECT_EQ(Combo(d.get(), IDC_TOKENS)->currentText(), QStringLiteral("Q2"));
  EXPECT_EQ(Button(d.get(), IDC_ADD_TOKEN)->text(), QStringLiteral("Save"));

  Tap(d.get(), ui::IDOK);
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(d->result(), QDialog::Accepted);
  const auto stored = Stored(u"Modem");
  EXPECT_EQ(stored.tokens, (std::vector<std::u16string>{u"Q2", u"R"}));
  EXPECT_EQ(store.LoadCurrentProfileName(), u"Modem");
  // Replaced afresh: no stale third token value is left in the key.
  orvane::reg::ScopedKey key(hive(), orvane::reg::kLocalMachine,
                             u"Software\\Orvane\\Orvane Port Linewright\\Preferences\\Modem", false);
  std::u16string stale;
  EXPECT_NE(hive().QueryString(key.get(), u"3", &stale), orvane::reg::kSuccess);
}

TEST_F(PreferencesDialogTest, TokenTextsAreCheckedForBlanksButKeptAsTyped) {
  Save(MakeProfile(u"Modem", u"AT", 3, {u"OK"}));
  auto d = Open();
  Pick(d.get(), IDC_TOKENS, 0);
  EXPECT_FALSE(Button(d.get(), IDC_DELETE_TOKEN)->isEnabled());
  d->Press(IDC_DELETE_TOKEN);  // "<New Token>" is no token to delete
  EXPECT_EQ(script.MessageTexts().last(), QStringLiteral("Please select a token, before attempting to delete."));
  EXPECT_EQ(d->Tokens().TokenCount(), 1);

  Type(d.get(), IDC_TOKEN, QStringLiteral("   "));
  Tap(d.get(), IDC_ADD_TOKEN);
  EXPECT_EQ(script.MessageTexts().last(), QStringLiteral("Please fill valid Token"));
  EXPECT_EQ(Combo(d.get(), IDC_TOKENS)->count(), 2);
  Type(d.get(), IDC_TOKEN, QStringLiteral(" ERR <0d> "));
  Tap(d.get(), IDC_ADD_TOKEN);
  // A token typed into the field but never added is not part of the profile.
  Pick(d.get(), IDC_TOKENS, 0);
  Type(d.get(), IDC_TOKEN, QStringLiteral("NOT ADDED"));
  Type(d.get(), IDC_PREFIX, QStringLiteral("  AT<zz "));
  Tap(d.get(), ui::IDOK);
  const auto stored = Stored(u"Modem");
  ASSERT_EQ(stored.tokens.size(), 2u);
  EXPECT_EQ(stored.tokens[1], u" ERR <0d> ");
  EXPECT_EQ(stored.prefix, u"  AT<zz ");
}

TEST_F(PreferencesDialogTest, SwitchingProfilesDiscardsUnsavedEdits) {
  Save(MakeProfile(u"A", u"pa", 1, {u"ta"}));
  Save(MakeProfile(u"B", u"pb", 2, {}));
  auto d = Open();
  Type(d.get(), IDC_TOKEN, QStringLiteral("new"));
  Tap(d.get(), IDC_ADD_TOKEN);
  Type(d.get(), IDC_PREFIX, QStringLiteral("edited"));
  Type(d.get(), IDC_TIMEOUT, QStringLiteral("not a number"));
  Pick(d.get(), IDC_PROFILES, 1);
  EXPECT_EQ(Edit(d.get(), IDC_PREFIX)->text(), QStringLiteral("pb"));
  EXPECT_EQ(Edit(d.get(), IDC_TIMEOUT)->text(), QStringLiteral("2"));
  EXPECT_EQ(Entries(d.get(), IDC_TOKENS), QStringList{"<New Token>"});
  Pick(d.get(), IDC_PROFILES, 0);
  EXPECT_EQ(Edit(d.get(), IDC_PREFIX)->text(), QStringLiteral("pa"));
  EXPECT_EQ(Entries(d.get(), IDC_TOKENS), (QStringList{"<New Token>", "ta"}));
  EXPECT_EQ(Stored(u"A").prefix, u"pa");
  EXPECT_TRUE(script.MessageTexts().isEmpty()) << Str(script.MessageTexts().join("|"));
}

TEST_F(PreferencesDialogTest, DeletingAProfileAsksThenShowsTheFirstAndLeavesCurrent) {
  Save(MakeProfile(u"A", u"pa", 1, {}));
  Save(MakeProfile(u"B", u"pb", 2, {}));
  ASSERT_TRUE(store.SaveCurrentProfileName(u"B"));
  auto d = Open();
  Tap(d.get(), IDC_DELETE_PROFILE);  // answered No
  EXPECT_EQ(script.MessageTexts(), QStringList{QStringLiteral("Are you sure to delete Preferences?")});
  EXPECT_EQ(store.CountProfiles(), 2);

  script.answers.push_back(ui::Answer::Yes);
  Tap(d.get(), IDC_DELETE_PROFILE);
  EXPECT_EQ(script.MessageTexts().last(), QStringLiteral("Preferences deleted successfully."));
  EXPECT_EQ(script.messages.back().form, ui::MessageForm::OkInfo);
  EXPECT_EQ(Entries(d.get(), IDC_PROFILES), QStringList{"A"});
  EXPECT_EQ(Edit(d.get(), IDC_PREFIX)->text(), QStringLiteral("pa"));
  EXPECT_EQ(store.LoadCurrentProfileName(), u"B") << "Current is left as it was";

  script.answers.push_back(ui::Answer::Yes);
  Tap(d.get(), IDC_DELETE_PROFILE);
  EXPECT_FALSE(d->HasProfile());
  EXPECT_FALSE(Edit(d.get(), IDC_PREFIX)->isEnabled());
  EXPECT_EQ(store.CountProfiles(), 0);
  EXPECT_TRUE(d->isVisible());
}

TEST_F(PreferencesDialogTest, AddUserDefinedShowsTheNewProfileAndCancelChangesNothing) {
  Save(MakeProfile(u"A", u"pa", 1, {}));
  auto d = Open();
  Type(d.get(), IDC_PREFIX, QStringLiteral("unsaved"));

  Tap(d.get(), IDC_ADD_USER_DEFINED);  // the scripted seam cancels it
  ASSERT_EQ(script.modalDialogs.size(), 1u);
  EXPECT_EQ(script.modalDialogs[0], QStringLiteral("UserDefinedDialog"));
  EXPECT_EQ(Edit(d.get(), IDC_PREFIX)->text(), QStringLiteral("unsaved"));

  script.onModal = [](QDialog& shown) {
    auto& u = static_cast<UserDefinedDialog&>(shown);
    Type(&u, IDC_PROFILE_NAME, QStringLiteral("New one"));
    Type(&u, IDC_PREFIX, QStringLiteral("ATZ"));
    Type(&u, IDC_TIMEOUT, QStringLiteral("9"));
    Type(&u, IDC_TOKEN, QStringLiteral("OK"));
    u.Press(IDC_ADD_TOKEN);
    u.Press(ui::IDOK);
    return u.result();
  };
  Tap(d.get(), IDC_ADD_USER_DEFINED);
  EXPECT_EQ(Combo(d.get(), IDC_PROFILES)->currentText(), QStringLiteral("New one"));
  EXPECT_EQ(Edit(d.get(), IDC_PREFIX)->text(), QStringLiteral("ATZ"));
  EXPECT_EQ(Edit(d.get(), IDC_TIMEOUT)->text(), QStringLiteral("9"));
  EXPECT_EQ(Entries(d.get(), IDC_TOKENS), (QStringList{"<New Token>", "OK"}));
  EXPECT_EQ(store.LoadCurrentProfileName(), u"") << "adding does not make it current";
}

TEST_F(PreferencesDialogTest, TimeoutThatIsNotANumberStopsTheHandler) {
  Save(MakeProfile(u"A", u"pa", 4, {u"OK", u"ERROR"}));
  auto d = Open();
  Type(d.get(), IDC_TIMEOUT, QStringLiteral("12s"));
  Tap(d.get(), ui::IDOK);
  EXPECT_EQ(script.MessageTexts(), QStringList{QStringLiteral("Please enter an integer.")});
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(QApplication::focusWidget(), ui::FindControl(d.get(), IDC_TIMEOUT));
  EXPECT_EQ(Stored(u"A").timeout, 4);
  EXPECT_EQ(store.LoadCurrentProfileName(), u"");

  // A token pick that cannot take the values leaves the list where its state is.
  Pick(d.get(), IDC_TOKENS, 2);
  EXPECT_EQ(Combo(d.get(), IDC_TOKENS)->currentIndex(), 0);
  EXPECT_EQ(Button(d.get(), IDC_ADD_TOKEN)->text(), QStringLiteral("Add"));

  Type(d.get(), IDC_TIMEOUT, QStringLiteral(" -5 "));
  Tap(d.get(), ui::IDOK);
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(Stored(u"A").timeout, -5);
}

TEST_F(PreferencesDialogTest, AFailedSaveSaysSoAndKeepsTheDialogOpen) {
  Save(MakeProfile(u"A", u"pa", 4, {u"OK"}));
  auto d = Open();
  Type(d.get(), IDC_PREFIX, QStringLiteral("AT&F"));
  hive().FailWritesFrom(2);  // Current is written; the profile is not
  Tap(d.get(), ui::IDOK);
  hive().FailWritesFrom(0);
  EXPECT_EQ(script.MessageTexts(), QStringList{QStringLiteral("Saving preferences failed.")});
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(Edit(d.get(), IDC_PREFIX)->text(), QStringLiteral("AT&F"));
  EXPECT_EQ(Stored(u"A").prefix, u"pa") << "the old profile stays whole";

  Tap(d.get(), ui::IDOK);
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(Stored(u"A").prefix, u"AT&F");
}

TEST_F(PreferencesDialogTest, FieldsHaveTheirKindsFilterKeysAndRaiseTheInputPanel) {
  Save(MakeProfile(u"A", u"pa", 4, {u"OK"}));
  auto d = Open();
  using entry::MenuMode;
  const std::pair<int, MenuMode> modes[] = {{IDC_PREFIX, MenuMode::Binary},
                                            {IDC_SUFFIX, MenuMode::Binary},
                                            {IDC_TOKEN, MenuMode::Binary},
                                            {IDC_TIMEOUT, MenuMode::Editing}};
  for (auto [id, mode] : modes) {
    auto* field = qobject_cast<CommandEdit*>(ui::FindControl(d.get(), id));
    ASSERT_NE(field, nullptr) << id;
    EXPECT_EQ(field->MenuMode(), mode) << id;
    const int raised = ui::sip::RaiseCount();
    field->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(ui::sip::RaiseCount(), raised + 1) << id;
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter})
      QTest::keyClick(field, key);
    EXPECT_TRUE(d->isVisible()) << id;
    EXPECT_EQ(QApplication::focusWidget(), field) << id;
  }
  EXPECT_TRUE(script.MessageTexts().isEmpty());
  EXPECT_EQ(d->result(), 0);
  EXPECT_EQ(store.LoadCurrentProfileName(), u"") << "Enter must not have saved";
  // The caption and the buttons are blue, the caption bold.
  auto* caption = qobject_cast<QLabel*>(ui::FindControl(d.get(), IDC_PREFERENCES_CAPTION));
  EXPECT_EQ(caption->text(), QStringLiteral("Preferences"));
  EXPECT_EQ(caption->font().weight(), QFont::Bold);
  for (int id : {IDC_PREFERENCES_CAPTION, ui::IDOK, ui::IDCANCEL, IDC_ADD_USER_DEFINED,
                 IDC_DELETE_TOKEN, IDC_DELETE_PROFILE, IDC_ADD_TOKEN})
    EXPECT_EQ(ui::FindControl(d.get(), id)->palette().color(QPalette::Active, QPalette::ButtonText),
              QColor(0, 0, 225)) << id;
}

// Tab and Shift+Tab reach every control that is enabled, each once; Escape cancels.
TEST_F(PreferencesDialogTest, TabWalksEveryControlAndEscapeCancels) {
  Save(MakeProfile(u"A", u"pa", 4, {u"OK"}));
  auto d = Open();
  ui::FindControl(d.get(), IDC_PREFIX)->setFocus();
  std::vector<QWidget*> forth = test_support::TabWalk(d.get());
  std::vector<QWidget*> back = test_support::TabWalk(d.get(), true);
  std::vector<QWidget*> stops = test_support::TabStops(d.get());
  ASSERT_EQ(back.size(), forth.size());
  std::reverse(back.begin() + 1, back.end());
  EXPECT_EQ(back, forth);
  std::sort(forth.begin(), forth.end());
  std::sort(stops.begin(), stops.end());
  EXPECT_EQ(forth, stops) << test_support::Describe(forth) << "| " << test_support::Describe(stops);
  EXPECT_GE(stops.size(), 8u);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(d->result(), QDialog::Rejected);
}

TEST_F(PreferencesDialogTest, CancelKeepsTheStoreAsItWas) {
  Save(MakeProfile(u"A", u"pa", 4, {u"OK"}));
  auto d = Open();
  Type(d.get(), IDC_PREFIX, QStringLiteral("changed"));
  Tap(d.get(), ui::IDCANCEL);
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(d->result(), QDialog::Rejected);
  EXPECT_EQ(Stored(u"A").prefix, u"pa");
  EXPECT_EQ(store.LoadCurrentProfileName(), u"");
}

}  // namespace
