#include "screen/CMainFrame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>

#include "notes/ReplyNotes.h"
#include "platform/InstallLayout.h"
#include "screen/COrvanePortView.h"
#include "screen/FindBar.h"
#include "ui/FormLayout.h"
#include "ui/Look.h"
#include "ui/Menus.h"
#include "ui/Messages.h"
#include "ui/Zoom.h"

using namespace orvane::port_ids;

namespace {

std::function<bool(const QUrl&)>& HelpOpener() {
  static std::function<bool(const QUrl&)> opener = [](const QUrl& url) {
    return QDesktopServices::openUrl(url);
  };
  return opener;
}

constexpr const char* kHelpPage = "OrvanePortCmd.htm";

// What the screen's controls do when the window is larger than the handheld's screen:
// the response list takes the room both ways, the modem list and the command field
// widen, the controls at the right edge stay there. The rest keep their places.
constexpr std::pair<int, ui::Anchor> kFormAnchors[] = {
    {IDC_MODEM, ui::kWiden},         {IDC_PORT, ui::kWiden},          {IDC_STATUS, ui::kRightEdge},
    {IDC_OPEN, ui::kRightEdge},      {IDC_CLOSE, ui::kRightEdge},
    {IDC_USE, ui::kRightEdge},       {IDC_PREFERENCES, ui::kRightEdge},
    {IDC_COMMAND, ui::kWiden},       {IDC_SEND, ui::kRightEdge},
    {IDC_RESPONSES, ui::kFill},
};
constexpr const char* kHelpAnchor = "Main_Contents";

}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("CMainFrame"));
}

bool CMainFrame::Create() {
  for (int id : kTooltipIds) tooltips_ << ui::LoadString(kIdTable, id);

  // The command bar: a fixed tool bar at the top holding the menu bar and two buttons.
  commandBar_ = new QToolBar(QStringLiteral("Command Bar"), this);
  commandBar_->setObjectName(QStringLiteral("CommandBar"));
  commandBar_->setMovable(false);
  commandBar_->setFloatable(false);
  commandBar_->setIconSize(QSize(16, 16));
  commandBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  addToolBar(Qt::TopToolBarArea, commandBar_);

  menuBar_ = new QMenuBar(commandBar_);
  menuBar_->setNativeMenuBar(false);
  if (!ui::LoadMenuBar(kIdTable, IDR_MAINFRAME, menuBar_)) return false;
  commandBar_->addWidget(menuBar_);

  const QPixmap strip = ui::Bitmap(IDR_MAINFRAME);
  if (strip.isNull() || strip.width() < 16 * 2) return false;
  toolStrip_ = strip;
  auto* spacer = new QWidget(commandBar_);
  spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  commandBar_->addWidget(spacer);
  for (int i = 0; i < 2; ++i) {
    QAction* action = commandBar_->addAction(QIcon(strip.copy(16 * i, 0, 16, 16)), QString());
    action->setProperty(ui::kCommandIdProperty, kToolButtons[i]);
    action->setObjectName(QStringLiteral("ToolButton%1").arg(kToolButtons[i]));
    const int id = kToolButtons[i];
    connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
  }

  // Tooltips in the bar's order: the two menus, then the two buttons.
  const auto menus = menuBar_->actions();
  QList<QAction*> tipped;
  for (QAction* a : menus) tipped << a;
  for (QAction* a : commandBar_->actions())
    if (ui::CommandIdOf(a) > 0) tipped << a;
  for (int i = 0; i < tipped.size() && i < tooltips_.size(); ++i) tipped[i]->setToolTip(tooltips_[i]);

  // Menu items go through the command routing; their state comes from the queries.
  for (QAction* top : menus) {
    QMenu* menu = top->menu();
    if (!menu) continue;
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
      if (view_) view_->UpdateMenu(menu);
    });
    connect(menu, &QMenu::triggered, this, [this](QAction* action) {
      RouteCommand(ui::CommandIdOf(action));
    });
  }
  AddMenuKeys();
  setWindowTitle(QStringLiteral("OrvanePort"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/OrvanePort.png")));

  // The desktop's zoom keys; Ctrl+= is Ctrl+Plus on keyboards where + needs Shift.
  const std::pair<QList<QKeySequence>, void (CMainFrame::*)()> zoomKeys[] = {
      {{QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)}, &CMainFrame::ZoomIn},
      {{QKeySequence::ZoomOut}, &CMainFrame::ZoomOut},
      {{QKeySequence(Qt::CTRL | Qt::Key_0)}, nullptr},
  };
  for (const auto& [keys, handler] : zoomKeys) {
    auto* action = new QAction(this);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    if (handler)
      connect(action, &QAction::triggered, this, handler);
    else
      connect(action, &QAction::triggered, this, [this] { SetZoom(ui::kZoomMinPercent); });
    addAction(action);
  }
  ZoomCommandBar();
  return true;
}

