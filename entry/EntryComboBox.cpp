#include "entry/EntryComboBox.h"

#include <QChildEvent>
#include <QLineEdit>

#include "ui/EnterKeyFilter.h"

EntryComboBox::EntryComboBox(QWidget* parent) : QComboBox(parent) {
  ui::InstallEnterKeyFilter(this);
}

void EntryComboBox::childEvent(QChildEvent* event) {
  QComboBox::childEvent(event);
  // An editable box types into its own edit box, which needs the filter as well.
  if (event->type() == QEvent::ChildPolished || event->type() == QEvent::ChildAdded) {
    if (auto* edit = qobject_cast<QLineEdit*>(event->child())) ui::InstallEnterKeyFilter(edit);
  }
}
