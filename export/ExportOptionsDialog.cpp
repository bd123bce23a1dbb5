#include "export/ExportOptionsDialog.h"

#include <QComboBox>
#include <QLabel>

#include "ui/Look.h"

namespace orvane {

namespace {
constexpr int kBytesPerLineChoices[] = {8, 16, 32};
}  // namespace

ExportOptionsDialog::ExportOptionsDialog(QWidget* parent) : ui::TemplateDialog(IDD, parent) {
  host_.BindCheck(kCommandText, &commandText_);
  host_.BindCheck(kCommandBinary, &commandBinary_);
  host_.BindCheck(kCommandBinaryText, &commandBinaryText_);
  host_.BindCheck(kResponseText, &responseText_);
  host_.BindCheck(kResponseBinary, &responseBinary_);
  host_.BindCheck(kResponseBinaryText, &responseBinaryText_);
}

void ExportOptionsDialog::OnInitDialog() {
  // The template's initial data has filled the combo box with 8, 16 and 32.
  if (auto* combo = Control<QComboBox>(kBytesPerLine)) combo->setCurrentIndex(0);

  options_ = ExportOptions{};
  commandText_ = options_.exportCommandText;
  commandBinary_ = options_.exportCommandBinary;
  commandBinaryText_ = options_.exportCommandBinaryText;
  responseText_ = options_.exportResponseText;
  responseBinary_ = options_.exportResponseBinary;
  responseBinaryText_ = options_.exportResponseBinaryText;
  host_.ShowMembers();

  if (auto* caption = Control<QLabel>(kCaption)) {
    caption->setText(QStringLiteral("Export Responses"));
    ui::MakeCaption(caption);
  }
}

void ExportOptionsDialog::OnOK() {
  if (!host_.ReadControls()) return;
  options_.exportCommandText = commandText_ != 0;
  options_.exportCommandBinary = commandBinary_ != 0;
  options_.exportCommandBinaryText = commandBinaryText_ != 0;
  options_.exportResponseText = responseText_ != 0;
  options_.exportResponseBinary = responseBinary_ != 0;
  options_.exportResponseBinaryText = responseBinaryText_ != 0;

  // Index 0, 1, 2 -> 8, 16, 32; with no selection the first choice stands.
  const auto* combo = Control<QComboBox>(kBytesPerLine);
  const int index = combo ? combo->currentIndex() : 0;
  options_.bytesPerLine = index >= 0 && index < 3 ? kBytesPerLineChoices[index] : 8;
  accept();
}

}  // namespace orvane
