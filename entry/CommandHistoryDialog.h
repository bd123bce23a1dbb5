// Command history (template IDD_COMMAND_HISTORY): lists the stored commands, most
// recent first, previews the selected one's bytes in a binary editor control and gives
// back the picked command text. It only reads the history, once, when it opens.
#pragma once

#include <QString>
#include <string>
#include <vector>

#include "entry/BinaryCtrl.h"
#include "entry/model/CommandHistory.h"
#include "ui/TemplateDialog.h"

class QListWidget;

class CommandHistoryDialog : public ui::TemplateDialog {
  Q_OBJECT

 public:
  // The preview, in pixels of the dialog: left, top, right, bottom (6 rows).
  static constexpr QRect kPreviewRect{12, 150, 211, 110};  // x, y, width, height

  explicit CommandHistoryDialog(const orvane::CommandHistory& history, QWidget* parent = nullptr);

  // The selected entry's text (empty with an empty history); the result after OK.
  QString PickedCommand() const { return picked_; }
  QZBinaryCtrl* Preview() const { return preview_.window; }
  QListWidget* List() const;

 protected:
  void OnInitDialog() override;

 private:
  orvane::CommandHistory history_;
  std::vector<std::u16string> entries_;
  QString picked_;
  QString caption_;
  BinaryCtrlHost preview_;

  void OnSelChange();
};
