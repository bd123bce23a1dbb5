#include "ui/Look.h"

#include <QPalette>
#include <QWidget>

namespace ui {

QColor Blue() { return QColor(0, 0, 225); }

QFont CaptionFont() {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(15);
  font.setWeight(QFont::Bold);  // 700
  return font;
}

QFont DialogFont() {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(11);
  return font;
}

QPixmap Bitmap(int id) { return QPixmap(QStringLiteral(":/bitmaps/%1.png").arg(id)); }

QPixmap Icon(int id) { return QPixmap(QStringLiteral(":/icons/%1.png").arg(id)); }

void SetBlueText(QWidget* widget) {
  if (!widget) return;
  QPalette palette = widget->palette();
  for (auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
    palette.setColor(QPalette::Active, role, Blue());
    palette.setColor(QPalette::Inactive, role, Blue());
  }
  widget->setPalette(palette);
}

void MakeCaption(QWidget* label) {
  if (!label) return;
  label->setFont(CaptionFont());
  SetBlueText(label);
  label->update();
}

}  // namespace ui
