// Base of every dialog made from a template: a pop-up without title bar at the
// template's size, bold blue caption, blue buttons, OK (IDOK) and Cancel (IDCANCEL)
// routed through the command table. Subclasses bind their members and handlers in
// OnInitDialog and may override OnOK / OnCancel.
#pragma once

#include <QDialog>

#include "ui/FormLayout.h"
#include "ui/TemplateHost.h"

namespace ui {

class TemplateDialog : public QDialog {
  Q_OBJECT

 public:
  // Template |templateId| of the program with |ids|.
  TemplateDialog(IdTable ids, int templateId, QWidget* parent = nullptr);

  // Runs OnInitDialog once (RunModal and the first show call it).
  void EnsureInitialized();

  TemplateHost& Host() { return host_; }
  QWidget* Control(int id) const { return host_.Control(id); }
  template <class T>
  T* Control(int id) const { return host_.Control<T>(id); }
  // Presses the button (or runs the command) |id| as a user would.
  bool Press(int id) { return host_.Commands().Dispatch(id); }

  // The dialog's layout: its template at the zoom, grown by the main window's growth
  // when it covers the handheld's screen (GrowWithWindow).
  FormLayout& Layout() { return *layout_; }

 protected:
  virtual void OnInitDialog() {}
  // Default OK: read the controls; accept only when they were all taken.
  virtual void OnOK();
  virtual void OnCancel() { reject(); }
  // For a dialog that covers the handheld's screen (from its constructor): it is as much
  // larger than its template as the main window's form is, and its controls take that
  // room as their anchors say (see FormLayout).
  void GrowWithWindow();
  // Makes a control at run time at |base| (pixels at 100%) in the grown, zoomed dialog:
  // the place to create it at.
  QRect PlaceAtRunTime(const QRect& base, Anchor anchor) const { return layout_->Place(base, anchor); }

  void showEvent(QShowEvent* event) override;
  // A pop-up without title bar gets a thin outline, so on a desktop it stands apart
  // from the window under it.
  void paintEvent(QPaintEvent* event) override;

  TemplateHost host_;

 private:
  bool initialized_ = false;
  FormLayout* layout_ = nullptr;
};

}  // namespace ui
