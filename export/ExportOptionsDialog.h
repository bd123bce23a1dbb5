// Asks how the response list is to be written: bytes per line and which of the
// three layouts the commands and the responses get. It only collects the choices;
// every run starts from the same opening values.
#pragma once

#include "export/ResponseListWriter.h"
#include "ui/TemplateDialog.h"

namespace orvane {

class ExportOptionsDialog : public ui::TemplateDialog {
  Q_OBJECT

 public:
  explicit ExportOptionsDialog(QWidget* parent = nullptr);

  // The choices; meaningful after the dialog ended with OK.
  const ExportOptions& Options() const { return options_; }

 protected:
  void OnInitDialog() override;
  void OnOK() override;

 private:
  ExportOptions options_;
  // The check boxes' bound members (1 ticked, 0 not).
  int commandText_ = 0, commandBinary_ = 0, commandBinaryText_ = 0;
  int responseText_ = 0, responseBinary_ = 0, responseBinaryText_ = 0;
};

}  // namespace orvane
