#include "ui/TemplateDialog.h"

#include <QPainter>
#include <QShowEvent>

#include "ui/Zoom.h"

namespace ui {

TemplateDialog::TemplateDialog(IdTable ids, int templateId, QWidget* parent)
    : QDialog(parent), host_(this, ids, templateId) {
  setModal(true);
  // Dialogs are pop-ups without a title bar; one whose template names a title (the
  // about box) keeps an ordinary frame.
  if (host_.Template().title.isEmpty())
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
  else
    setWindowTitle(host_.Template().title);
  layout_ = new FormLayout(this, size());
  setFixedSize(layout_->MinimumSize());
  auto& commands = host_.Commands();
  commands.OnNotify(this, IDOK, Notify::Clicked, [this] { OnOK(); });
  commands.OnNotify(this, IDCANCEL, Notify::Clicked, [this] { OnCancel(); });
}

void TemplateDialog::GrowWithWindow() {
  setFixedSize(layout_->MinimumSize() + WindowGrowth());
  layout_->Apply();
}

void TemplateDialog::EnsureInitialized() {
  if (initialized_) return;
  initialized_ = true;
  OnInitDialog();
}

void TemplateDialog::OnOK() {
  if (host_.ReadControls()) accept();
}

void TemplateDialog::showEvent(QShowEvent* event) {
  EnsureInitialized();
  layout_->Apply();  // fonts set by the initialisation (the caption's) at the zoom
  QDialog::showEvent(event);
}

void TemplateDialog::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (!(windowFlags() & Qt::FramelessWindowHint)) return;
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace ui
