#include "entry/BinaryCtrl.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

#include "ui/Look.h"
#include "ui/Template.h"
#include "ui/Zoom.h"

#include <cmath>

using orvane::BinaryEditModel;

namespace {

bool g_registered = false;

QChar HexDigit(int value) { return QChar(u"0123456789ABCDEF"[value & 0xF]); }

}  // namespace

QZBinaryCtrl::QZBinaryCtrl(QWidget* parent, int visibleRows, int bytesPerRow)
    : QAbstractScrollArea(parent), model_(visibleRows, bytesPerRow), scale_(ui::ZoomFactor()) {
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setAutoFillBackground(false);
  viewport()->setCursor(Qt::IBeamCursor);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  auto* bar = verticalScrollBar();
  bar->setSingleStep(BinaryEditModel::kPage);
  bar->setPageStep(BinaryEditModel::kPage);
  connect(bar, &QAbstractSlider::actionTriggered, this, &QZBinaryCtrl::OnScrollAction);
  SyncScrollBar();
}

void QZBinaryCtrl::SetData(const uint8_t* bytes, size_t length) {
  model_.SetData(bytes, length);
  Changed();
}

int QZBinaryCtrl::BytesPerRowFor(int width) {
  const int bar = QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const double room = (width - bar) / ui::ZoomFactor();
  for (int perRow : {16, 8})
    if (BinaryEditModel::RowWidthFor(perRow) + BinaryEditModel::kOffsetLeft <= room) return perRow;
  return BinaryEditModel::kBytesPerRow;
}

int QZBinaryCtrl::RowsFor(int height) {
  if (height <= 0) return 0;
  const qreal row = BinaryEditModel::kRowHeight * ui::ZoomFactor();
  return static_cast<int>(std::floor(height / row + 1e-9));
}

QRect QZBinaryCtrl::CaretRect() const {
  const int width = qMax(1, style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, this));
  const QRect own(model_.CaretX(), model_.CaretY(), width, BinaryEditModel::kRowHeight);
  if (scale_ == 1.0) return own;
  return QRect(qRound(own.x() * scale_), qRound(own.y() * scale_), qMax(1, qRound(width * scale_)),
               qRound(own.height() * scale_));
}

void QZBinaryCtrl::SyncScrollBar() {
  syncing_ = true;
  auto* bar = verticalScrollBar();
  bar->setRange(0, model_.ScrollPosLimit());
  bar->setValue(model_.ScrollPos());
  setVerticalScrollBarPolicy(model_.ScrollMax() != 0 ? Qt::ScrollBarAlwaysOn
                                                     : Qt::ScrollBarAlwaysOff);
  syncing_ = false;
}

void QZBinaryCtrl::Changed() {
  SyncScrollBar();
  viewport()->update();
}

void QZBinaryCtrl::OnScrollAction(int action) {
  using Req = BinaryEditModel::ScrollRequest;
  Req request = Req::Other;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: request = Req::LineUp; break;
    case QAbstractSlider::SliderSingleStepAdd: request = Req::LineDown; break;
    case QAbstractSlider::SliderPageStepSub: request = Req::PageUp; break;
    case QAbstractSlider::SliderPageStepAdd: request = Req::PageDown; break;
    case QAbstractSlider::SliderMove: request = Req::ThumbTrack; break;
    default: break;
  }
  auto* bar = verticalScrollBar();
  // The bar has already moved its slider; the model decides where it really goes.
  model_.Scroll(request, bar->sliderPosition());
  bar->setSliderPosition(model_.ScrollPos());
  viewport()->update();
}

void QZBinaryCtrl::scrollContentsBy(int, int) {
  // A position change that did not come through an action (the bar clamping on a new
  // range, say) is taken as a thumb position.
  if (!syncing_ && verticalScrollBar()->value() != model_.ScrollPos()) {
    model_.Scroll(BinaryEditModel::ScrollRequest::ThumbPosition, verticalScrollBar()->value());
    SyncScrollBar();
  }
  viewport()->update();
}

bool QZBinaryCtrl::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    // The control wants its keys: no dialog shortcut may take one from it. Tab and
    // Escape, which edit nothing here, move the focus and cancel the dialog.
    switch (static_cast<QKeyEvent*>(event)->key()) {
      case Qt::Key_Tab:
      case Qt::Key_Backtab:
      case Qt::Key_Escape:
        break;
      default:
        event->accept();
        return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void QZBinaryCtrl::keyPressEvent(QKeyEvent* event) {
  using Key = BinaryEditModel::Key;
  event->accept();
  switch (event->key()) {
    case Qt::Key_Left: model_.KeyDown(Key::Left); Changed(); return;
    case Qt::Key_Up: model_.KeyDown(Key::Up); Changed(); return;
    case Qt::Key_Right: model_.KeyDown(Key::Right); Changed(); return;
    case Qt::Key_Down: model_.KeyDown(Key::Down); Changed(); return;
    default: break;
  }
  model_.KeyDown(Key::Other);
  switch (event->key()) {
    case Qt::Key_Backspace: model_.Char(8); break;
    case Qt::Key_Return:
    case Qt::Key_Enter: model_.Char(13); break;
    case Qt::Key_Escape:
      // The dialog's: it cancels.
      event->ignore();
      return;
    case Qt::Key_Delete: break;  // no forward delete
    default:
      for (QChar c : event->text()) model_.Char(c.unicode());
      break;
  }
  Changed();
}

void QZBinaryCtrl::mousePressEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() != Qt::LeftButton) return;
  const QPointF at = event->position() / scale_;
  model_.Tap(static_cast<int>(at.x()), static_cast<int>(at.y()));
  setFocus(Qt::MouseFocusReason);
  Changed();
}

void QZBinaryCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  // A second tap is a tap like the first.
  mousePressEvent(event);
}

void QZBinaryCtrl::wheelEvent(QWheelEvent* event) {
  event->accept();
  const int delta = event->angleDelta().y();
  if (delta == 0) return;
  const int steps = qMax(1, qAbs(delta) / 120);
  const auto request = delta > 0 ? BinaryEditModel::ScrollRequest::LineUp
                                 : BinaryEditModel::ScrollRequest::LineDown;
  for (int i = 0; i < steps; ++i) model_.Scroll(request);
  Changed();
}

void QZBinaryCtrl::focusInEvent(QFocusEvent* event) {
  caretShown_ = true;
  viewport()->update();
  QAbstractScrollArea::focusInEvent(event);
}

void QZBinaryCtrl::focusOutEvent(QFocusEvent* event) {
  caretShown_ = false;
  viewport()->update();
  QAbstractScrollArea::focusOutEvent(event);
}

void QZBinaryCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), Qt::white);
  if (scale_ != 1.0) {
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(scale_, scale_);
  }
  painter.setFont(font());
  painter.setPen(palette().color(QPalette::Active, QPalette::Text));
  const auto& data = model_.Data();
  const int length = model_.Length();
  constexpr int kRow = BinaryEditModel::kRowHeight;
  constexpr int kTop = BinaryEditModel::kTextTop;
  auto draw = [&](int x, int y, const QString& text) {
    painter.drawText(QRect(x, y, 40, kRow - kTop), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                     text);
  };
  const int perRow = model_.BytesPerRow();
  int j = model_.TopRow() * perRow;
  for (int i = 0; i < model_.VisibleRows() && j < length; ++i) {
    const int y = kRow * i + kTop;
    draw(BinaryEditModel::kOffsetLeft, y, QString::fromStdString(BinaryEditModel::OffsetLabel(j)));
    for (int k = 0; k < perRow && j < length; ++k, ++j) {
      const uint8_t b = data[j];
      const int hexX = BinaryEditModel::kHexLeft + BinaryEditModel::kHexCellWidth * k;
      draw(hexX, y, QString(HexDigit(b >> 4)));
      draw(hexX + BinaryEditModel::kDigitWidth, y, QString(HexDigit(b)));
      draw(model_.CharLeft() + BinaryEditModel::kCharWidth * k, y,
           QString(QChar(BinaryEditModel::DisplayChar(b))));
    }
  }
  painter.resetTransform();
  if (caretShown_) painter.fillRect(CaretRect(), palette().color(QPalette::Active, QPalette::Text));
}

// --- host side ----------------------------------------------------------------------

BinaryCtrlHost::~BinaryCtrlHost() { DestroyBinaryCtrl(*this); }

void RegisterBinaryCtrlClass() {
  if (g_registered) return;
  g_registered = true;
  ui::RegisterControlClass(QString::fromLatin1(kBinaryCtrlClassName),
                           [](QWidget* parent, const ui::ControlDef& def) -> QWidget* {
                             const int height = ui::DluToPx(def.height);
                             return new QZBinaryCtrl(parent, height / BinaryEditModel::kRowHeight);
                           });
}

bool IsBinaryCtrlClassRegistered() { return g_registered; }

bool CreateBinaryCtrl(BinaryCtrlHost& host, QWidget* parent, const QRect& rect,
                      std::span<const uint8_t> bytes, BinaryRows rows) {
  DestroyBinaryCtrl(host);
  if (!parent) return false;
  const int height = qMax(0, rect.height());
  const int perRow = rows == BinaryRows::kFitWidth ? QZBinaryCtrl::BytesPerRowFor(rect.width())
                                                   : BinaryEditModel::kBytesPerRow;
  auto* control = new QZBinaryCtrl(parent, QZBinaryCtrl::RowsFor(height), perRow);
  control->setObjectName(QString::fromLatin1(kBinaryCtrlClassName));
  control->setGeometry(rect.x(), rect.y(), qMax(0, rect.width()), height);
  control->SetData(bytes.data(), bytes.size());
  host.window = control;
  FetchBinaryCtrlData(host);
  control->show();
  control->setFocus(Qt::OtherFocusReason);
  return true;
}

void SetBinaryCtrlData(BinaryCtrlHost& host, const uint8_t* bytes, size_t length) {
  if (!host.window) return;
  host.window->SetData(bytes, length);
  FetchBinaryCtrlData(host);
  host.window->show();
  host.window->setFocus(Qt::OtherFocusReason);
  host.window->viewport()->update();
}

void FetchBinaryCtrlData(BinaryCtrlHost& host) {
  if (!host.window) {
    host.bytes = nullptr;
    host.length = 0;
    return;
  }
  const auto& data = host.window->Model().Data();
  host.bytes = data.empty() ? nullptr : data.data();
  host.length = static_cast<int>(data.size());
}

void ShowBinaryCtrl(BinaryCtrlHost& host, bool show) {
  if (host.window) host.window->setVisible(show);
}

void FocusBinaryCtrl(BinaryCtrlHost& host) {
  if (host.window) host.window->setFocus(Qt::OtherFocusReason);
}

void DestroyBinaryCtrl(BinaryCtrlHost& host) {
  host.bytes = nullptr;
  host.length = 0;
  if (host.window) delete host.window.data();
  host.window = nullptr;
}
