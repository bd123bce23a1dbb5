// The end-of-response token list shared by both profile dialogs: the drop-down list
// (IDC_TOKENS) with its "<New Token>" entry, the token field (IDC_TOKEN), the Add/Save
// button (IDC_ADD_TOKEN) and the Delete button (IDC_DELETE_TOKEN).
//
// In new-token mode "<New Token>" is selected, the field is empty, Add/Save reads "Add"
// (disabled once 20 tokens are held) and Delete is disabled. In edit-token mode a token
// entry is selected, Add/Save reads "Save" and Delete is enabled.
#pragma once

#include <QString>
#include <array>

#include "preferences/PreferenceStore.h"

namespace ui {
class TemplateHost;
}
class QComboBox;

class TokenListEditor {
 public:
  static constexpr int kMaxTokens = orvane::PreferenceProfile::kMaxTokens;
  static constexpr int NewTokenMarker = 9999;

  enum class Mode { NewToken, EditToken };

  // Works on the controls of |host|; binds the token field to its text member and
  // routes the list's selection change and both buttons to the handlers below.
  explicit TokenListEditor(ui::TemplateHost& host);
  TokenListEditor(const TokenListEditor&) = delete;
  TokenListEditor& operator=(const TokenListEditor&) = delete;

  // Empties the list, adds "<New Token>" and selects it: no tokens, new-token mode.
  void Reset();
  // The no-profile state: an empty list without "<New Token>", no tokens.
  void Clear();
  // Shows the first (at most 20) tokens of |profile| in new-token mode.
  void Load(const orvane::PreferenceProfile& profile);
  // Copies the tokens into |profile| (count and the first at most 20 tokens).
  void CopyInto(orvane::PreferenceProfile* profile) const;

  // Handlers: selection change of the list, the Add/Save and the Delete button.
  void OnSelectionChange();
  void OnAddOrSave();
  void OnDelete();

  int TokenCount() const { return tokenCount_; }
  const QString& Token(int i) const { return tokens_[i]; }

 private:
  QComboBox* List() const;
  void EnterNewTokenMode();
  void EnterEditTokenMode();
  void Rebuild(int selectToken);
  void AddMarkerEntry();

  ui::TemplateHost& host_;
  int tokenCount_ = 0;
  std::array<QString, kMaxTokens> tokens_;
  QString tokenText_;
  Mode mode_ = Mode::NewToken;
  int shownIndex_ = -1;  // the list position the editor's state belongs to
};
