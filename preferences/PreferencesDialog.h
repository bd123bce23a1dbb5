// The Preferences dialog (template IDD_PREFERENCES): picks the profile in use and edits
// its prefix, suffix, timeout and tokens; deletes profiles and starts the creation of
// new ones. Save writes the current profile's name and the edited profile.
#pragma once

#include <QString>

#include "preferences/PreferenceStore.h"
#include "preferences/ProfileFields.h"
#include "preferences/TokenListEditor.h"
#include "ui/TemplateDialog.h"

class PreferencesDialog : public ui::TemplateDialog {
  Q_OBJECT

 public:
  explicit PreferencesDialog(const orvane::PreferenceStore& store, QWidget* parent = nullptr);

  TokenListEditor& Tokens() { return tokens_; }
  bool HasProfile() const { return hasProfile_; }

 protected:
  void OnInitDialog() override;
  void OnOK() override;

 private:
  // Refills the profile list and shows the profile named |wanted| (or the first one);
  // with no profiles stored the dialog goes to its no-profile state.
  void Refill(const QString& wanted);
  void OnProfileSelected();
  void OnDeleteProfile();
  void OnAddUserDefined();

  orvane::PreferenceStore store_;
  QString caption_;
  ProfileFields fields_;
  TokenListEditor tokens_;
  bool hasProfile_ = false;
};
