// The zoom of the whole interface (Ctrl+Plus, Ctrl+Minus, Ctrl+0): one factor for the
// program, from 100% to 300%. Fonts, geometry and pictures are drawn at the template's
// size times the factor; at 100% nothing is touched, so every screen is the handheld's.
//
// The main window also tells how much larger than its template its form has been made
// (the growth); the dialogs that cover the handheld's screen grow by as much.
#pragma once

#include <QFont>
#include <QPixmap>
#include <QRect>
#include <QSize>

namespace ui {

constexpr int kZoomMinPercent = 100;
constexpr int kZoomMaxPercent = 300;
constexpr int kZoomStepPercent = 25;

int ZoomPercent();
double ZoomFactor();
// Sets the zoom, clamped to 100..300; returns the zoom now in force.
int SetZoomPercent(int percent);
// The next step up or down from |percent|, within 100..300.
int ZoomStepUp(int percent);
int ZoomStepDown(int percent);

// Lengths and rectangles at the current zoom: both edges of a rectangle are scaled and
// rounded, so neighbouring controls stay neighbours.
int Zoomed(int px);
QRect Zoomed(const QRect& r);
QSize Zoomed(const QSize& s);
// |base| with its pixel or point size times the zoom.
QFont ZoomedFont(const QFont& base);
// |picture| drawn smoothly at |size| logical pixels for a screen of |devicePixelRatio|
// (sharp on HiDPI screens). At its own size on a 1x screen it is |picture| itself.
QPixmap SmoothPicture(const QPixmap& picture, const QSize& size, qreal devicePixelRatio);

// How many pixels the main window's form is larger than its template at the current
// zoom (never negative). Dialogs that cover the screen add it to their size.
QSize WindowGrowth();
void SetWindowGrowth(const QSize& growth);

}  // namespace ui
