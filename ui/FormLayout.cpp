#include "ui/FormLayout.h"

#include <QEvent>
#include <QLabel>
#include <QWidget>
#include <cmath>

#include "ui/Template.h"
#include "ui/Zoom.h"

namespace ui {
namespace {

int Share(double share, int room) { return static_cast<int>(std::lround(share * room)); }

}  // namespace

FormLayout::FormLayout(QWidget* form, const QSize& baseSize)
    : QObject(form), form_(form), baseSize_(baseSize) {
  for (QObject* child : form->children()) {
    auto* widget = qobject_cast<QWidget*>(child);
    if (!widget || widget->isWindow() || !widget->property(kControlIdProperty).isValid()) continue;
    Item item;
    item.widget = widget;
    item.base = widget->geometry();
    if (auto* label = qobject_cast<QLabel*>(widget); label && !label->pixmap().isNull())
      item.picture = label->pixmap();
    if (!item.picture.isNull() && item.base.width() >= baseSize.width() - 4) item.anchor = kWiden;
    items_.push_back(item);
  }
  form->installEventFilter(this);
}

FormLayout::Item* FormLayout::Find(QWidget* control) {
  for (Item& item : items_)
    if (item.widget == control) return &item;
  return nullptr;
}

void FormLayout::SetAnchor(int id, Anchor anchor) { SetAnchor(FindControl(form_, id), anchor); }

void FormLayout::SetAnchor(QWidget* control, Anchor anchor) {
  if (Item* item = Find(control)) item->anchor = anchor;
}

void FormLayout::SetAnchorAt(const QPoint& basePos, Anchor anchor) {
  for (Item& item : items_)
    if (item.base.topLeft() == basePos) item.anchor = anchor;
}

void FormLayout::Add(QWidget* control, const QRect& base, Anchor anchor) {
  if (!control) return;
  Item item;
  item.widget = control;
  item.base = base;
  item.anchor = anchor;
  item.zoomFont = false;
  items_.push_back(item);
  control->setGeometry(Place(base, anchor));
}

QSize FormLayout::MinimumSize() const { return Zoomed(baseSize_); }

QSize FormLayout::Growth() const {
  const QSize least = MinimumSize();
  return QSize(qMax(0, form_->width() - least.width()), qMax(0, form_->height() - least.height()));
}

QRect FormLayout::Place(const QRect& base, Anchor anchor) const {
  const QRect zoomed = Zoomed(base);
  const QSize room = Growth();
  return QRect(zoomed.x() + Share(anchor.moveX, room.width()),
               zoomed.y() + Share(anchor.moveY, room.height()),
               zoomed.width() + Share(anchor.growX, room.width()),
               zoomed.height() + Share(anchor.growY, room.height()));
}

void FormLayout::Apply() {
  if (applying_) return;
  applying_ = true;
  if (form_->minimumSize() != MinimumSize()) form_->setMinimumSize(MinimumSize());
  const bool plain = ZoomPercent() == kZoomMinPercent;
  for (Item& item : items_) {
    QWidget* widget = item.widget;
    if (!widget) continue;
    if (item.zoomFont) {
      // A font set by the screen since (a bold caption, say) is the new 100% font.
      if (!item.fontKnown || widget->font() != item.zoomedFont) item.baseFont = widget->font();
      item.fontKnown = true;
      item.zoomedFont = ZoomedFont(item.baseFont);
      if (widget->font() != item.zoomedFont) widget->setFont(item.zoomedFont);
    }
    QRect place = Place(item.base, item.anchor);
    // A text label lower than its font's line would cut its glyphs (a bold caption's
    // descenders): it grows about its middle, so the text stays where it was drawn, and
    // paints over the rule beside it.
    if (auto* label = qobject_cast<QLabel*>(widget); label && item.picture.isNull() && !label->text().isEmpty()) {
      const int lineHeight = label->fontMetrics().height();
      if (lineHeight > place.height()) {
        const int grow = lineHeight - place.height();
        place.adjust(0, -grow / 2, 0, grow - grow / 2);
        label->raise();
      }
    }
    if (widget->geometry() != place) widget->setGeometry(place);
    if (!item.picture.isNull()) {
      auto* label = qobject_cast<QLabel*>(widget);
      const qreal ratio = widget->devicePixelRatioF();
      if (plain && ratio == 1.0 && place.size() == item.picture.size()) {
        if (item.pictureReplaced) label->setPixmap(item.picture);
        item.pictureReplaced = false;
      } else {
        label->setPixmap(SmoothPicture(item.picture, place.size(), ratio));
        item.pictureReplaced = true;
      }
    }
  }
  applying_ = false;
  emit LaidOut(Growth());
}

bool FormLayout::eventFilter(QObject* watched, QEvent* event) {
  if (watched == form_) {
    switch (event->type()) {
      case QEvent::Resize:
      case QEvent::Show:
      case QEvent::ScreenChangeInternal:
        Apply();
        break;
      default:
        break;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace ui
