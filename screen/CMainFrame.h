// The main window: the command bar at the top (the "Port" and "Linewright" menus and
// the export and help tool buttons, with their tooltips) over the main command screen.
// Commands from the bar go to the screen first, then to the frame, then to the
// application, like the framework's command routing.
#pragma once

#include <QMainWindow>
#include <QPixmap>
#include <QStringList>
#include <QUrl>
#include <functional>

#include "resources/OrvanePortIds.h"

class COrvanePortView;
class QMenuBar;
class QToolBar;
namespace ui {
class FormLayout;
}

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  // Tool bar buttons in order, and the tooltip strings in the bar's order.
  static constexpr int kToolButtons[2] = {orvane::port_ids::ID_EXPORT_RESPONSES,
                                          orvane::port_ids::ID_HELP};
  static constexpr int kTooltipIds[4] = {
      orvane::port_ids::IDS_TIP_PORT_MENU, orvane::port_ids::IDS_TIP_LINEWRIGHT_MENU,
      orvane::port_ids::IDS_TIP_EXPORT, orvane::port_ids::IDS_TIP_HELP};

  explicit CMainFrame(QWidget* parent = nullptr);

  // Creation: the command bar with menu and tool bar IDR_MAINFRAME and its tooltips.
  // False when a resource is missing (start-up then fails).
  bool Create();
  // The screen becomes the frame's client. The window opens at the screen's template
  // size (at the zoom); made larger, the screen's list and fields take the room.
  void SetView(COrvanePortView* view);
  ui::FormLayout* FormLayout() const { return formLayout_; }

  // Zoom of the whole interface, 100..300% (Ctrl+Plus, Ctrl+Minus, Ctrl+0). The window
  // keeps its growth beyond the screen's template, scaled with the zoom.
  void SetZoom(int percent);
  void ZoomIn();
  void ZoomOut();
  COrvanePortView* View() const { return view_; }

  QMenuBar* MenuBar() const { return menuBar_; }
  QToolBar* CommandBar() const { return commandBar_; }
  const QStringList& Tooltips() const { return tooltips_; }

  // Routes command |id|: screen, frame, then the application's handler. False when no
  // one handles it.
  bool RouteCommand(int id);
  // A menu item's key: routes command |id| unless the screen's query disables it.
  bool RunKey(int id);
  // Commands the frame leaves to the application (about, new, open).
  std::function<bool(int)> applicationCommands;

  // Help: opens the help page at its anchor with the desktop's viewer; when the page is
  // missing or no viewer opens it, a message says so and where the page is. Returns the
  // address it asked for (empty when the page was not found).
  QUrl OnHelp();
  static QUrl HelpPageUrl();
  // How the help page is opened (tests record it instead).
  static void SetHelpOpener(std::function<bool(const QUrl&)> opener);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  COrvanePortView* view_ = nullptr;
  // The command bar's icons and fonts at the zoom.
  void ZoomCommandBar();
  // The keys of the menu items (shown in the menus) and F10, window-wide.
  void AddMenuKeys();

  QToolBar* commandBar_ = nullptr;
  QMenuBar* menuBar_ = nullptr;
  QStringList tooltips_;
  QPixmap toolStrip_;
  ui::FormLayout* formLayout_ = nullptr;
};
