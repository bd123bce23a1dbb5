#include "ui/Menus.h"

#include <QAction>
#include <QFile>
#include <QKeySequence>
#include <QHash>
#include <QMenu>
#include <QMenuBar>
#include <QPoint>
#include <QRegularExpression>
#include <QStringList>

#include "ui/Messages.h"

namespace ui {
namespace {

struct MenuNode {
  enum Kind { Item, Separator, Popup } kind = Item;
  QString text;
  QKeySequence key;  // shown in the menu; the window runs it (see MenuKeys)
  int id = 0;
  bool checked = false;
  std::vector<MenuNode> children;
};

bool ParseMenu(const QString& text, IdTable ids, MenuNode* root, QString* error) {
  static const QRegularExpression popupRe(QString::fromLatin1(R"re(^\s*POPUP\s+"([^"]*)"\s*$)re"));
  static const QRegularExpression itemRe(
      QString::fromLatin1(R"re(^\s*ITEM\s+"([^"]*)"\s+(\S+)\s*(CHECKED)?\s*$)re"));
  std::vector<MenuNode*> stack{root};
  const QStringList lines = text.split(u'\n');
  for (int i = 0; i < lines.size(); ++i) {
    const QString line = lines[i].trimmed();
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    QRegularExpressionMatch m;
    if ((m = popupRe.match(line)).hasMatch()) {
      MenuNode node;
      node.kind = MenuNode::Popup;
      node.text = m.captured(1);
      stack.back()->children.push_back(node);
      stack.push_back(&stack.back()->children.back());
    } else if ((m = itemRe.match(line)).hasMatch()) {
      const auto id = ResolveId(m.captured(2), ids);
      if (!id) {
        if (error) *error = QStringLiteral("line %1: unknown command id %2").arg(i + 1).arg(m.captured(2));
        return false;
      }
      MenuNode node;
      node.text = m.captured(1);
      // "Text\tKey", as in the original menu resources.
      if (const qsizetype tab = node.text.indexOf(QLatin1String("\\t")); tab >= 0) {
        node.key = QKeySequence::fromString(node.text.mid(tab + 2), QKeySequence::PortableText);
        node.text.truncate(tab);
        if (node.key.isEmpty()) {
          if (error) *error = QStringLiteral("line %1: cannot read the key of \"%2\"").arg(i + 1).arg(node.text);
          return false;
        }
      }
      node.id = *id;
      node.checked = !m.captured(3).isEmpty();
      stack.back()->children.push_back(node);
    } else if (line == u"SEPARATOR") {
      MenuNode node;
      node.kind = MenuNode::Separator;
      stack.back()->children.push_back(node);
    } else if (line == u"END") {
      if (stack.size() < 2) {
        if (error) *error = QStringLiteral("line %1: END without POPUP").arg(i + 1);
        return false;
      }
      stack.pop_back();
    } else {
      if (error) *error = QStringLiteral("line %1: cannot read \"%2\"").arg(i + 1).arg(line);
      return false;
    }
  }
  if (stack.size() != 1) {
    if (error) *error = QStringLiteral("POPUP without END");
    return false;
  }
  return true;
}

bool LoadNode(IdTable ids, int id, MenuNode* root, QString* error) {
  QFile file(QStringLiteral(":/menus/%1.menu").arg(id));
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = QStringLiteral("menu %1 is missing").arg(id);
    return false;
  }
  return ParseMenu(QString::fromUtf8(file.readAll()), ids, root, error);
}

void Fill(QMenu* menu, const std::vector<MenuNode>& nodes) {
  for (const auto& node : nodes) {
    switch (node.kind) {
      case MenuNode::Separator:
        menu->addSeparator();
        break;
      case MenuNode::Popup:
        Fill(menu->addMenu(node.text), node.children);
        break;
      case MenuNode::Item: {
        QAction* action = menu->addAction(node.text);
        action->setProperty(kCommandIdProperty, node.id);
        action->setData(node.id);
        if (!node.key.isEmpty()) {
          // Shown beside the item; the menu runs it only while it is open itself.
          action->setShortcut(node.key);
          action->setShortcutContext(Qt::WidgetShortcut);
        }
        if (node.checked) {
          action->setCheckable(true);
          action->setChecked(true);
        }
        break;
      }
    }
  }
}

}  // namespace

int CommandIdOf(const QAction* action) {
  if (!action) return 0;
  const QVariant v = action->property(kCommandIdProperty);
  return v.isValid() ? v.toInt() : 0;
}

bool LoadMenuBar(IdTable ids, int id, QMenuBar* bar, QString* error) {
  MenuNode root;
  if (!LoadNode(ids, id, &root, error)) return false;
  for (const auto& node : root.children) {
    if (node.kind != MenuNode::Popup) continue;
    Fill(bar->addMenu(node.text), node.children);
  }
  return true;
}

bool LoadPopupMenu(IdTable ids, int id, QMenu* menu, QString* error) {
  MenuNode root;
  if (!LoadNode(ids, id, &root, error)) return false;
  if (root.children.size() == 1 && root.children.front().kind == MenuNode::Popup) {
    menu->setTitle(root.children.front().text);
    Fill(menu, root.children.front().children);
  } else {
    Fill(menu, root.children);
  }
  return true;
}

int TrackPopupMenu(QMenu* menu, const QPoint& globalPos) {
  if (auto* script = ScriptedUi::Current()) {
    QStringList texts;
    for (QAction* a : menu->actions()) texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    script->popups.push_back(texts);
    return script->onPopup ? script->onPopup(*menu) : 0;
  }
  QAction* chosen = menu->exec(globalPos);
  return CommandIdOf(chosen);
}

QHash<int, QString> ParseStringTable(const QString& text, IdTable ids, QStringList* others) {
  static const QRegularExpression re(QString::fromLatin1(R"re(^\s*([^\s#]\S*)\s+"(.*)"\s*$)re"));
  QHash<int, QString> strings;
  for (const QString& line : text.split(u'\n')) {
    const auto m = re.match(line);
    if (!m.hasMatch()) continue;
    const auto id = ResolveId(m.captured(1), ids);
    if (!id) {
      if (others) *others << m.captured(1);
      continue;
    }
    QString entry = m.captured(2);
    entry.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    strings.insert(*id, entry);
  }
  return strings;
}

QString LoadString(IdTable ids, int id) {
  // Read once per program table.
  static QHash<const orvane::res::IdName*, QHash<int, QString>> tables;
  auto known = tables.constFind(ids.data());
  if (known == tables.constEnd()) {
    QFile file(QStringLiteral(":/strings.txt"));
    const QString text = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    known = tables.insert(ids.data(), ParseStringTable(text, ids));
  }
  return known->value(id);
}

}  // namespace ui
