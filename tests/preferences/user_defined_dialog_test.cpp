// The user-defined profile dialog, driven through the real controls.
#include "entry/CommandEdit.h"
#include "preferences/UserDefinedDialog.h"
#include "tests/preferences/dialog_test_support.h"
#include "ui/Messages.h"
#include "ui/SoftInputPanel.h"

namespace {

using namespace dialogtest;

class UserDefinedDialogTest : public DialogTest {
 protected:
  std::unique_ptr<UserDefinedDialog> Open() {
    auto dialog = std::make_unique<UserDefinedDialog>(store);
    dialog->show();
    dialog->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    return dialog;
  }
  void AddToken(QWidget* d, const QString& text) {
    Type(d, IDC_TOKEN, text);
    Tap(d, IDC_ADD_TOKEN);
  }

  ui::ScriptedUi script;
};

TEST_F(UserDefinedDialogTest, OpensEmptyWithANewTokenEntry) {
  auto d = Open();
  EXPECT_EQ(Entries(d.get(), IDC_TOKENS), QStringList{"<New Token>"});
  EXPECT_EQ(Edit(d.get(), IDC_TIMEOUT)->text(), QStringLiteral("0"));
  EXPECT_EQ(Button(d.get(), IDC_ADD_TOKEN)->text(), QStringLiteral("Add"));
  EXPECT_TRUE(Button(d.get(), IDC_ADD_TOKEN)->isEnabled());
  EXPECT_FALSE(Button(d.get(), IDC_DELETE_TOKEN)->isEnabled());
  using entry::MenuMode;
  const std::pair<int, MenuMode> modes[] = {
      {IDC_PROFILE_NAME, MenuMode::Editing}, {IDC_TIMEOUT, MenuMode::Editing},
      {IDC_PREFIX, MenuMode::Binary},        {IDC_SUFFIX, MenuMode::Binary},
      {IDC_TOKEN, MenuMode::Binary}};
  for (auto [id, mode] : modes) {
    auto* field = qobject_cast<CommandEdit*>(ui::FindControl(d.get(), id));
    ASSERT_NE(field, nullptr) << id;
    EXPECT_EQ(field->MenuMode(), mode) << id;
  }
}

TEST_F(UserDefinedDialogTest, NamesMustHoldTextAndNoBackslashAndAreKeptAsTyped) {
  auto d = Open();
  for (const QString& bad : {QString(), QStringLiteral("   "), QStringLiteral("Modem\\Fast")}) {
    Type(d.get(), IDC_PROFILE_NAME, bad);
    Tap(d.get(), ui::IDOK);
    EXPECT_EQ(script.MessageTexts().last(), QStringLiteral("Please fill valid preferences name")) << Str(bad);
    EXPECT_TRUE(d->isVisible());
  }
  EXPECT_EQ(store.CountProfiles(), 0);

  Type(d.get(), IDC_PROFILE_NAME, QStringLiteral(" Modem "));
  Type(d.get(), IDC_PREFIX, QStringLiteral("AT<0d"));
  Type(d.get(), IDC_SUFFIX, QStringLiteral(" <0D>"));
  Type(d.get(), IDC_TIMEOUT, QStringLiteral("0"));
  Tap(d.get(), ui::IDOK);
  EXPECT_EQ(script.MessageTexts().last(), QStringLiteral("Preferences added successfully."));
  EXPECT_EQ(script.messages.back().form, ui::MessageForm::OkInfo);
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(d->result(), QDialog::Accepted);
  EXPECT_EQ(d->Name(), QStringLiteral(" Modem "));
  const auto stored = Stored(u" Modem ");
  EXPECT_EQ(stored.prefix, u"AT<0d");
  EXPECT_EQ(stored.suffix, u" <0D>");
  EXPECT_EQ(stored.timeout, 0);
  EXPECT_TRUE(stored.tokens.empty());
  EXPECT_EQ(store.LoadCurrentProfileName(), u"") << "this dialog never sets Current";
  // No tokens: the key holds exactly the four values.
  orvane::reg::ScopedKey key(hive(), orvane::reg::kLocalMachine,
                             u"Software\\Orvane\\Orvane Port Linewright\\Preferences\\ Modem ", false);
  std::u16string name;
  uint32_t type = 0;
  int values = 0;
  while (hive().EnumValue(key.get(), values, &name, &type, nullptr) == orvane::reg::kSuccess) ++values;
  EXPECT_EQ(values, 4);
}

TEST_F(UserDefinedDialogTest, DuplicateNamesAreRefusedExactlyAndCaseCounts) {
  ASSERT_TRUE(store.SaveProfile(MakeProfile(u"Modem", u"AT", 3, {})));
  auto d = Open();
  Type(d.get(), IDC_PROFILE_NAME, QStringLiteral("Modem"));
  Tap(d.get(), ui::IDOK);
  EXPECT_EQ(script.MessageTexts(), QStringList{QStringLiteral("The given preferences name is already used")});
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(Stored(u"Modem").prefix, u"AT") << "the stored profile is untouched";

  Type(d.get(), IDC_PROFILE_NAME, QStringLiteral("MODEM"));
  Tap(d.get(), ui::IDOK);
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(store.CountProfiles(), 2);
}

TEST_F(UserDefinedDialogTest, TokensAreLimitedToTwentyAndOnlyAddedOnesAreStored) {
  auto d = Open();
  for (int i = 1; i <= 20; ++i) {
    AddToken(d.get(), QStringLiteral("T%1").arg(i));
    Pick(d.get(), IDC_TOKENS, 0);
  }
  EXPECT_EQ(Combo(d.get(), IDC_TOKENS)->count(), 21);
  EXPECT_FALSE(Button(d.get(), IDC_ADD_TOKEN)->isEnabled());
  Edit(d.get(), IDC_TOKEN)->setText(QStringLiteral("T21"));
  d->Press(IDC_ADD_TOKEN);
  EXPECT_EQ(d->Tokens().TokenCount(), 20);

  // Deleting the 20th brings Add back; text typed and not added is not stored.
  Pick(d.get(), IDC_TOKENS, 20);
  script.answers.push_back(ui::Answer::Yes);
  Tap(d.get(), IDC_DELETE_TOKEN);
  EXPECT_TRUE(Button(d.get(), IDC_ADD_TOKEN)->isEnabled());
  Type(d.get(), IDC_TOKEN, QStringLiteral("typed only"));
  Type(d.get(), IDC_PROFILE_NAME, QStringLiteral("Many"));
  Tap(d.get(), ui::IDOK);
  const auto stored = Stored(u"Many");
  ASSERT_EQ(stored.tokens.size(), 19u);
  EXPECT_EQ(stored.tokens[18], u"T19");
}

TEST_F(UserDefinedDialogTest, CancelAfterAddingTokensStoresNothing) {
  auto d = Open();
  Type(d.get(), IDC_PROFILE_NAME, QStringLiteral("Temp"));
  AddToken(d.get(), QStringLiteral("OK"));
  AddToken(d.get(), QStringLiteral("ERROR"));
  Tap(d.get(), ui::IDCANCEL);
  EXPECT_EQ(d->result(), QDialog::Rejected);
  EXPECT_EQ(store.CountProfiles(), 0);
}

TEST_F(UserDefinedDialogTest, AFailedStoreStaysOpenAndASecondTryWorks) {
  auto d = Open();
  Type(d.get(), IDC_PROFILE_NAME, QStringLiteral("Flaky"));
  Type(d.get(), IDC_PREFIX, QStringLiteral("AT"));
  AddToken(d.get(), QStringLiteral("OK"));
  hive().FailWritesFrom(3);  // the key is made and two values written before it fails
  Tap(d.get(), ui::IDOK);
  hive().FailWritesFrom(0);
  EXPECT_EQ(script.MessageTexts(), QStringList{QStringLiteral("Adding preferences failed.")});
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(Edit(d.get(), IDC_PROFILE_NAME)->text(), QStringLiteral("Flaky"));
  EXPECT_EQ(d->Tokens().TokenCount(), 1);
  // Nothing of the failed attempt remains, so the same name is still free.
  EXPECT_EQ(store.CountProfiles(), 0);
  Tap(d.get(), ui::IDOK);
  EXPECT_EQ(script.MessageTexts().last(), QStringLiteral("Preferences added successfully."));
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(Stored(u"Flaky").tokens[0], u"OK");
}

TEST_F(UserDefinedDialogTest, TimeoutThatIsNotANumberStoresNothing) {
  auto d = Open();
  Type(d.get(), IDC_PROFILE_NAME, QStringLiteral("Slow"));
  Type(d.get(), IDC_TIMEOUT, QStringLiteral("3.5"));
  Tap(d.get(), ui::IDOK);
  EXPECT_EQ(script.MessageTexts(), QStringList{QStringLiteral("Please enter an integer.")});
  EXPECT_EQ(QApplication::focusWidget(), ui::FindControl(d.get(), IDC_TIMEOUT));
  EXPECT_TRUE(d->isVisible());
  EXPECT_EQ(store.CountProfiles(), 0);
}

TEST_F(UserDefinedDialogTest, EnterInAnyFieldNeitherEndsNorCancelsTheDialogEscapeCancels) {
  auto d = Open();
  for (int id : {IDC_PROFILE_NAME, IDC_PREFIX, IDC_SUFFIX, IDC_TIMEOUT, IDC_TOKEN}) {
    QWidget* field = ui::FindControl(d.get(), id);
    const int raised = ui::sip::RaiseCount();
    field->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(ui::sip::RaiseCount(), raised + 1) << id;
    QTest::keyClicks(field, QStringLiteral("x"));
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter})
      QTest::keyClick(field, key);
    EXPECT_TRUE(d->isVisible()) << id;
    EXPECT_EQ(QApplication::focusWidget(), field) << id;
  }
  EXPECT_TRUE(script.MessageTexts().isEmpty()) << Str(script.MessageTexts().join("|"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
  EXPECT_FALSE(d->isVisible());
  EXPECT_EQ(d->result(), QDialog::Rejected);
  EXPECT_EQ(store.CountProfiles(), 0);
}

}  // namespace
