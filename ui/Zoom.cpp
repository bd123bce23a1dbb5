#include "ui/Zoom.h"

#include <QApplication>
#include <QtGlobal>
#include <cmath>
#include <iterator>

namespace ui {
namespace {

int g_percent = kZoomMinPercent;
QSize g_growth;
// Widgets without a font of their own (menus, tooltips, message boxes) take the
// application's font, or the desktop's font for their class: these follow the zoom.
constexpr const char* kFontClasses[] = {"QMenuBar", "QMenu", "QMessageBox", "QTipLabel"};
struct BaseFonts {
  QFont application;
  QFont classes[std::size(kFontClasses)];
};
BaseFonts* g_baseFonts = nullptr;  // the fonts at 100%

void ZoomApplicationFont() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
  if (!g_baseFonts) {
    if (g_percent == kZoomMinPercent) return;
    g_baseFonts = new BaseFonts;
    g_baseFonts->application = QApplication::font();
    for (size_t i = 0; i < std::size(kFontClasses); ++i)
      g_baseFonts->classes[i] = QApplication::font(kFontClasses[i]);
  }
  QApplication::setFont(ZoomedFont(g_baseFonts->application));
  for (size_t i = 0; i < std::size(kFontClasses); ++i)
    QApplication::setFont(ZoomedFont(g_baseFonts->classes[i]), kFontClasses[i]);
}

}  // namespace

int ZoomPercent() { return g_percent; }
double ZoomFactor() { return g_percent / 100.0; }

int SetZoomPercent(int percent) {
  const int before = g_percent;
  g_percent = qBound(kZoomMinPercent, percent, kZoomMaxPercent);
  if (g_percent != before) ZoomApplicationFont();
  return g_percent;
}

int ZoomStepUp(int percent) {
  const int next = (percent / kZoomStepPercent + 1) * kZoomStepPercent;
  return qBound(kZoomMinPercent, next, kZoomMaxPercent);
}

int ZoomStepDown(int percent) {
  const int below = percent % kZoomStepPercent == 0 ? percent - kZoomStepPercent
                                                     : percent / kZoomStepPercent * kZoomStepPercent;
  return qBound(kZoomMinPercent, below, kZoomMaxPercent);
}

int Zoomed(int px) { return static_cast<int>(std::lround(px * ZoomFactor())); }

QRect Zoomed(const QRect& r) {
  const int left = Zoomed(r.x()), top = Zoomed(r.y());
  return QRect(left, top, Zoomed(r.x() + r.width()) - left, Zoomed(r.y() + r.height()) - top);
}

QSize Zoomed(const QSize& s) { return QSize(Zoomed(s.width()), Zoomed(s.height())); }

QFont ZoomedFont(const QFont& base) {
  QFont font = base;
  if (g_percent == kZoomMinPercent) return font;
  if (base.pixelSize() > 0)
    font.setPixelSize(qMax(1, Zoomed(base.pixelSize())));
  else if (base.pointSizeF() > 0)
    font.setPointSizeF(base.pointSizeF() * ZoomFactor());
  return font;
}

QPixmap SmoothPicture(const QPixmap& picture, const QSize& size, qreal devicePixelRatio) {
  if (picture.isNull() || size.isEmpty()) return picture;
  const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
  if (size == picture.size() && ratio == picture.devicePixelRatio()) return picture;
  QPixmap scaled = picture.scaled(QSize(qRound(size.width() * ratio), qRound(size.height() * ratio)),
                                  Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  scaled.setDevicePixelRatio(ratio);
  return scaled;
}

QSize WindowGrowth() { return g_growth; }
void SetWindowGrowth(const QSize& growth) {
  g_growth = QSize(qMax(0, growth.width()), qMax(0, growth.height()));
}

}  // namespace ui
