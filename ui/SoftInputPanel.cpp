#include "ui/SoftInputPanel.h"

#include <QEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QObject>
#include <QWidget>

namespace ui::sip {
namespace {
Request g_last = Request::None;
int g_raised = 0;
int g_lowered = 0;

class FocusFollower : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::FocusIn) Raise();
    else if (event->type() == QEvent::FocusOut) ForceDown();
    return QObject::eventFilter(watched, event);
  }
};
}  // namespace

void Raise() {
  g_last = Request::Raise;
  ++g_raised;
  if (auto* im = QGuiApplication::inputMethod()) im->show();
}

void ForceDown() {
  g_last = Request::ForceDown;
  ++g_lowered;
  if (auto* im = QGuiApplication::inputMethod()) im->hide();
}

Request LastRequest() { return g_last; }
int RaiseCount() { return g_raised; }
int ForceDownCount() { return g_lowered; }

void FollowFocus(QWidget* field) {
  if (!field) return;
  field->installEventFilter(new FocusFollower(field));
}

}  // namespace ui::sip
