// The Enter-key filter of every entry control: the control takes all keys, so Enter,
// Escape and Tab never press a default button, cancel a dialog or move the focus.
// Enter is swallowed; Escape and Tab go to the control alone (which ignores them).
#pragma once

class QObject;
class QWidget;

namespace ui {

void InstallEnterKeyFilter(QWidget* control);
bool HasEnterKeyFilter(const QWidget* control);

}  // namespace ui
