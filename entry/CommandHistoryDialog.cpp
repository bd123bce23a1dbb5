#include "entry/CommandHistoryDialog.h"

#include <QListWidget>

#include "engine/BinaryTextCodec.h"
#include "resources/OrvanePortIds.h"
#include "ui/Look.h"

using namespace orvane::port_ids;

namespace {

constexpr ui::Anchor kListAnchor{0, 1, 0, 0.5};
constexpr ui::Anchor kPreviewAnchor{0, 1, 0.5, 0.5};

}  // namespace

CommandHistoryDialog::CommandHistoryDialog(const orvane::CommandHistory& history, QWidget* parent)
    : ui::TemplateDialog(kIdTable, IDD_COMMAND_HISTORY, parent), history_(history) {
  // On a larger window the list and the preview share the room.
  for (int id : {ui::IDOK, ui::IDCANCEL}) Layout().SetAnchor(id, ui::kRightEdge);
  Layout().SetAnchor(IDC_HISTORY_LIST, kListAnchor);
  GrowWithWindow();
}

QListWidget* CommandHistoryDialog::List() const { return Control<QListWidget>(IDC_HISTORY_LIST); }

void CommandHistoryDialog::OnInitDialog() {
  host_.BindText(IDC_HISTORY_CAPTION, &caption_);
  caption_ = QStringLiteral("Cmd History");
  ui::MakeCaption(Control(IDC_HISTORY_CAPTION));

  entries_ = history_.LoadHistory();
  QListWidget* list = List();
  if (list) {
    for (const std::u16string& entry : entries_) list->addItem(QString::fromStdU16String(entry));
  }

  QString preview;
  if (!entries_.empty()) {
    preview = QString::fromStdU16String(entries_[0]);
    if (list) list->setCurrentRow(0);
  }
  {
    const orvane::Bytes bytes = orvane::DecodeBinaryText(preview.toStdU16String());
    CreateBinaryCtrl(preview_, this, PlaceAtRunTime(kPreviewRect, kPreviewAnchor), bytes);
    Layout().Add(preview_.window, kPreviewRect, kPreviewAnchor);
    ShowBinaryCtrl(preview_, true);
    FocusBinaryCtrl(preview_);
  }
  picked_ = preview;

  // Selecting row 0 above is the dialog's own doing, not the user's: the handler is
  // connected only now.
  host_.OnNotify(IDC_HISTORY_LIST, ui::Notify::SelChange, [this] { OnSelChange(); });
  host_.ShowMembers();
}

void CommandHistoryDialog::OnSelChange() {
  QListWidget* list = List();
  QListWidgetItem* item = list ? list->item(list->currentRow()) : nullptr;
  const QString text = item ? item->text() : QString();
  const orvane::Bytes bytes = orvane::DecodeBinaryText(text.toStdU16String());
  SetBinaryCtrlData(preview_, bytes);
  picked_ = text;
}
