// What the main screen tells the user around a send and an open, beside the send flow:
// the remedy for a command that got no reply for want of a line end, and a warning when
// other programs hold the port just opened.
#pragma once

#include <QString>

namespace orvane {
class PreferenceStore;
class ResponseStore;
}
class QWidget;

// The profile AdoptLineEndProfile makes: suffix <0D>, timeout 3 s, the default tokens.
inline constexpr char16_t kLineEndProfile[] = u"Carriage Return";

// True when the newest exchange in |rows| went out without a line end and got nothing
// back but its own echo before the silence ended it.
bool LastSendLacksLineEnd(const orvane::ResponseStore& rows);

// Says that modems wait for a carriage return and asks whether to use the profile
// kLineEndProfile (made when missing). True once the user agreed and that profile is
// the current one; a profile that cannot be saved is said.
bool AdoptLineEndProfile(QWidget* parent, orvane::PreferenceStore& preferences);

// "PORT is also open in PROGRAM (pid N): replies may go there." when other programs hold
// |port| open (the far end of a pty excepted); empty otherwise.
QString OtherReadersWarning(const QString& port);
