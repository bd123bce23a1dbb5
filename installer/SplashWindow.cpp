#include "installer/SplashWindow.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimerEvent>

#include "resources/InstallerIds.h"
#include "ui/Look.h"

namespace {
bool g_enabled = false;
SplashWindow* g_current = nullptr;
bool g_directDispatch = false;
int g_timerMs = SplashWindow::kTimerMs;
}  // namespace

void SplashWindow::SetTimerMs(int ms) { g_timerMs = ms; }

void SplashWindow::EnableSplashScreen(bool enable) { g_enabled = enable; }
bool SplashWindow::SplashScreenEnabled() { return g_enabled; }
SplashWindow* SplashWindow::Current() { return g_current; }

void SplashWindow::ShowSplashScreen(QWidget* owner) {
  if (!g_enabled || g_current) return;
  const QPixmap bitmap = ui::Bitmap(orvane::installer_ids::IDB_SPLASH);
  if (bitmap.isNull()) return;  // nothing to show: no splash
  g_current = new SplashWindow(owner, bitmap);
  g_current->show();
  g_current->repaint();
}

SplashWindow::SplashWindow(QWidget* owner, const QPixmap& bitmap) : QWidget(owner), bitmap_(bitmap) {
  setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setCursor(Qt::ArrowCursor);
  setFixedSize(bitmap_.deviceIndependentSize().toSize());
  // Centre on the owner when it is on screen, else on the screen.
  QRect area;
  if (owner && owner->isVisible())
    area = owner->frameGeometry();
  else if (QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
    area = screen->availableGeometry();
  if (area.isValid()) move(area.center() - rect().center());
  timerId_ = startTimer(g_timerMs, Qt::PreciseTimer);
}

SplashWindow::~SplashWindow() {
  if (g_current == this) g_current = nullptr;
}

void SplashWindow::HideSplashScreen() {
  if (timerId_) killTimer(timerId_);
  timerId_ = 0;
  if (g_current == this) g_current = nullptr;
  hide();
  if (QWidget* owner = parentWidget()) owner->update();
  deleteLater();
}

void SplashWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, bitmap_);
}

void SplashWindow::timerEvent(QTimerEvent* event) {
  if (event->timerId() == timerId_) HideSplashScreen();
}

SplashWindow::DirectDispatch::DirectDispatch() : previous_(g_directDispatch) { g_directDispatch = true; }
SplashWindow::DirectDispatch::~DirectDispatch() { g_directDispatch = previous_; }
bool SplashWindow::DirectDispatch::Active() { return g_directDispatch; }

bool SplashWindow::PreTranslateMessage(QObject*, QEvent* event) {
  if (!g_current || g_directDispatch) return false;
  bool closes = false;
  switch (event->type()) {
    case QEvent::KeyPress:
      closes = true;
      break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick: {
      const auto button = static_cast<QMouseEvent*>(event)->button();
      closes = button == Qt::LeftButton || button == Qt::RightButton || button == Qt::MiddleButton;
      break;
    }
    default:
      break;
  }
  if (closes) g_current->HideSplashScreen();
  return closes;
}
