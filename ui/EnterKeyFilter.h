// The Enter-key filter of every entry control: Enter typed there is swallowed, so it
// never presses a dialog's default button. Tab and Shift+Tab move the focus and Escape
// cancels a dialog, as everywhere on a desktop.
#pragma once

class QObject;
class QWidget;

namespace ui {

void InstallEnterKeyFilter(QWidget* control);
bool HasEnterKeyFilter(const QWidget* control);

}  // namespace ui
