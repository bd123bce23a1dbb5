#include "screen/ResponseListCtrl.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMouseEvent>
#include <QResizeEvent>

#include "resources/OrvanePortIds.h"
#include "screen/ResponseFilter.h"
#include "screen/ResponseListModel.h"
#include "ui/EnterKeyFilter.h"
#include "ui/Menus.h"
#include "ui/Template.h"
#include "ui/Zoom.h"

namespace {

// The selection mark (the current row) is the anchor of keyboard selection, not a
// selection: the style's focus highlight would look like one, so the mark is a thin
// dotted frame around the row instead, drawn while the list has the focus.
class SelectionMarkDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem plain = option;
    // The view marks the current cell only; the frame goes round the whole row.
    const auto* view = qobject_cast<const QTableView*>(option.widget);
    const bool marked = (option.state & QStyle::State_HasFocus) ||
                        (view && view->hasFocus() && view->currentIndex().row() == index.row());
    plain.state &= ~QStyle::State_HasFocus;
    QStyledItemDelegate::paint(painter, plain, index);
    if (!marked) return;
    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    QPen pen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    pen.setStyle(Qt::DotLine);
    pen.setWidth(1);
    painter->setPen(pen);
    const QRect r = option.rect.adjusted(0, 0, -1, -1);
    int last = index.model() ? index.model()->columnCount() - 1 : 0;
    while (view && last > 0 && view->isColumnHidden(last)) --last;
    painter->drawLine(r.topLeft(), r.topRight());
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    if (index.column() == 0) painter->drawLine(r.topLeft(), r.bottomLeft());
    if (index.column() == last) painter->drawLine(r.topRight(), r.bottomRight());
    painter->restore();
  }
};

}  // namespace

static_assert(ResponseListCtrl::kResponseColumn == ResponseListModel::kResponseColumn &&
              ResponseListCtrl::kCommandColumn == ResponseListModel::kCommandColumn);

ResponseListCtrl::ResponseListCtrl(QWidget* parent)
    : QTableView(parent),
      model_(new ResponseListModel(this)),
      filter_(new ResponseFilter(model_, this)) {
  // The model is set once, here: the screen's notifications connect to this view's
  // selection model when the screen is built.
  setModel(filter_);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTabKeyNavigation(false);  // Tab leaves the list, as it does every other control
  setWordWrap(false);
  setTextElideMode(Qt::ElideRight);
  setShowGrid(false);
  setCornerButtonEnabled(false);
  setItemDelegate(new SelectionMarkDelegate(this));

  // Every row is one line high: the view never measures rows, so inserting one does
  // not lay out the others.
  QHeaderView* rows = verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setMinimumSectionSize(1);
  rows->setDefaultSectionSize(fontMetrics().height() + 4);
  setIconSize(QSize(fontMetrics().height() + 2, fontMetrics().height() + 2));
  // Hidden as it is, the row header would still repaint the section of every new
  // current row, and finding where that section starts after an insert walks every
  // row above it. It shows nothing, so it does not follow the selection.
  QObject::disconnect(selectionModel(), nullptr, rows, nullptr);

  QHeaderView* columns = horizontalHeader();
  columns->setStretchLastSection(false);
  columns->setHighlightSections(false);
  columns->setSectionsClickable(false);
  columns->setSectionResizeMode(QHeaderView::Interactive);
  setColumnHidden(kTimeColumn, true);
  // A column the user widens shows more of the reply.
  connect(columns, &QHeaderView::sectionResized, this, [this](int section) {
    if (section == kResponseColumn) FitPreview();
  });

  // Following new rows: the bar's end is kept while the list is at it.
  QScrollBar* bar = verticalScrollBar();
  connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
    following_ = value == bar->maximum() && (bar->maximum() > 0 || Larger());
  });
  connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
    if (following_) bar->setValue(maximum);
  });

  // Mouse events reach the list through its viewport, in viewport coordinates.
  new ui::PressAndHold(viewport(), ui::PressAndHold::Press::kPassOn,
                       [this](QPoint pos) { TapAndHold(pos); });
  // The list asks for all keys: Enter never reaches a default button.
  ui::InstallEnterKeyFilter(this);
}

void ResponseListCtrl::SetUp() {
  // Child, visible, border, report view, single selection; full-row selection.
  setFrameShape(QFrame::StyledPanel);
  horizontalHeader()->show();
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setUp_ = true;
  baseWidth_ = qRound(contentsRect().width() / ui::ZoomFactor());
  baseHeight_ = qRound(contentsRect().height() / ui::ZoomFactor());
  SetColumnShares();
  SetMenuFlag(true);
}

