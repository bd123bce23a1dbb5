// Remote ports (template IDD_REMOTE_PORTS), from the Port menu: lists the named remote
// ports kept in the hive ("name  url"), adds one (or gives an existing name a new URL)
// and deletes the selected one. Every change is saved at once; the modem list offers the
// ports when the dialog has closed.
#pragma once

#include <QString>
#include <vector>

#include "engine/RemotePorts.h"
#include "ui/TemplateDialog.h"

class QListWidget;

class RemotePortsDialog : public ui::TemplateDialog {
  Q_OBJECT

 public:
  explicit RemotePortsDialog(orvane::reg::Hive& hive, QWidget* parent = nullptr);

  QListWidget* List() const;
  // True once a port was added or deleted.
  bool Changed() const { return changed_; }

  void OnAdd();
  void OnDelete();

 protected:
  void OnInitDialog() override;

 private:
  void Reload();
  void OnSelChange();

  orvane::reg::Hive& hive_;
  std::vector<orvane::RemotePort> ports_;
  QString caption_;
  QString name_;
  QString url_;
  bool changed_ = false;
};
