#include "screen/CMainFrame.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QToolButton>

#include "platform/InstallLayout.h"
#include "screen/COrvanePortView.h"
#include "ui/Look.h"
#include "ui/Menus.h"

using namespace orvane::port_ids;

namespace {

std::function<bool(const QUrl&)>& HelpOpener() {
  static std::function<bool(const QUrl&)> opener = [](const QUrl& url) {
    return QDesktopServices::openUrl(url);
  };
  return opener;
}

constexpr const char* kHelpPage = "OrvanePortCmd.htm";
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
  setWindowTitle(QStringLiteral("OrvanePort"));
  setWindowIcon(QIcon(QStringLiteral(":/icons/OrvanePort.png")));
  return true;
}

void CMainFrame::SetView(COrvanePortView* view) {
  view_ = view;
  view->setFixedSize(view->size());  // the form's template size
  setCentralWidget(view);
  adjustSize();
  setFixedWidth(qMax(width(), ui::kScreenWidth));
  setFixedSize(size());
}

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
  // The program does not wait for the viewer and ignores a failure to start it.
  if (url.isValid() && HelpOpener()) HelpOpener()(url);
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
