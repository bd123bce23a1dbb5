#include "preferences/UserDefinedDialog.h"

#include <algorithm>

#include "entry/CommandEdit.h"
#include "resources/OrvanePortIds.h"
#include "ui/Messages.h"
#include "ui/SoftInputPanel.h"

using namespace orvane::port_ids;

UserDefinedDialog::UserDefinedDialog(const orvane::PreferenceStore& store, QWidget* parent)
    : ui::TemplateDialog(kIdTable, WithEntryControlClasses(IDD_USER_DEFINED), parent),
      store_(store),
      tokens_(host_) {
  host_.BindText(IDC_USER_DEFINED_CAPTION, &caption_);
  host_.BindText(IDC_PROFILE_NAME, &name_);
  fields_.Bind(host_);
  ui::sip::FollowFocus(Control(IDC_PROFILE_NAME));
}

void UserDefinedDialog::OnInitDialog() {
  caption_ = QStringLiteral("User Defined");
  tokens_.Reset();
  SetMenuMode(host_, IDC_PROFILE_NAME, entry::MenuMode::Editing);
  ProfileFields::SetMenuModes(host_);
  host_.ShowMembers();
}

void UserDefinedDialog::OnOK() {
  if (!host_.ReadControls()) return;
  // The name becomes a key name in the hive, where a backslash would nest keys and
  // leave a profile that can never be listed or loaded under the name typed.
  if (name_.trimmed().isEmpty() || name_.contains(u'\\')) {
    ui::ShowMessage(this, QStringLiteral("Please fill valid preferences name"));
    return;
  }
  const std::u16string name = name_.toStdU16String();
  const auto stored = store_.ListProfileNames();
  if (std::find(stored.begin(), stored.end(), name) != stored.end()) {
    ui::ShowMessage(this, QStringLiteral("The given preferences name is already used"));
    return;
  }

  orvane::PreferenceProfile profile;
  profile.name = name;
  profile.prefix = fields_.prefix.toStdU16String();
  profile.suffix = fields_.suffix.toStdU16String();
  profile.timeout = fields_.timeout;
  tokens_.CopyInto(&profile);
  if (!store_.SaveProfile(profile)) {
    ui::ShowMessage(this, QStringLiteral("Adding preferences failed."));
    return;
  }
  ui::ShowMessage(this, QStringLiteral("Preferences added successfully."), ui::MessageForm::OkInfo);
  host_.ShowMembers();
  accept();
}
