// The user-defined profile dialog (template IDD_USER_DEFINED): enters a new profile's
// name, prefix, suffix, timeout and tokens and stores it as a new profile. It never
// changes which profile is current.
#pragma once

#include <QString>

#include "preferences/PreferenceStore.h"
#include "preferences/ProfileFields.h"
#include "preferences/TokenListEditor.h"
#include "ui/TemplateDialog.h"

class UserDefinedDialog : public ui::TemplateDialog {
  Q_OBJECT

 public:
  explicit UserDefinedDialog(const orvane::PreferenceStore& store, QWidget* parent = nullptr);

  // After OK: the name of the stored profile, exactly as typed.
  const QString& Name() const { return name_; }
  TokenListEditor& Tokens() { return tokens_; }

 protected:
  void OnInitDialog() override;
  void OnOK() override;

 private:
  orvane::PreferenceStore store_;
  QString caption_;
  QString name_;
  ProfileFields fields_;
  TokenListEditor tokens_;
};
