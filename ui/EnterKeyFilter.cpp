#include "ui/EnterKeyFilter.h"

#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace ui {
namespace {

class EnterKeyFilter : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::ShortcutOverride) {
      auto* key = static_cast<QKeyEvent*>(event);
      switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
          // Accepting the shortcut override keeps dialog shortcuts away; the key
          // press itself is consumed here, so it never reaches the dialog. Tab and
          // Escape take their desktop course: the focus moves, a dialog is cancelled.
          if (type == QEvent::ShortcutOverride) event->accept();
          return true;
        default:
          break;
      }
    }
    return QObject::eventFilter(watched, event);
  }
};

}  // namespace

void InstallEnterKeyFilter(QWidget* control) {
  if (!control || HasEnterKeyFilter(control)) return;
  auto* filter = new EnterKeyFilter(control);
  filter->setObjectName(QStringLiteral("orvaneEnterKeyFilter"));
  control->installEventFilter(filter);
}

bool HasEnterKeyFilter(const QWidget* control) {
  return control && control->findChild<QObject*>(QStringLiteral("orvaneEnterKeyFilter"),
                                                 Qt::FindDirectChildrenOnly) != nullptr;
}

}  // namespace ui
