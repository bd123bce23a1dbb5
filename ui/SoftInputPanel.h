// The soft input panel (on-screen keyboard): raised when an entry field gains the
// focus, forced down when it loses it.
#pragma once

class QWidget;

namespace ui::sip {

enum class Request { None, Raise, ForceDown };

void Raise();
void ForceDown();
// The last request made and how many of each (for tests and diagnostics).
Request LastRequest();
int RaiseCount();
int ForceDownCount();

// Makes |field| raise the panel on focus-in and force it down on focus-out.
void FollowFocus(QWidget* field);

}  // namespace ui::sip
