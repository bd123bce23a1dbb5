// Asks how the response list is to be written: bytes per line, which of the three
// layouts the commands and the responses get, and whether each exchange's time and its
// notes go with it. It only collects the choices;
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
  // The check boxes' bound members.
  bool commandText_ = false, commandBinary_ = false, commandBinaryText_ = false;
  bool responseText_ = false, responseBinary_ = false, responseBinaryText_ = false;
  bool time_ = false, notes_ = false;
};

}  // namespace orvane