void CMainFrame::AddMenuKeys() {
  // The key shown beside a menu item runs it from anywhere in the window, when the
  // screen's query would enable the item.
  for (QAction* top : menuBar_->actions()) {
    if (!top->menu()) continue;
    for (QAction* item : top->menu()->actions()) {
      const int id = ui::CommandIdOf(item);
      if (item->shortcut().isEmpty() || id <= 0) continue;
      auto* key = new QAction(this);
      key->setObjectName(QStringLiteral("Key%1").arg(id));
      key->setShortcut(item->shortcut());
      key->setShortcutContext(Qt::WindowShortcut);
      connect(key, &QAction::triggered, this, [this, id] { RunKey(id); });
      addAction(key);
    }
  }
  // F10 opens the first menu, as on other desktops.
  auto* menuKey = new QAction(this);
  menuKey->setObjectName(QStringLiteral("KeyF10"));
  menuKey->setShortcut(QKeySequence(Qt::Key_F10));
  menuKey->setShortcutContext(Qt::WindowShortcut);
  connect(menuKey, &QAction::triggered, this, [this] {
    // The focus stays where it is: Escape from the menu gives it back there.
    if (!menuBar_->actions().isEmpty()) menuBar_->setActiveAction(menuBar_->actions().first());
  });
  addAction(menuKey);
}

bool CMainFrame::RunKey(int id) {
  if (view_) {
    ui::CommandState state;
    if (view_->Commands().QueryState(id, &state) && !state.enabled) return false;
  }
  return RouteCommand(id);
}

void CMainFrame::SetView(COrvanePortView* view) {
  view_ = view;
  // The form fills the handheld's screen width; its template size at the zoom is the
  // least the window shows.
  formLayout_ = new ui::FormLayout(view, QSize(qMax(view->width(), ui::kScreenWidth), view->height()));
  for (const auto& [id, anchor] : kFormAnchors) formLayout_->SetAnchor(id, anchor);
  connect(formLayout_, &ui::FormLayout::LaidOut, this, [](const QSize& growth) { ui::SetWindowGrowth(growth); });
  view->resize(formLayout_->MinimumSize());
  formLayout_->Apply();
  setCentralWidget(view);
  if (view->ResponseList()) {
    auto* find = new FindBar(this, view->ResponseList(), view->Commands());  // hidden until asked for
    find->SetNotes([](const orvane::Row& row) { return orvane::notes::ReplyNotes(row); });
  }
  adjustSize();
  if (width() < formLayout_->MinimumSize().width()) resize(formLayout_->MinimumSize().width(), height());
}

void CMainFrame::ZoomCommandBar() {
  if (!commandBar_) return;
  const int side = ui::Zoomed(16);
  if (commandBar_->iconSize() != QSize(side, side)) commandBar_->setIconSize(QSize(side, side));
  int i = 0;
  for (QAction* action : commandBar_->actions()) {
    if (ui::CommandIdOf(action) <= 0 || i >= 2) continue;
    const QPixmap picture = toolStrip_.copy(16 * i++, 0, 16, 16);
    if (ui::ZoomPercent() != ui::kZoomMinPercent || devicePixelRatioF() != 1.0)
      action->setIcon(QIcon(ui::SmoothPicture(picture, QSize(side, side), devicePixelRatioF())));
  }
}

