// Dialog templates: declarative control tables kept as text in resources/templates
// (<id>.dlg), parsed here and turned into widgets at the fixed dialog-unit scale.
//
// Template text, one statement per line ('#' starts a comment):
//   DIALOG <id> <width> <height> [FULLSCREEN] ["Window title"]
//   <KIND> <control id | -1> "<text>" <x> <y> <width> <height> [FLAG ...]
//   BITMAP|ICON <control id | -1> <picture id> <x> <y> <width> <height> [FLAG ...]
// KIND is LTEXT, CTEXT, RTEXT, EDITTEXT, COMBOBOX, LISTBOX, LISTVIEW, PUSHBUTTON,
// DEFPUSHBUTTON, AUTOCHECKBOX or CUSTOM (text = window class name). FLAGs: SORT,
// DROPDOWN (editable), DROPDOWNLIST, VSCROLL, AUTOHSCROLL, MULTILINE, READONLY,
// DISABLED, CAPTION (bold blue caption label), BLUE (blue text), CLASS=<name> (a
// registered control class instead of the kind's plain widget).
//   DLGINIT <control id> "item" "item" ...
// gives a combo box or list box declared above it its initial items, added in order
// when the controls are built (a SORT combo box still sorts them).
// Ids are names from the program's id table (see ui/ResourceIds.h).
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

#include "ui/ResourceIds.h"

class QWidget;

namespace ui {

enum class ControlKind {
  Label, Bitmap, Icon, Edit, Combo, ListBox, ListView, Button, DefaultButton, CheckBox, Custom
};

// One control's definition in a template: its kind, id, text, place and style flags.
struct ControlDef {
  ControlKind kind = ControlKind::Label;
  int id = -1;
  QString text;
  int picture = 0;  // BITMAP, ICON: the picture's id
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
  QStringList flags;
  QString className;  // CLASS=... or the CUSTOM kind's class
  QStringList initItems;  // DLGINIT items of a combo box or list box
  bool Has(const char* flag) const { return flags.contains(QLatin1String(flag)); }
};

struct DialogTemplate {
  int id = 0;
  int width = 0, height = 0;  // dialog units
  bool fullScreen = false;
  QString title;
  std::vector<ControlDef> controls;
  const ControlDef* Find(int id) const;
};

// Parses template text naming its ids from |ids|; on a malformed line or an id that
// is not named there, returns nothing and sets |error|.
std::optional<DialogTemplate> ParseTemplate(const QString& text, IdTable ids,
                                            QString* error = nullptr);
// Parses template text that gives its ids as numbers.
std::optional<DialogTemplate> ParseTemplate(const QString& text, QString* error = nullptr);
// Loads template |id| of the program with |ids| from the resources
// (":/templates/<id>.dlg"), which must declare that dialog. A missing or malformed
// template is a build fault: the message names it and the result is empty.
std::optional<DialogTemplate> LoadTemplate(IdTable ids, int id, QString* error = nullptr);

// Control classes a template can name with CLASS=<name> (like registering a window
// class). A class that is not registered falls back to the kind's plain widget.
using ControlFactory = std::function<QWidget*(QWidget* parent, const ControlDef& def)>;
void RegisterControlClass(const QString& name, ControlFactory factory);
bool IsControlClassRegistered(const QString& name);

// Creates the controls of |tmpl| as children of |parent| (in template order, which is
// also the tab order) and returns them in the same order.
std::vector<QWidget*> BuildControls(QWidget* parent, const DialogTemplate& tmpl);

// Control ids: every control made from a template carries its id.
constexpr const char* kControlIdProperty = "orvaneControlId";
int ControlIdOf(const QWidget* widget);
QWidget* FindControl(const QWidget* root, int id);

// Adds an item to a combo box with an attached integer, keeping the box sorted when
// its template asked for SORT (case-insensitive, like the platform's sorted list).
// Returns the position of the new item.
int AddComboItem(QWidget* combo, const QString& text, int data);

}  // namespace ui
