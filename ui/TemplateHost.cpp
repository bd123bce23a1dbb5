#include "ui/TemplateHost.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QWidget>
#include <limits>

#include "ui/Look.h"
#include "ui/Messages.h"

namespace ui {
namespace {

QString TextOf(QWidget* w) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
  return {};
}

void SetTextOf(QWidget* w, const QString& text) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) {
    if (e->text() != text) e->setText(text);
  } else if (auto* c = qobject_cast<QComboBox*>(w)) {
    if (c->isEditable()) {
      if (c->currentText() != text) c->setEditText(text);
    } else {
      const int index = c->findText(text);
      if (index >= 0) c->setCurrentIndex(index);
    }
  } else if (auto* l = qobject_cast<QLabel*>(w)) {
    l->setText(text);
  } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    b->setText(text);
  } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
    if (p->toPlainText() != text) p->setPlainText(text);
  }
}

}  // namespace

bool ParseDialogInt(const QString& text, int* value) {
  const QString t = text.trimmed();
  int i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';
  if (i >= t.size()) return false;
  long long v = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < u'0' || t[i] > u'9') return false;
    v = v * 10 + (t[i].unicode() - u'0');
    if (v > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return false;
  }
  if (negative) v = -v;
  if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) return false;
  *value = static_cast<int>(v);
  return true;
}

TemplateHost::TemplateHost(QWidget* owner, IdTable ids, int templateId) : owner_(owner) {
  auto loaded = LoadTemplate(ids, templateId, &error_);
  if (!loaded) {
    qWarning("%s", qPrintable(error_));
    return;
  }
  template_ = *loaded;
  Build();
}

TemplateHost::TemplateHost(QWidget* owner, const DialogTemplate& tmpl)
    : owner_(owner), template_(tmpl) {
  Build();
}

void TemplateHost::Build() {
  owner_->setFont(DialogFont());
  BuildControls(owner_, template_);
  if (template_.fullScreen)
    owner_->resize(kScreenWidth, kScreenHeight);
  else
    owner_->resize(DluToPx(template_.width), DluToPx(template_.height));
  ok_ = true;
}

QWidget* TemplateHost::Control(int id) const {
  const auto known = controls_.constFind(id);
  if (known != controls_.constEnd() && !known->isNull()) return *known;
  QWidget* control = FindControl(owner_, id);
  if (control) controls_.insert(id, control);
  return control;
}

void TemplateHost::Enable(int id, bool on) const {
  if (QWidget* w = Control(id)) w->setEnabled(on);
}

void TemplateHost::BindText(int id, QString* member) { bindings_.push_back({id, member}); }
void TemplateHost::BindCheck(int id, bool* member) { bindings_.push_back({id, member}); }
void TemplateHost::BindInt(int id, int* member) { bindings_.push_back({id, member}); }

bool TemplateHost::ReadControls() {
  for (const auto& b : bindings_) {
    QWidget* w = Control(b.id);
    if (!w) continue;
    if (QString* const* text = std::get_if<QString*>(&b.member)) {
      **text = TextOf(w);
    } else if (bool* const* checked = std::get_if<bool*>(&b.member)) {
      if (auto* box = qobject_cast<QCheckBox*>(w)) **checked = box->isChecked();
    } else if (int* const* number = std::get_if<int*>(&b.member)) {
      int value = 0;
      if (!ParseDialogInt(TextOf(w), &value)) {
        ShowMessage(owner_, QStringLiteral("Please enter an integer."));
        w->setFocus();
        if (auto* e = qobject_cast<QLineEdit*>(w)) e->selectAll();
        return false;
      }
      **number = value;
    }
  }
  return true;
}

void TemplateHost::ShowMembers() {
  for (const auto& b : bindings_) {
    QWidget* w = Control(b.id);
    if (!w) continue;
    if (QString* const* text = std::get_if<QString*>(&b.member)) {
      SetTextOf(w, **text);
    } else if (bool* const* checked = std::get_if<bool*>(&b.member)) {
      if (auto* box = qobject_cast<QCheckBox*>(w)) box->setChecked(**checked);
    } else if (int* const* number = std::get_if<int*>(&b.member)) {
      SetTextOf(w, QString::number(**number));
    }
  }
}

}  // namespace ui
