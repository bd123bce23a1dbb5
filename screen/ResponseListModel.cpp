#include "screen/ResponseListModel.h"

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QStringList>
#include <algorithm>
#include <array>

#include "engine/ResponseStore.h"
#include "notes/ReplyNotes.h"
#include "screen/SendRules.h"

namespace {

// A glyph and a colour per mark: the glyph alone tells the marks apart.
struct MarkLook {
  char16_t glyph;
  QColor colour;
};

MarkLook LookOf(orvane::RowMark mark) {
  using orvane::RowMark;
  switch (mark) {
    case RowMark::kOk: return {u'\u2713', QColor(0, 128, 0)};           // check mark
    case RowMark::kError: return {u'\u2717', QColor(200, 0, 0)};        // ballot x
    case RowMark::kToken: return {u'\u25C6', QColor(0, 96, 160)};       // diamond
    case RowMark::kSilence: return {u'\u2026', QColor(110, 110, 110)};  // ellipsis
    case RowMark::kCut: return {u'\u2702', QColor(200, 110, 0)};        // scissors
    case RowMark::kHangup: return {u'\u2298', QColor(160, 0, 160)};     // circled slash
    case RowMark::kUnsolicited: return {u'\u2193', QColor(0, 0, 225)};  // arrow down
    case RowMark::kFailed: return {u'!', QColor(200, 0, 0)};
    case RowMark::kNone: break;
  }
  return {u' ', QColor()};
}

QIcon MarkIcon(orvane::RowMark mark) {
  static std::array<QIcon, 9> icons;
  QIcon& icon = icons[static_cast<size_t>(mark)];
  if (icon.isNull() && mark != orvane::RowMark::kNone) {
    const MarkLook look = LookOf(mark);
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    // A white glyph on a disc of the mark's colour: it reads on a selected row too.
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(look.colour);
    painter.drawEllipse(picture.rect());
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(24);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(picture.rect(), Qt::AlignCenter, QString(QChar(look.glyph)));
    painter.end();
    icon = QIcon(picture);
  }
  return icon;
}

}  // namespace

ResponseListModel::ResponseListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ResponseListModel::SetStore(const orvane::ResponseStore* store) {
  beginResetModel();
  store_ = store;
  endResetModel();
}

int ResponseListModel::AppendRow(int slot) {
  const int row = Count();
  beginInsertRows(QModelIndex(), row, row);
  rows_.push_back(slot);
  marks_.push_back(store_ ? orvane::MarkOf(store_->At(slot)) : orvane::RowMark::kNone);
  endInsertRows();
  return row;
}

void ResponseListModel::Clear() {
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  marks_.clear();
  marks_.shrink_to_fit();
  endResetModel();
}

void ResponseListModel::ColumnChanged(int column) {
  if (Count() > 0) emit dataChanged(index(0, column), index(Count() - 1, column));
}

void ResponseListModel::SetPreviewChars(int chars) {
  chars = std::max(0, chars);
  if (chars == previewChars_) return;
  previewChars_ = chars;
  ColumnChanged(kResponseColumn);
}

void ResponseListModel::SetMarked(bool marked) {
  if (marked == marked_) return;
  marked_ = marked;
  ColumnChanged(kResponseColumn);
}

QString ResponseListModel::Preview(int slot) const {
  const orvane::Row& shown = store_->At(slot);
  size_t dropped = 0;
  if (store_->Dropped(slot, &dropped)) {
    QString text = QString::fromStdU16String(orvane::DroppedPreview(dropped));
    return previewChars_ == 0 ? text + QStringLiteral("..") : text;
  }
  if (previewChars_ == 0) return QString::fromStdU16String(orvane::RowPreview(shown));
  return QString::fromStdU16String(orvane::RowPreview(shown, static_cast<size_t>(previewChars_)));
}

QString ResponseListModel::Text(int row, int column) const {
  if (!Has(row) || store_ == nullptr) return {};
  const orvane::Row& shown = store_->At(SlotOf(row));
  switch (column) {
    case kResponseColumn: return Preview(SlotOf(row));
    case kCommandColumn: return QString::fromStdU16String(shown.sent);
    case kTimeColumn:
      if (shown.sentAtMs == 0) return {};
      return QDateTime::fromMSecsSinceEpoch(shown.sentAtMs).toString(QStringLiteral("HH:mm:ss.zzz")) +
             QStringLiteral("  %1 ms").arg(shown.elapsedMs);
    default: return {};
  }
}

QString ResponseListModel::CopyText(int row) const {
  if (!Has(row) || store_ == nullptr) return {};
  const int slot = SlotOf(row);
  const orvane::Row& shown = store_->At(slot);
  size_t dropped = 0;
  const std::u16string reply = store_->Dropped(slot, &dropped) ? orvane::DroppedPreview(dropped)
                                                               : orvane::EncodeBinaryText(shown.reply);
  return QString::fromStdU16String(shown.sent) + QLatin1Char('\t') + QString::fromStdU16String(reply);
}

QString ResponseListModel::ReplyText(int row) const {
  if (!Has(row) || store_ == nullptr) return {};
  const int slot = SlotOf(row);
  size_t dropped = 0;
  if (store_->Dropped(slot, &dropped)) return QString::fromStdU16String(orvane::DroppedPreview(dropped));
  return QString::fromStdU16String(orvane::ReplyAsText(store_->At(slot).reply));
}

int ResponseListModel::RowData(int row) const {
  return Has(row) ? SlotOf(row) : -1;
}

const orvane::Row& ResponseListModel::RowOf(int row) const {
  static const orvane::Row kNoRow;
  return Has(row) && store_ ? store_->At(SlotOf(row)) : kNoRow;
}

orvane::RowMark ResponseListModel::Mark(int row) const {
  return Has(row) ? marks_[static_cast<size_t>(row)] : orvane::RowMark::kNone;
}

int ResponseListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

int ResponseListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant ResponseListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || !Has(index.row())) return {};
  const bool marks = marked_ && store_ != nullptr && index.column() == kResponseColumn;
  switch (role) {
    case Qt::DisplayRole:
      return Text(index.row(), index.column());
    case Qt::UserRole:
      return RowData(index.row());
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
    case Qt::DecorationRole:
      if (!marks) return {};
      return MarkIcon(orvane::MarkOf(store_->At(SlotOf(index.row()))));
    case Qt::ToolTipRole: {
      // How the reply ended (marked lists only), then its notes, one a line.
      if (store_ == nullptr) return {};
      const orvane::Row& shown = store_->At(SlotOf(index.row()));
      QStringList lines;
      if (marks) {
        const QString name = QString::fromLatin1(orvane::RowMarkName(orvane::MarkOf(shown)));
        const QString timing = QString::fromStdString(orvane::TimingWords(shown));
        if (name.isEmpty()) lines << timing;
        else lines << (timing.isEmpty() ? name : name + QStringLiteral(": ") + timing);
      }
      for (const std::string& note : orvane::notes::ReplyNotes(shown))
        lines << QString::fromStdString(note);
      if (lines.isEmpty()) return {};
      return lines.join(QLatin1Char('\n'));
    }
    default:
      return {};
  }
}

QVariant ResponseListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return QAbstractTableModel::headerData(section, orientation, role);
  if (role == Qt::DisplayRole) {
    if (section == kResponseColumn) return QStringLiteral("Response");
    if (section == kCommandColumn) return QStringLiteral("Command");
    if (section == kTimeColumn) return QStringLiteral("Time");
  }
  if (role == Qt::TextAlignmentRole)
    return QVariant::fromValue(Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter));
  return {};
}

Qt::ItemFlags ResponseListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
