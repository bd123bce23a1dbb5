#include "ui/Menus.h"

#include <QAction>
#include <QFile>
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
  int id = 0;
  bool checked = false;
  std::vector<MenuNode> children;
};

bool ParseMenu(const QString& text, MenuNode* root, QString* error) {
  static const QRegularExpression popupRe(QString::fromLatin1(R"re(^\s*POPUP\s+"([^"]*)"\s*$)re"));
  static const QRegularExpression itemRe(
      QString::fromLatin1(R"re(^\s*ITEM\s+"([^"]*)"\s+(\d+)\s*(CHECKED)?\s*$)re"));
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
      MenuNode node;
      node.text = m.captured(1);
      node.id = m.captured(2).toInt();
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

bool LoadNode(int id, MenuNode* root, QString* error) {
  QFile file(QStringLiteral(":/menus/%1.menu").arg(id));
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = QStringLiteral("menu %1 is missing").arg(id);
    return false;
  }
  return ParseMenu(QString::fromUtf8(file.readAll()), root, error);
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

bool LoadMenuBar(int id, QMenuBar* bar, QString* error) {
  MenuNode root;
  if (!LoadNode(id, &root, error)) return false;
  for (const auto& node : root.children) {
    if (node.kind != MenuNode::Popup) continue;
    Fill(bar->addMenu(node.text), node.children);
  }
  return true;
}

bool LoadPopupMenu(int id, QMenu* menu, QString* error) {
  MenuNode root;
  if (!LoadNode(id, &root, error)) return false;
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

QString LoadString(int id) {
  static const QHash<int, QString> table = [] {
    QHash<int, QString> strings;
    QFile file(QStringLiteral(":/strings.txt"));
    if (!file.open(QIODevice::ReadOnly)) return strings;
    static const QRegularExpression re(QString::fromLatin1(R"re(^\s*(\d+)\s+"(.*)"\s*$)re"));
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
      const auto m = re.match(line);
      if (m.hasMatch()) {
        QString text = m.captured(2);
        text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
        strings.insert(m.captured(1).toInt(), text);
      }
    }
    return strings;
  }();
  return table.value(id);
}

}  // namespace ui
