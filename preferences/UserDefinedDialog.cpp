#include "preferences/UserDefinedDialog.h"

#include <algorithm>

#include "entry/CommandEdit.h"
#include "ui/Messages.h"
#include "ui/SoftInputPanel.h"

namespace {

constexpr int kTemplateId = 133;
constexpr int kCaptionId = 1015;
constexpr int kNameId = 1010;
constexpr int kPrefixId = 1004;
constexpr int kSuffixId = 1005;
constexpr int kTimeoutId = 1014;
constexpr int kTokenFieldId = 1023;

}  // namespace

UserDefinedDialog::UserDefinedDialog(const orvane::PreferenceStore& store, QWidget* parent)
    : ui::TemplateDialog(WithEntryControlClasses(kTemplateId), parent), store_(store), tokens_(host_) {
  host_.BindText(kCaptionId, &caption_);
  host_.BindText(kNameId, &name_);
  host_.BindText(kPrefixId, &prefix_);
  host_.BindText(kSuffixId, &suffix_);
  host_.BindInt(kTimeoutId, &timeout_);
  for (int id : {kNameId, kPrefixId, kSuffixId, kTimeoutId, kTokenFieldId})
    ui::sip::FollowFocus(Control(id));
}

void UserDefinedDialog::OnInitDialog() {
  caption_ = QStringLiteral("User Defined");
  tokens_.Reset();
  SetMenuMode(host_, kNameId, 1);
  SetMenuMode(host_, kTimeoutId, 1);
  SetMenuMode(host_, kPrefixId, 2);
  SetMenuMode(host_, kSuffixId, 2);
  SetMenuMode(host_, kTokenFieldId, 2);
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
  profile.prefix = prefix_.toStdU16String();
  profile.suffix = suffix_.toStdU16String();
  profile.timeout = timeout_;
  tokens_.CopyInto(&profile);
  if (!store_.SaveProfile(profile)) {
    ui::ShowMessage(this, QStringLiteral("Adding preferences failed."));
    return;
  }
  ui::ShowMessage(this, QStringLiteral("Preferences added successfully."), ui::MessageForm::OkInfo);
  host_.ShowMembers();
  accept();
}
