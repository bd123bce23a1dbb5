// The about box (template IDD_ABOUTBOX, "About Orvane"): logo, program icon, banner,
// contact and copyright lines. Centred over its owner; closes with the frame's close
// button or Escape.
#pragma once

#include "ui/TemplateDialog.h"

class CAboutBox : public ui::TemplateDialog {
  Q_OBJECT

 public:
  explicit CAboutBox(QWidget* parent = nullptr);

 protected:
  void OnInitDialog() override;
};
