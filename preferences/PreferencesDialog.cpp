#include "preferences/PreferencesDialog.h"

#include <QComboBox>
#include <vector>

#include "entry/CommandEdit.h"
#include "preferences/UserDefinedDialog.h"
#include "resources/OrvanePortIds.h"
#include "ui/Messages.h"
#include "ui/SoftInputPanel.h"

using namespace orvane::port_ids;

PreferencesDialog::PreferencesDialog(const orvane::PreferenceStore& store, QWidget* parent)
    : ui::TemplateDialog(kIdTable, WithEntryControlClasses(IDD_PREFERENCES), parent),
      store_(store),
      tokens_(host_) {
  host_.BindText(IDC_PREFERENCES_CAPTION, &caption_);
  fields_.Bind(host_);
  host_.OnNotify(IDC_PROFILES, ui::Notify::SelChange, [this] { OnProfileSelected(); });
  host_.OnNotify(IDC_DELETE_PROFILE, ui::Notify::Clicked, [this] { OnDeleteProfile(); });
  host_.OnNotify(IDC_ADD_USER_DEFINED, ui::Notify::Clicked, [this] { OnAddUserDefined(); });
}

void PreferencesDialog::OnInitDialog() {
  // The fields start empty, so there is nothing on screen to take yet.
  caption_ = QStringLiteral("Preferences");
  tokens_.Reset();
  Refill(QString::fromStdU16String(store_.LoadCurrentProfileName()));
  ProfileFields::SetMenuModes(host_);
  host_.ShowMembers();
}

void PreferencesDialog::Refill(const QString& wanted) {
  auto* profiles = Control<QComboBox>(IDC_PROFILES);
  const std::vector<std::u16string> names = store_.ListProfileNames();
  const int listed = static_cast<int>(names.size());
  if (profiles) profiles->clear();

  const bool any = listed > 0;
  hasProfile_ = any;
  for (int id : {IDC_PREFIX, IDC_SUFFIX, IDC_TIMEOUT, IDC_TOKEN, IDC_TOKENS, IDC_DELETE_PROFILE,
                 IDC_ADD_TOKEN})
    host_.Enable(id, any);
  if (!any) {
    fields_.prefix.clear();
    fields_.suffix.clear();
    fields_.timeout = 0;
    tokens_.Clear();
    host_.Enable(IDC_DELETE_TOKEN, false);
    return;
  }

  // The wanted name, compared exactly (case counts); when it is not listed, the first.
  int select = -1;
  for (int i = 0; i < listed; ++i) {
    const QString name = QString::fromStdU16String(names[i]);
    if (profiles) profiles->addItem(name);
    if (select < 0 && name == wanted) select = i;
  }
  if (select < 0) select = 0;
  if (profiles) profiles->setCurrentIndex(select);

  // A profile that cannot be read shows what could be read: empty texts, 0, no tokens.
  orvane::PreferenceProfile profile;
  store_.LoadProfile(names[select], &profile);
  fields_.prefix = QString::fromStdU16String(profile.prefix);
  fields_.suffix = QString::fromStdU16String(profile.suffix);
  fields_.timeout = profile.timeout;
  tokens_.Load(profile);
}

void PreferencesDialog::OnProfileSelected() {
  // Switching profiles discards whatever was typed, so the fields need not be taken
  // (a timeout that is not a number must not hold the list on the wrong profile).
  auto* profiles = Control<QComboBox>(IDC_PROFILES);
  Refill(profiles ? profiles->currentText() : QString());
  host_.ShowMembers();
}

void PreferencesDialog::OnOK() {
  if (!host_.ReadControls()) return;
  auto* profiles = Control<QComboBox>(IDC_PROFILES);
  if (!profiles || profiles->count() == 0 || profiles->currentIndex() < 0) {
    ui::ShowMessage(this, QStringLiteral("Please select preferences, before attempting to save."));
    return;
  }
  const QString name = profiles->currentText();
  const bool currentSaved = store_.SaveCurrentProfileName(name.toStdU16String());

  orvane::PreferenceProfile profile;
  profile.name = name.toStdU16String();
  profile.prefix = fields_.prefix.toStdU16String();
  profile.suffix = fields_.suffix.toStdU16String();
  profile.timeout = fields_.timeout;
  tokens_.CopyInto(&profile);
  const bool profileSaved = store_.ReplaceProfile(profile);

  if (!currentSaved || !profileSaved) {
    // Closing as if saved would lose the edits; the user can try again or cancel.
    ui::ShowMessage(this, QStringLiteral("Saving preferences failed."));
    return;
  }
  host_.ShowMembers();
  accept();
}

void PreferencesDialog::OnDeleteProfile() {
  if (!host_.ReadControls()) return;
  auto* profiles = Control<QComboBox>(IDC_PROFILES);
  if (!profiles || profiles->count() == 0 || profiles->currentIndex() < 0) {
    ui::ShowMessage(this, QStringLiteral("Please select preferences, before attempting to delete."));
    host_.ShowMembers();
    return;
  }
  if (!ui::Confirm(this, QStringLiteral("Are you sure to delete Preferences?"))) {
    host_.ShowMembers();
    return;
  }
  const bool deleted = store_.DeleteProfile(profiles->currentText().toStdU16String());
  Refill(QString());
  if (deleted)
    ui::ShowMessage(this, QStringLiteral("Preferences deleted successfully."), ui::MessageForm::OkInfo);
  host_.ShowMembers();
}

void PreferencesDialog::OnAddUserDefined() {
  if (!host_.ReadControls()) return;
  UserDefinedDialog dialog(store_, this);
  if (ui::RunModal(dialog) == QDialog::Accepted) Refill(dialog.Name());
  host_.ShowMembers();
}
