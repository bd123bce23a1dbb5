#include "screen/ExportOptionsDialog.h"

#include <QComboBox>
#include <QLabel>

#include "resources/OrvanePortIds.h"
#include "ui/Look.h"

namespace orvane {

using namespace port_ids;

namespace {
constexpr int kBytesPerLineChoices[] = {8, 16, 32};
}  // namespace

ExportOptionsDialog::ExportOptionsDialog(QWidget* parent)
    : ui::TemplateDialog(kIdTable, IDD_EXPORT_OPTIONS, parent) {
  host_.BindCheck(IDC_COMMAND_TEXT, &commandText_);
  host_.BindCheck(IDC_COMMAND_BINARY, &commandBinary_);
  host_.BindCheck(IDC_COMMAND_BINARY_TEXT, &commandBinaryText_);
  host_.BindCheck(IDC_RESPONSE_TEXT, &responseText_);
  host_.BindCheck(IDC_RESPONSE_BINARY, &responseBinary_);
  host_.BindCheck(IDC_RESPONSE_BINARY_TEXT, &responseBinaryText_);
  host_.BindCheck(IDC_EXPORT_TIME, &time_);
  host_.BindCheck(IDC_EXPORT_NOTES, &notes_);
}

void ExportOptionsDialog::OnInitDialog() {
  // The template's initial data has filled the combo box with 8, 16 and 32.
  if (auto* combo = Control<QComboBox>(IDC_BYTES_PER_LINE)) combo->setCurrentIndex(0);

  options_ = ExportOptions{};
  commandText_ = options_.exportCommandText;
  commandBinary_ = options_.exportCommandBinary;
  commandBinaryText_ = options_.exportCommandBinaryText;
  responseText_ = options_.exportResponseText;
  responseBinary_ = options_.exportResponseBinary;
  responseBinaryText_ = options_.exportResponseBinaryText;
  time_ = options_.exportTime;
  notes_ = options_.exportNotes;
  host_.ShowMembers();

  if (auto* caption = Control<QLabel>(IDC_EXPORT_CAPTION)) {
    caption->setText(QStringLiteral("Export Responses"));
    ui::MakeCaption(caption);
  }
}

void ExportOptionsDialog::OnOK() {
  if (!host_.ReadControls()) return;
  options_.exportCommandText = commandText_;
  options_.exportCommandBinary = commandBinary_;
  options_.exportCommandBinaryText = commandBinaryText_;
  options_.exportResponseText = responseText_;
  options_.exportResponseBinary = responseBinary_;
  options_.exportResponseBinaryText = responseBinaryText_;
  options_.exportTime = time_;
  options_.exportNotes = notes_;

  // Index 0, 1, 2 -> 8, 16, 32; with no selection the first choice stands.
  const auto* combo = Control<QComboBox>(IDC_BYTES_PER_LINE);
  const int index = combo ? combo->currentIndex() : 0;
  options_.bytesPerLine = index >= 0 && index < 3 ? kBytesPerLineChoices[index] : 8;
  accept();
}

}  // namespace orvane
