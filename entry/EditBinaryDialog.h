// Edit Binary (template IDD_EDIT_BINARY): edits the bytes behind a binary text in a
// binary editor control. OK gives back the edited bytes as binary text (always in the
// notation's canonical form); Cancel leaves the caller's text as it was.
#pragma once

#include <QString>

#include "entry/BinaryCtrl.h"
#include "ui/TemplateDialog.h"

class EditBinaryDialog : public ui::TemplateDialog {
  Q_OBJECT

 public:
  // The byte area, in pixels of the dialog: left, top, right, bottom (8 rows); on a
  // larger window it grows by the window's growth and shows more rows.
  static constexpr QRect kEditorRect{12, 50, 211, 135};  // x, y, width, height

  explicit EditBinaryDialog(const QString& binaryText, QWidget* parent = nullptr);

  // The caller's text until the dialog ends with OK, the edited text afterwards.
  QString BinaryText() const { return binaryText_; }
  QZBinaryCtrl* Editor() const { return editor_.window; }

 protected:
  void OnInitDialog() override;
  void OnOK() override;

 private:
  QString binaryText_;
  QString caption_;
  BinaryCtrlHost editor_;
};
