// The about box (template 100, "About Orvane"): logo, program icon, banner, contact and
// copyright lines. Centred over its owner; closes with the frame's close button or
// Escape.
#pragma once

#include "ui/TemplateDialog.h"

class CAboutBox : public ui::TemplateDialog {
  Q_OBJECT

 public:
  static constexpr int kTemplateId = 100;
  explicit CAboutBox(QWidget* parent = nullptr);

 protected:
  void OnInitDialog() override;
};
