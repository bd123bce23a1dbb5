// The profile fields both profile dialogs show: prefix, suffix and timeout, bound to
// the template's controls of the same ids, with the token field beside them.
#pragma once

#include <QString>

namespace ui {
class TemplateHost;
}

struct ProfileFields {
  QString prefix;
  QString suffix;
  int timeout = 0;

  // Binds the three fields to their controls; the input panel follows the focus into
  // them and into the token field.
  void Bind(ui::TemplateHost& host);
  // Prefix, suffix and token take binary text (their menus offer Edit As Binary); the
  // timeout is plain editing.
  static void SetMenuModes(ui::TemplateHost& host);
};
