// The common look of every screen: dialog-unit geometry, the bold blue caption,
// blue button texts and the rule bitmaps.
#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QRect>

class QWidget;

namespace ui {

// Templates are laid out in dialog units; the handheld's 240-pixel screen gives
// 1.75 pixels per unit in both directions (a 135 x 153 dialog is 236 x 268 pixels).
constexpr int DluToPx(int dlu) { return (dlu * 7 + 2) / 4; }
inline QRect DluRect(int x, int y, int w, int h) {
  return QRect(DluToPx(x), DluToPx(y), DluToPx(w), DluToPx(h));
}

constexpr int kScreenWidth = 240;
constexpr int kScreenHeight = 268;  // below the status bar, above the command bar

// Caption and button text colour.
QColor Blue();
// Bold "Arial" 15 pixels, weight 700 (Liberation Sans stands in for Arial).
QFont CaptionFont();
// The "System" 8-point dialog font.
QFont DialogFont();
// Bitmap |id| and icon |id| from the resources.
QPixmap Bitmap(int id);
QPixmap Icon(int id);

// Draws |widget|'s text in blue.
void SetBlueText(QWidget* widget);
// Gives a caption label the bold font and the blue text.
void MakeCaption(QWidget* label);

}  // namespace ui
