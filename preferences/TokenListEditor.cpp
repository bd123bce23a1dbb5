#include "preferences/TokenListEditor.h"

#include <QComboBox>
#include <QPushButton>
#include <algorithm>

#include "resources/OrvanePortIds.h"
#include "ui/Messages.h"
#include "ui/TemplateHost.h"

using namespace orvane::port_ids;

TokenListEditor::TokenListEditor(ui::TemplateHost& host) : host_(host) {
  host_.BindText(IDC_TOKEN, &tokenText_);
  host_.OnNotify(IDC_TOKENS, ui::Notify::SelChange, [this] { OnSelectionChange(); });
  host_.OnNotify(IDC_ADD_TOKEN, ui::Notify::Clicked, [this] { OnAddOrSave(); });
  host_.OnNotify(IDC_DELETE_TOKEN, ui::Notify::Clicked, [this] { OnDelete(); });
}

QComboBox* TokenListEditor::List() const { return host_.Control<QComboBox>(IDC_TOKENS); }

void TokenListEditor::AddMarkerEntry() {
  if (QComboBox* list = List()) list->addItem(QStringLiteral("<New Token>"), NewTokenMarker);
}

void TokenListEditor::EnterNewTokenMode() {
  mode_ = Mode::NewToken;
  tokenText_.clear();
  if (auto* button = host_.Control<QPushButton>(IDC_ADD_TOKEN)) button->setText(QStringLiteral("Add"));
  // The list has room for 20 tokens: with all of them held there is nothing to add.
  const QComboBox* list = List();
  host_.Enable(IDC_ADD_TOKEN, !list || list->count() < kMaxTokens + 1);
  host_.Enable(IDC_DELETE_TOKEN, false);
}

void TokenListEditor::EnterEditTokenMode() {
  mode_ = Mode::EditToken;
  if (auto* button = host_.Control<QPushButton>(IDC_ADD_TOKEN)) button->setText(QStringLiteral("Save"));
  host_.Enable(IDC_ADD_TOKEN, true);
  host_.Enable(IDC_DELETE_TOKEN, true);
}

void TokenListEditor::Reset() {
  QComboBox* list = List();
  if (list) list->clear();
  AddMarkerEntry();
  if (list) list->setCurrentIndex(0);
  shownIndex_ = 0;
  tokenCount_ = 0;
  std::fill(tokens_.begin(), tokens_.end(), QString());
  EnterNewTokenMode();
}

void TokenListEditor::Clear() {
  if (QComboBox* list = List()) list->clear();
  shownIndex_ = -1;
  tokenCount_ = 0;
  std::fill(tokens_.begin(), tokens_.end(), QString());
  mode_ = Mode::NewToken;
  tokenText_.clear();
  if (auto* button = host_.Control<QPushButton>(IDC_ADD_TOKEN)) button->setText(QStringLiteral("Add"));
}

void TokenListEditor::Load(const orvane::PreferenceProfile& profile) {
  QComboBox* list = List();
  if (list) list->clear();
  AddMarkerEntry();
  if (list) list->setCurrentIndex(0);
  shownIndex_ = 0;
  std::fill(tokens_.begin(), tokens_.end(), QString());
  // The list holds 20: take what fits.
  tokenCount_ = static_cast<int>(std::min<size_t>(profile.tokens.size(), kMaxTokens));
  for (int i = 0; i < tokenCount_; ++i) {
    tokens_[i] = QString::fromStdU16String(profile.tokens[i]);
    if (list) list->addItem(tokens_[i], i);
  }
  EnterNewTokenMode();
}

void TokenListEditor::CopyInto(orvane::PreferenceProfile* profile) const {
  profile->tokens.clear();
  for (int i = 0; i < tokenCount_ && i < kMaxTokens; ++i) profile->tokens.push_back(tokens_[i].toStdU16String());
}

void TokenListEditor::OnSelectionChange() {
  QComboBox* list = List();
  if (!list) return;
  if (!host_.ReadControls()) {
    // The values could not be taken: keep the list on the entry the state belongs to.
    list->setCurrentIndex(shownIndex_);
    return;
  }
  const int index = list->currentIndex();
  if (index < 0) return;
  host_.Enable(IDC_ADD_TOKEN, true);
  if (list->itemData(index).toInt() == NewTokenMarker) {
    EnterNewTokenMode();
  } else {
    tokenText_ = list->itemText(index);
    EnterEditTokenMode();
  }
  shownIndex_ = index;
  host_.ShowMembers();
}

void TokenListEditor::OnAddOrSave() {
  QComboBox* list = List();
  if (!list || !host_.ReadControls()) return;
  if (tokenText_.trimmed().isEmpty()) {
    ui::ShowMessage(host_.Owner(), QStringLiteral("Please fill valid Token"));
    return;
  }
  if (mode_ == Mode::NewToken) {
    if (tokenCount_ >= kMaxTokens) return;  // the button is disabled then
    list->addItem(tokenText_, tokenCount_);
    const int position = list->count() - 1;
    list->setCurrentIndex(position);
    shownIndex_ = position;
    tokens_[tokenCount_] = tokenText_;
    ++tokenCount_;
    EnterEditTokenMode();
  } else {
    const int i = list->itemData(list->currentIndex()).toInt();
    if (i < 0 || i >= tokenCount_) return;
    tokens_[i] = tokenText_;
    Rebuild(i);
  }
  host_.ShowMembers();
}

void TokenListEditor::Rebuild(int selectToken) {
  QComboBox* list = List();
  list->clear();
  AddMarkerEntry();
  for (int k = 0; k < tokenCount_; ++k) list->addItem(tokens_[k], k);
  list->setCurrentIndex(selectToken + 1);
  shownIndex_ = selectToken + 1;
}

void TokenListEditor::OnDelete() {
  QComboBox* list = List();
  if (!list || !host_.ReadControls()) return;
  const int index = list->currentIndex();
  const int i = index < 0 ? -1 : list->itemData(index).toInt();
  if (i < 0 || i >= tokenCount_) {
    // Nothing selected, or "<New Token>": there is no token to delete.
    ui::ShowMessage(host_.Owner(), QStringLiteral("Please select a token, before attempting to delete."));
    host_.ShowMembers();
    return;
  }
  if (!ui::Confirm(host_.Owner(), QStringLiteral("Are you sure to delete token?"))) {
    host_.ShowMembers();
    return;
  }
  for (int k = i; k + 1 < tokenCount_; ++k) tokens_[k] = tokens_[k + 1];
  --tokenCount_;
  tokens_[tokenCount_].clear();
  list->removeItem(index);
  // The entries behind the removed one keep pointing at their own tokens.
  for (int k = index; k < list->count(); ++k) list->setItemData(k, list->itemData(k).toInt() - 1);
  list->setCurrentIndex(0);
  shownIndex_ = 0;
  EnterNewTokenMode();
  host_.ShowMembers();
}
