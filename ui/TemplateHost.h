// What every screen made from a template shares: its controls by id, the binding of
// controls to the screen's members ("read the controls" / "show the members"), and
// its command table.
#pragma once

#include <QHash>
#include <QPointer>
#include <QString>
#include <functional>
#include <variant>
#include <vector>

#include "ui/CommandTable.h"
#include "ui/Template.h"

class QWidget;

namespace ui {

class TemplateHost {
 public:
  // Builds template |templateId| of the program with |ids| into |owner| and sizes
  // |owner| to it. A missing template leaves the owner empty and Ok() false.
  TemplateHost(QWidget* owner, IdTable ids, int templateId);
  TemplateHost(QWidget* owner, const DialogTemplate& tmpl);

  bool Ok() const { return ok_; }
  const QString& Error() const { return error_; }
  const DialogTemplate& Template() const { return template_; }
  QWidget* Owner() const { return owner_; }

  // The control with |id| (found once, then remembered while it lives).
  QWidget* Control(int id) const;
  template <class T>
  T* Control(int id) const { return qobject_cast<T*>(Control(id)); }
  void Enable(int id, bool on) const;

  // Bindings between a control and a member of the screen.
  void BindText(int id, QString* member);  // edit, label, button, editable combo text
  void BindCheck(int id, bool* member);    // check box: ticked or not
  // Decimal integer in an edit field. Reading text that is not a whole number in
  // the 32-bit range shows "Please enter an integer.", puts the focus back on the
  // field and fails the read.
  void BindInt(int id, int* member);

  // Copies every bound control into its member; false when a value was refused (the
  // message has been shown and the members read so far keep their new values).
  bool ReadControls();
  // Copies every member back into its control.
  void ShowMembers();

  CommandTable& Commands() { return commands_; }
  // Shortcut: OnNotify on this screen's controls.
  void OnNotify(int id, Notify what, CommandTable::Handler handler) {
    commands_.OnNotify(owner_, id, what, std::move(handler));
  }

 private:
  // The member's type says how it is bound: text, check box, or decimal integer.
  struct Binding {
    int id;
    std::variant<QString*, bool*, int*> member;
  };

  QWidget* owner_;
  DialogTemplate template_;
  bool ok_ = false;
  QString error_;
  std::vector<Binding> bindings_;
  CommandTable commands_;
  mutable QHash<int, QPointer<QWidget>> controls_;

  void Build();
};

// Parses a decimal integer the way the dialog exchange does: optional blanks, an
// optional sign, digits, optional blanks, and within the 32-bit range.
bool ParseDialogInt(const QString& text, int* value);

}  // namespace ui