void ResponseListCtrl::SetColumnShares() {
  int width = contentsRect().width();
  if (TimeColumnShown()) {
    const int time = fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000  00000 ms")) + 12;
    setColumnWidth(kTimeColumn, time);
    width = std::max(0, width - time);
  }
  setColumnWidth(kResponseColumn, 3 * width / 4);
  setColumnWidth(kCommandColumn, width / 4);
  FitPreview();
  FollowFromTheStart();
}

bool ResponseListCtrl::Larger() const {
  return Wide() || (setUp_ && contentsRect().height() > ui::Zoomed(baseHeight_) + 1);
}

void ResponseListCtrl::FollowFromTheStart() {
  // A list made larger than the handheld's follows new rows from its end at once.
  const QScrollBar* bar = verticalScrollBar();
  if (bar->maximum() == 0) following_ = Larger();
}

bool ResponseListCtrl::Wide() const {
  return setUp_ && contentsRect().width() > ui::Zoomed(baseWidth_) + 1;
}

void ResponseListCtrl::FitPreview() {
  if (!Wide()) {
    model_->SetPreviewChars(0);
    model_->SetMarked(false);
    return;
  }
  // Enough characters to fill the column even in the narrowest ones; the view elides
  // what does not fit, so a longer reply ends in an ellipsis.
  const QFontMetrics metrics = fontMetrics();
  int narrowest = metrics.horizontalAdvance(QLatin1Char('.'));
  for (QChar c : QStringLiteral(" ,:;'!|iIlj1"))
    narrowest = std::min(narrowest, metrics.horizontalAdvance(c));
  model_->SetPreviewChars(columnWidth(kResponseColumn) / std::max(1, narrowest) + 1);
  model_->SetMarked(true);
}

void ResponseListCtrl::SetTimeColumnShown(bool shown) {
  if (shown == TimeColumnShown()) return;
  setColumnHidden(kTimeColumn, !shown);
  if (setUp_) SetColumnShares();
}

QList<int> ResponseListCtrl::SelectedRows() const {
  QList<int> rows;
  for (const QModelIndex& index : selectionModel()->selectedRows()) rows << RowOf(index);
  std::sort(rows.begin(), rows.end());
  return rows;
}

QString ResponseListCtrl::SelectedRowsText() const {
  QStringList lines;
  for (int row : SelectedRows()) lines << model_->CopyText(row);
  return lines.join(QLatin1Char('\n'));
}

QString ResponseListCtrl::SelectedRepliesText() const {
  QStringList replies;
  for (int row : SelectedRows()) replies << model_->ReplyText(row);
  return replies.join(QLatin1Char('\n'));
}

void ResponseListCtrl::Copy() {
  if (!SelectedRows().isEmpty()) QApplication::clipboard()->setText(SelectedRowsText());
}

void ResponseListCtrl::CopyReplyAsText() {
  if (!SelectedRows().isEmpty()) QApplication::clipboard()->setText(SelectedRepliesText());
}

void ResponseListCtrl::keyPressEvent(QKeyEvent* event) {
  // The whole rows, not the preview the view would copy.
  if (event->matches(QKeySequence::Copy)) {
    Copy();
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

void ResponseListCtrl::AddDesktopItems(QMenu* menu) {
  menu->addSeparator();
  const bool any = !SelectedRows().isEmpty();
  QAction* copy = menu->addAction(QStringLiteral("&Copy"), this, &ResponseListCtrl::Copy);
  copy->setShortcut(QKeySequence::Copy);
  copy->setEnabled(any);
  menu->addAction(QStringLiteral("Copy Reply as &Text"), this, &ResponseListCtrl::CopyReplyAsText)
      ->setEnabled(any);
  QAction* time = menu->addAction(QStringLiteral("Show T&ime Column"));
  time->setCheckable(true);
  time->setChecked(TimeColumnShown());
  connect(time, &QAction::toggled, this, &ResponseListCtrl::SetTimeColumnShown);
}

void ResponseListCtrl::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  // The mark's frame goes round the row: both rows are drawn again in full.
  viewport()->update(ShownRowRect(previous.row()));
  viewport()->update(ShownRowRect(current.row()));
}

void ResponseListCtrl::focusInEvent(QFocusEvent* event) {
  QTableView::focusInEvent(event);
  viewport()->update(RowRect(SelectionMark()));
}

void ResponseListCtrl::focusOutEvent(QFocusEvent* event) {
  QTableView::focusOutEvent(event);
  viewport()->update(RowRect(SelectionMark()));
}

void ResponseListCtrl::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  if (!setUp_) return;
  if (event->size().width() != event->oldSize().width()) SetColumnShares();
  else FollowFromTheStart();
}

