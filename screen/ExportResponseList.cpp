#include "screen/ExportResponseList.h"

#include <QDialog>
#include <QFile>

#include "engine/ResponseStore.h"
#include "screen/ExportOptionsDialog.h"
#include "ui/Messages.h"
#include "ui/WaitCursor.h"

namespace orvane {

bool ExportResponseList(QWidget* parent, const std::vector<ExportRow>& rows) {
  ExportOptions options;
  {
    ExportOptionsDialog dialog(parent);
    if (ui::RunModal(dialog) != QDialog::Accepted) return false;
    options = dialog.Options();
  }

  ui::SaveFileRequest request;
  request.title = QStringLiteral("Open File");
  request.filters = QStringList{QStringLiteral("All (*.TXT)")};
  request.defaultSuffix.clear();  // a name typed without ".TXT" is used as typed
  const std::optional<QString> path = ui::AskSaveFileName(parent, request);
  if (!path || path->isEmpty()) return false;

  bool written = false;
  {
    ui::WaitCursor wait;
    written = ExportResponseListToFile(QFile::encodeName(*path).toStdString(), rows, options);
  }
  if (!written) {
    ui::ShowMessage(parent, QString::fromLatin1(kExportFailedMessage), ui::MessageForm::Ok);
    return false;
  }
  ui::ShowMessage(parent, QString::fromLatin1(kExportSucceededMessage), ui::MessageForm::OkInfo);
  return true;
}

std::vector<ExportRow> ExportRowsOf(const ResponseStore& store) {
  std::vector<ExportRow> rows;
  rows.reserve(static_cast<size_t>(store.Count()));
  int slot = 0;
  for (const Row& row : store.Rows()) {
    std::string end = ReplyEndName(row.end);
    if (row.Unsolicited()) end = "unsolicited (" + end + ")";
    if (size_t dropped = 0; store.Dropped(slot++, &dropped)) end += ", reply dropped (" + std::to_string(dropped) + " bytes)";
    rows.push_back({row.sent, row.reply, row.sentAtMs, row.elapsedMs, std::move(end)});
    rows.back().kind = row.kind;
  }
  return rows;
}

}  // namespace orvane