void CMainFrame::SetZoom(int percent) {
  const double before = ui::ZoomFactor();
  const QSize growth = formLayout_ ? formLayout_->Growth() : QSize();
  if (ui::SetZoomPercent(percent) == qRound(before * 100)) return;
  const double ratio = ui::ZoomFactor() / before;
  ZoomCommandBar();
  if (!formLayout_) return;
  formLayout_->Apply();
  layout()->invalidate();
  layout()->activate();
  const QScreen* shown = screen();
  const bool placed = isMaximized() || isFullScreen();
  const QSize frameExtra = frameGeometry().size() - size();
  // A zoom whose least window does not fit the room it may have (the screen's available
  // area, or the maximised window) is not taken: its controls would end up off screen.
  if (ratio > 1.0 && (placed || shown)) {
    const QSize room = placed ? size() : shown->availableGeometry().size() - frameExtra;
    const QSize least = minimumSizeHint();
    if (least.width() > room.width() || least.height() > room.height()) {
      QApplication::beep();
      SetZoom(qRound(before * 100));
      return;
    }
  }
  // A maximised or full-screen window keeps its place: the form is laid out within it.
  if (placed) return;
  // The form at its new least size, plus the room it had, scaled alike; but the window
  // grows no further than the screen's available area and stays on it.
  QSize wanted = minimumSizeHint() + QSize(qRound(growth.width() * ratio), qRound(growth.height() * ratio));
  if (!shown) {
    resize(wanted);
    return;
  }
  const QRect room = shown->availableGeometry();
  wanted = wanted.boundedTo(room.size() - frameExtra).expandedTo(minimumSizeHint());
  resize(wanted);
  const QSize outer = wanted + frameExtra;
  const int x = qMax(room.left(), qMin(frameGeometry().left(), room.right() + 1 - outer.width()));
  const int y = qMax(room.top(), qMin(frameGeometry().top(), room.bottom() + 1 - outer.height()));
  if (QPoint(x, y) != frameGeometry().topLeft()) move(x, y);
}

void CMainFrame::ZoomIn() { SetZoom(ui::ZoomStepUp(ui::ZoomPercent())); }
void CMainFrame::ZoomOut() { SetZoom(ui::ZoomStepDown(ui::ZoomPercent())); }

bool CMainFrame::RouteCommand(int id) {
  if (id <= 0) return false;
  if (view_) {
    if (view_->IsReading() && view_->RefusedWhileReading(id)) return true;
    if (view_->RunCommand(id)) return true;
  }
  switch (id) {
    case ID_HELP:
      OnHelp();
      return true;
    case ID_APP_EXIT:
      close();
      return true;
    default:
      break;
  }
  return applicationCommands ? applicationCommands(id) : false;
}

QUrl CMainFrame::HelpPageUrl() {
  // In the installed data folder, else next to the program (the build tree, the handheld).
  const std::string path = orvane::layout::FindResource(orvane::layout::ExecutableDir(), kHelpPage);
  if (path.empty()) return {};
  QUrl url = QUrl::fromLocalFile(QFileInfo(QFile::decodeName(path.c_str())).absoluteFilePath());
  url.setFragment(QLatin1String(kHelpAnchor));
  return url;
}

QUrl CMainFrame::OnHelp() {
  const QUrl url = HelpPageUrl();
  // The program does not wait for the viewer; when none opens the page, it says where it is.
  if (!url.isValid()) {
    ui::ShowMessage(this, QStringLiteral("The help page %1 was not found next to the program or in "
                                         "../share/orvane-port-linewright.")
                              .arg(QLatin1String(kHelpPage)));
  } else if (HelpOpener() && !HelpOpener()(url)) {
    ui::ShowMessage(this, QStringLiteral("No web browser could open the help page. It is %1")
                              .arg(url.toLocalFile()));
  }
  return url;
}

void CMainFrame::SetHelpOpener(std::function<bool(const QUrl&)> opener) {
  HelpOpener() = std::move(opener);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // A read in progress ends and is recorded before the window closes.
  if (view_) view_->EndRead();
  QMainWindow::closeEvent(event);
}
