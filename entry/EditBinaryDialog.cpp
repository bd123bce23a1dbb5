#include "entry/EditBinaryDialog.h"

#include "engine/BinaryTextCodec.h"
#include "resources/OrvanePortIds.h"
#include "ui/Look.h"
#include "ui/SoftInputPanel.h"

using namespace orvane::port_ids;

EditBinaryDialog::EditBinaryDialog(const QString& binaryText, QWidget* parent)
    : ui::TemplateDialog(kIdTable, IDD_EDIT_BINARY, parent), binaryText_(binaryText) {
  // On a larger window the byte area takes the room; the rule under it follows.
  for (int id : {ui::IDOK, ui::IDCANCEL}) Layout().SetAnchor(id, ui::kRightEdge);
  Layout().SetAnchorAt(ui::DluRect(0, 107, 160, 1).topLeft(), ui::kBottomWide);
  GrowWithWindow();
}

void EditBinaryDialog::OnInitDialog() {
  host_.BindText(IDC_EDIT_BINARY_CAPTION, &caption_);
  host_.ReadControls();

  {
    const orvane::Bytes bytes = orvane::DecodeBinaryText(binaryText_.toStdU16String());
    CreateBinaryCtrl(editor_, this, PlaceAtRunTime(kEditorRect, ui::kFill), bytes);
    Layout().Add(editor_.window, kEditorRect, ui::kFill);
    ShowBinaryCtrl(editor_, true);
    FocusBinaryCtrl(editor_);
  }  // the control keeps its own copy

  caption_ = QStringLiteral("Edit Binary");
  ui::MakeCaption(Control(IDC_EDIT_BINARY_CAPTION));
  FocusBinaryCtrl(editor_);
  // The user can type digits at once.
  ui::sip::Raise();
  host_.ShowMembers();
}

void EditBinaryDialog::OnOK() {
  FetchBinaryCtrlData(editor_);
  binaryText_ = QString::fromStdU16String(orvane::EncodeBinaryText(
      editor_.bytes, static_cast<size_t>(editor_.length)));
  accept();
}
