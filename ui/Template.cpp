#include "ui/Template.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "ui/Look.h"

namespace ui {
namespace {

QHash<QString, ControlFactory>& Classes() {
  static QHash<QString, ControlFactory> classes;
  return classes;
}

// Splits a template line into tokens; a quoted token keeps its spaces, and "" inside
// quotes is a literal quote.
std::optional<QStringList> Tokenize(const QString& line) {
  QStringList out;
  int i = 0;
  const int n = line.size();
  while (i < n) {
    const QChar c = line[i];
    if (c.isSpace() || c == u',') { ++i; continue; }
    if (c == u'#') break;
    if (c == u'"') {
      QString token;
      ++i;
      bool closed = false;
      while (i < n) {
        if (line[i] == u'"') {
          if (i + 1 < n && line[i + 1] == u'"') { token += u'"'; i += 2; continue; }
          closed = true;
          ++i;
          break;
        }
        token += line[i++];
      }
      if (!closed) return std::nullopt;
      out << QStringLiteral("\"") + token;  // marked as quoted
      continue;
    }
    QString token;
    while (i < n && !line[i].isSpace() && line[i] != u',') token += line[i++];
    out << token;
  }
  return out;
}

bool Unquote(const QString& token, QString* text) {
  if (!token.startsWith(u'"')) return false;
  *text = token.mid(1);
  return true;
}

bool ToInt(const QString& token, int* value) {
  bool ok = false;
  *value = token.toInt(&ok);
  return ok;
}

bool ToId(const QString& token, IdTable ids, int* value) {
  if (token.startsWith(u'"')) return false;
  const auto id = ResolveId(token, ids);
  if (id) *value = *id;
  return id.has_value();
}

// A control's id: an id, or -1 for a static control.
bool ToControlId(const QString& token, IdTable ids, int* value) {
  if (token == u"-1") {
    *value = -1;
    return true;
  }
  return ToId(token, ids, value);
}

std::optional<ControlKind> KindOf(const QString& word, Qt::Alignment* alignment) {
  *alignment = Qt::AlignLeft | Qt::AlignVCenter;
  if (word == u"LTEXT") return ControlKind::Label;
  if (word == u"CTEXT") { *alignment = Qt::AlignHCenter | Qt::AlignVCenter; return ControlKind::Label; }
  if (word == u"RTEXT") { *alignment = Qt::AlignRight | Qt::AlignVCenter; return ControlKind::Label; }
  if (word == u"BITMAP") return ControlKind::Bitmap;
  if (word == u"ICON") return ControlKind::Icon;
  if (word == u"EDITTEXT") return ControlKind::Edit;
  if (word == u"COMBOBOX") return ControlKind::Combo;
  if (word == u"LISTBOX") return ControlKind::ListBox;
  if (word == u"LISTVIEW") return ControlKind::ListView;
  if (word == u"PUSHBUTTON") return ControlKind::Button;
  if (word == u"DEFPUSHBUTTON") return ControlKind::DefaultButton;
  if (word == u"AUTOCHECKBOX") return ControlKind::CheckBox;
  if (word == u"CUSTOM") return ControlKind::Custom;
  return std::nullopt;
}

QWidget* MakePlain(QWidget* parent, const ControlDef& def) {
  switch (def.kind) {
    case ControlKind::Label: {
      auto* label = new QLabel(def.text, parent);
      label->setAlignment(def.alignment);
      return label;
    }
    case ControlKind::Bitmap: {
      auto* label = new QLabel(parent);
      label->setPixmap(Bitmap(def.picture));
      return label;
    }
    case ControlKind::Icon: {
      auto* label = new QLabel(parent);
      label->setPixmap(Icon(def.picture));
      return label;
    }
    case ControlKind::Edit:
      if (def.Has("MULTILINE")) {
        auto* edit = new QPlainTextEdit(parent);
        edit->setReadOnly(def.Has("READONLY"));
        return edit;
      } else {
        auto* edit = new QLineEdit(parent);
        edit->setReadOnly(def.Has("READONLY"));
        return edit;
      }
    case ControlKind::Combo: {
      auto* combo = new QComboBox(parent);
      combo->setEditable(def.Has("DROPDOWN"));
      if (combo->isEditable()) combo->setInsertPolicy(QComboBox::NoInsert);
      return combo;
    }
    case ControlKind::ListBox:
      return new QListWidget(parent);
    case ControlKind::ListView: {
      auto* list = new QTreeWidget(parent);
      list->setRootIsDecorated(false);
      list->setUniformRowHeights(true);
      list->header()->setStretchLastSection(false);
      return list;
    }
    case ControlKind::Button:
    case ControlKind::DefaultButton: {
      auto* button = new QPushButton(def.text, parent);
      button->setAutoDefault(false);
      button->setDefault(def.kind == ControlKind::DefaultButton);
      return button;
    }
    case ControlKind::CheckBox:
      return new QCheckBox(def.text, parent);
    case ControlKind::Custom:
      return new QWidget(parent);
  }
  return new QWidget(parent);
}

// Sorted lists order as the handheld's do: symbols before digits, digits before
// letters, letters without regard to case.
int SortRank(QChar c) {
  if (c.isLetter()) return 2;
  if (c.isDigit()) return 1;
  return 0;
}

int CompareForList(const QString& a, const QString& b) {
  const int n = qMin(a.size(), b.size());
  for (int i = 0; i < n; ++i) {
    const int ra = SortRank(a[i]), rb = SortRank(b[i]);
    if (ra != rb) return ra < rb ? -1 : 1;
    const QChar ca = a[i].toCaseFolded(), cb = b[i].toCaseFolded();
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

const ControlDef* DialogTemplate::Find(int controlId) const {
  for (const auto& c : controls)
    if (c.id == controlId) return &c;
  return nullptr;
}

std::optional<DialogTemplate> ParseTemplate(const QString& text, QString* error) {
  return ParseTemplate(text, {}, error);
}

std::optional<DialogTemplate> ParseTemplate(const QString& text, IdTable ids, QString* error) {
  DialogTemplate tmpl;
  bool haveHeader = false;
  const QStringList lines = text.split(u'\n');
  for (int number = 0; number < lines.size(); ++number) {
    auto fail = [&](const QString& why) -> std::optional<DialogTemplate> {
      if (error) *error = QStringLiteral("line %1: %2").arg(number + 1).arg(why);
      return std::nullopt;
    };
    const auto tokens = Tokenize(lines[number]);
    if (!tokens) return fail(QStringLiteral("unclosed quote"));
    if (tokens->isEmpty()) continue;
    const QStringList& t = *tokens;
    if (t[0] == u"DIALOG") {
      if (t.size() < 4 || !ToInt(t[2], &tmpl.width) || !ToInt(t[3], &tmpl.height))
        return fail(QStringLiteral("DIALOG needs id, width and height"));
      if (!ToId(t[1], ids, &tmpl.id)) return fail(QStringLiteral("unknown dialog id %1").arg(t[1]));
      for (int i = 4; i < t.size(); ++i) {
        QString title;
        if (Unquote(t[i], &title)) tmpl.title = title;
        else if (t[i] == u"FULLSCREEN") tmpl.fullScreen = true;
        else return fail(QStringLiteral("unknown DIALOG option %1").arg(t[i]));
      }
      haveHeader = true;
      continue;
    }
    if (t[0] == u"FONT") continue;
    if (t[0] == u"DLGINIT") {
      int controlId = -1;
      if (t.size() < 2) return fail(QStringLiteral("DLGINIT needs a control id"));
      if (!ToId(t[1], ids, &controlId))
        return fail(QStringLiteral("unknown control id %1").arg(t[1]));
      ControlDef* target = nullptr;
      for (auto& c : tmpl.controls)
        if (c.id == controlId) target = &c;
      if (!target || (target->kind != ControlKind::Combo && target->kind != ControlKind::ListBox))
        return fail(QStringLiteral("DLGINIT names no combo box or list box above it"));
      for (int i = 2; i < t.size(); ++i) {
        QString item;
        if (!Unquote(t[i], &item)) return fail(QStringLiteral("DLGINIT items are quoted"));
        target->initItems << item;
      }
      continue;
    }
    ControlDef def;
    const auto kind = KindOf(t[0], &def.alignment);
    if (!kind) return fail(QStringLiteral("unknown control kind %1").arg(t[0]));
    def.kind = *kind;
    const bool picture = def.kind == ControlKind::Bitmap || def.kind == ControlKind::Icon;
    if (t.size() < 7 || (!picture && !Unquote(t[2], &def.text)) || !ToInt(t[3], &def.x) ||
        !ToInt(t[4], &def.y) || !ToInt(t[5], &def.width) || !ToInt(t[6], &def.height))
      return fail(picture ? QStringLiteral("a picture needs id, picture id, x, y, width, height")
                          : QStringLiteral("a control needs id, \"text\", x, y, width, height"));
    if (!ToControlId(t[1], ids, &def.id))
      return fail(QStringLiteral("unknown control id %1").arg(t[1]));
    if (picture && !ToId(t[2], ids, &def.picture))
      return fail(QStringLiteral("unknown picture id %1").arg(t[2]));
    for (int i = 7; i < t.size(); ++i) {
      if (t[i].startsWith(QLatin1String("CLASS="))) def.className = t[i].mid(6);
      else def.flags << t[i];
    }
    if (def.kind == ControlKind::Custom) def.className = def.text;
    tmpl.controls.push_back(def);
  }
  if (!haveHeader) {
    if (error) *error = QStringLiteral("no DIALOG line");
    return std::nullopt;
  }
  return tmpl;
}

std::optional<DialogTemplate> LoadTemplate(IdTable ids, int id, QString* error) {
  QFile file(QStringLiteral(":/templates/%1.dlg").arg(id));
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = QStringLiteral("template %1 is missing").arg(id);
    return std::nullopt;
  }
  QString why;
  auto tmpl = ParseTemplate(QString::fromUtf8(file.readAll()), ids, &why);
  if (tmpl && tmpl->id != id) {
    why = QStringLiteral("it declares dialog %1").arg(tmpl->id);
    tmpl.reset();
  }
  if (!tmpl && error) *error = QStringLiteral("template %1: %2").arg(id).arg(why);
  return tmpl;
}

void RegisterControlClass(const QString& name, ControlFactory factory) {
  Classes().insert(name, std::move(factory));
}

bool IsControlClassRegistered(const QString& name) { return Classes().contains(name); }

std::vector<QWidget*> BuildControls(QWidget* parent, const DialogTemplate& tmpl) {
  std::vector<QWidget*> made;
  QWidget* previous = nullptr;
  for (const auto& def : tmpl.controls) {
    QWidget* w = nullptr;
    if (!def.className.isEmpty() && Classes().contains(def.className))
      w = Classes().value(def.className)(parent, def);
    if (!w) w = MakePlain(parent, def);
    w->setProperty(kControlIdProperty, def.id);
    w->setProperty("orvaneSorted", def.Has("SORT"));
    for (const QString& item : def.initItems) {
      if (auto* list = qobject_cast<QListWidget*>(w)) list->addItem(item);
      else AddComboItem(w, item, 0);
    }
    if (def.id != -1) w->setObjectName(QStringLiteral("ctrl%1").arg(def.id));
    w->setFont(DialogFont());
    QRect r = DluRect(def.x, def.y, def.width, def.height);
    if (def.kind == ControlKind::Bitmap || def.kind == ControlKind::Icon) {
      // Picture controls take the size of their image, as on the handheld.
      if (auto* label = qobject_cast<QLabel*>(w); label && !label->pixmap().isNull())
        r.setSize(label->pixmap().size());
    } else if (def.kind == ControlKind::Combo) {
      // The template's height is the dropped-down extent; the closed box is one line.
      r.setHeight(DluToPx(12));
      if (auto* combo = qobject_cast<QComboBox*>(w))
        combo->setMaxVisibleItems(qMax(3, (def.height - 12) / 8));
    }
    w->setGeometry(r);
    if (def.Has("DISABLED")) w->setEnabled(false);
    if (def.Has("CAPTION")) MakeCaption(w);
    if (def.Has("BLUE") || def.kind == ControlKind::Button ||
        def.kind == ControlKind::DefaultButton)
      SetBlueText(w);
    if (w->focusPolicy() != Qt::NoFocus) {
      if (previous) QWidget::setTabOrder(previous, w);
      previous = w;
    }
    w->show();
    made.push_back(w);
  }
  return made;
}

int ControlIdOf(const QWidget* widget) {
  if (!widget) return -1;
  const QVariant v = widget->property(kControlIdProperty);
  return v.isValid() ? v.toInt() : -1;
}

QWidget* FindControl(const QWidget* root, int id) {
  if (!root || id == -1) return nullptr;
  const auto children = root->findChildren<QWidget*>();
  for (QWidget* w : children)
    if (ControlIdOf(w) == id) return w;
  return nullptr;
}

int AddComboItem(QWidget* widget, const QString& text, int data) {
  auto* combo = qobject_cast<QComboBox*>(widget);
  if (!combo) return -1;
  int position = combo->count();
  if (combo->property("orvaneSorted").toBool()) {
    position = 0;
    while (position < combo->count() &&
           CompareForList(combo->itemText(position), text) <= 0)
      ++position;
  }
  combo->insertItem(position, text, data);
  return position;
}

}  // namespace ui
