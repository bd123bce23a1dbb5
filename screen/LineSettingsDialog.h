// Line settings (template IDD_LINE_SETTINGS), from the Port menu: the data bits, parity,
// stop bits, flow control, DTR and RTS of one port, as kept in the hive for it
// (engine/LineSettingsStore.h). Save writes them; the next Open of the port takes them.
// Send Break sends a break on the session's line while it is open.
#pragma once

#include <QString>
#include <string>

#include "engine/LineSettings.h"
#include "ui/TemplateDialog.h"

namespace orvane {
class Session;
namespace reg {
class Hive;
}
}  // namespace orvane

class LineSettingsDialog : public ui::TemplateDialog {
  Q_OBJECT

 public:
  // The settings of |port| (the line's device while |session| is open, whatever |port|
  // says). |hive| and |session| must outlive the dialog.
  LineSettingsDialog(orvane::reg::Hive& hive, std::u16string port, orvane::Session& session,
                     QWidget* parent = nullptr);

  const std::u16string& Port() const { return port_; }
  // The settings as the controls show them.
  orvane::LineSettings Shown() const;

  void OnSendBreak();

 protected:
  void OnInitDialog() override;
  void OnOK() override;

 private:
  void Show(const orvane::LineSettings& settings);

  orvane::reg::Hive& hive_;
  orvane::Session& session_;
  std::u16string port_;
  QString portText_;
  bool dtr_ = true;
  bool rts_ = true;
};