void ResponseListCtrl::changeEvent(QEvent* event) {
  QTableView::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    setIconSize(QSize(fontMetrics().height() + 2, fontMetrics().height() + 2));
    if (setUp_) SetColumnShares();
  }
}

int ResponseListCtrl::RowCount() const { return model_->Count(); }

void ResponseListCtrl::SetStore(const orvane::ResponseStore* store) { model_->SetStore(store); }

int ResponseListCtrl::AppendRow(int slot) { return model_->AppendRow(slot); }

QString ResponseListCtrl::Text(int row, int column) const { return model_->Text(row, column); }

int ResponseListCtrl::RowData(int row) const { return model_->RowData(row); }

void ResponseListCtrl::DeleteAllRows() { model_->Clear(); }

void ResponseListCtrl::RefreshPreviews() { model_->ColumnChanged(kResponseColumn); }

int ResponseListCtrl::RowOf(const QModelIndex& shown) const {
  return filter_->mapToSource(shown).row();  // -1 for an invalid index
}

QModelIndex ResponseListCtrl::ShownIndex(int row) const {
  return filter_->mapFromSource(model_->index(row, 0));
}

int ResponseListCtrl::FirstSelectedRow() const {
  // The filter keeps the rows' order: the first shown is the first.
  int first = -1;
  for (const QItemSelectionRange& range : selectionModel()->selection())
    if (first < 0 || range.top() < first) first = range.top();
  return first < 0 ? -1 : filter_->RowOfShown(first);
}

void ResponseListCtrl::SelectRow(int row) {
  const QModelIndex index = ShownIndex(row);
  if (!index.isValid()) {
    selectionModel()->clearSelection();
    return;
  }
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void ResponseListCtrl::RevealRow(int row) {
  SelectRow(row);
  if (const QModelIndex index = ShownIndex(row); index.isValid()) scrollTo(index);
}

void ResponseListCtrl::SetSelectionMark(int row) {
  const QModelIndex index = ShownIndex(row);
  // A hidden row cannot be the anchor: the mark stays where it is.
  if (!index.isValid() && row >= 0 && row < RowCount()) return;
  // The view would otherwise scroll to its new current row.
  const bool scrolls = hasAutoScroll();
  setAutoScroll(false);
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  setAutoScroll(scrolls);
}

int ResponseListCtrl::SelectionMark() const {
  return RowOf(selectionModel()->currentIndex());
}

QRect ResponseListCtrl::ShownRowRect(int shown) const {
  if (shown < 0 || shown >= filter_->ShownCount()) return {};
  return QRect(0, rowViewportPosition(shown), viewport()->width(), rowHeight(shown));
}

QRect ResponseListCtrl::RowRect(int row) const { return ShownRowRect(ShownIndex(row).row()); }

int ResponseListCtrl::RowAt(const QPoint& pos) const { return RowOf(indexAt(pos)); }

void ResponseListCtrl::TapAndHold(const QPoint& pos) {
  if (const int row = RowAt(pos); row >= 0) SelectRow(row);
  if (!menuFlag_) return;
  QMenu menu(this);
  if (!ui::LoadPopupMenu(orvane::port_ids::kIdTable, orvane::port_ids::IDR_RESPONSE_MENU, &menu))
    return;
  AddDesktopItems(&menu);
  if (prepareMenu) prepareMenu(&menu);
  const int command = ui::TrackPopupMenu(&menu, viewport()->mapToGlobal(pos));
  if (command != 0 && runCommand) runCommand(command);
}

void ResponseListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableView::mouseDoubleClickEvent(event);
  event->accept();  // a double tap is handled by the list's owner
}

void ResponseListCtrl::contextMenuEvent(QContextMenuEvent* event) {
  // A right click is the desktop's tap-and-hold.
  TapAndHold(event->pos());  // viewport coordinates, like the mouse events
  event->accept();
}

void ResponseListCtrl::RegisterControlClass() {
  ui::RegisterControlClass(QStringLiteral("ResponseListCtrl"),
                           [](QWidget* parent, const ui::ControlDef&) -> QWidget* {
                             return new ResponseListCtrl(parent);
                           });
}
