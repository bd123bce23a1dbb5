// The binary editor control (window class "QZBinaryCtrl"): a small hex dump of a byte
// buffer, four bytes to a row (more when a host asks it to fill a wide rectangle),
// edited in place. The widget paints the state kept in
// orvane::BinaryEditModel and turns key, tap and scroll events into model calls; it
// owns its copy of the bytes.
//
// Hosts use the control only through a BinaryCtrlHost and the functions below, in this
// order: CreateBinaryCtrl, ShowBinaryCtrl(true), FocusBinaryCtrl; then any number of
// SetBinaryCtrlData / FetchBinaryCtrlData; finally DestroyBinaryCtrl (the host's
// destructor calls it). The control tells nobody when its bytes change: a host that
// needs them fetches them.
#pragma once

#include <QRect>
#include <span>

#include <QAbstractScrollArea>
#include <QPointer>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "entry/model/BinaryEditModel.h"

inline constexpr const char* kBinaryCtrlClassName = "QZBinaryCtrl";

class QZBinaryCtrl : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // |visibleRows| is fixed for the control's life (normally its height / 16), and so
  // is |bytesPerRow|. The control draws its rows at the interface's zoom as it is when
  // the control is made.
  QZBinaryCtrl(QWidget* parent, int visibleRows,
               int bytesPerRow = orvane::BinaryEditModel::kBytesPerRow);

  // Screen pixels per pixel of the control's own geometry (rows of 16, cells of 20).
  qreal Scale() const { return scale_; }
  // The rows a control of |height| screen pixels shows at the current zoom.
  static int RowsFor(int height);
  // The bytes per row a control of |width| screen pixels shows at the current zoom when
  // it fills its width: 16 or 8 when such rows fit beside the scroll bar, else 4.
  static int BytesPerRowFor(int width);

  const orvane::BinaryEditModel& Model() const { return model_; }
  // Replaces the bytes with a copy and resets caret and view.
  void SetData(const uint8_t* bytes, size_t length);
  // The caret exists only while the control has the focus.
  bool CaretShown() const { return caretShown_; }
  // The caret bar in client (viewport) coordinates.
  QRect CaretRect() const;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  orvane::BinaryEditModel model_;
  bool caretShown_ = false;
  bool syncing_ = false;
  qreal scale_ = 1.0;

  // Copies the model's range and position into the scroll bar (shown only while the
  // maximum is not 0).
  void SyncScrollBar();
  void OnScrollAction(int action);
  void Changed();
};

// The host-side handle: the control's window (none until created) and the bytes as last
// fetched. |bytes| points into the control's own buffer and is valid only until the
// next edit: read or copy it at once.
struct BinaryCtrlHost {
  QPointer<QZBinaryCtrl> window;
  const uint8_t* bytes = nullptr;
  int length = 0;

  BinaryCtrlHost() = default;
  ~BinaryCtrlHost();
  BinaryCtrlHost(const BinaryCtrlHost&) = delete;
  BinaryCtrlHost& operator=(const BinaryCtrlHost&) = delete;

  // A copy of the bytes as last fetched.
  std::vector<uint8_t> FetchedBytes() const {
    return bytes ? std::vector<uint8_t>(bytes, bytes + length) : std::vector<uint8_t>();
  }
};

// Registers the control class once (also for templates that name "QZBinaryCtrl" as a
// CUSTOM control). Further calls do nothing.
void RegisterBinaryCtrlClass();
bool IsBinaryCtrlClassRegistered();

// Rows of four bytes (the handheld's), or as many as the control's width takes.
enum class BinaryRows { kFour, kFitWidth };

// Creates the control in |parent| at |rect| (pixels) with a copy of |bytes|; it is shown
// and takes the focus. It shows as many rows as fit in the rectangle at the zoom, each
// of four bytes or, with kFitWidth, of as many as fit (QZBinaryCtrl::BytesPerRowFor). A
// window the host already had is destroyed first. False when there is no parent.
bool CreateBinaryCtrl(BinaryCtrlHost& host, QWidget* parent, const QRect& rect,
                      std::span<const uint8_t> bytes, BinaryRows rows = BinaryRows::kFour);
// Replaces the bytes with a copy, resets caret and view, shows the control, gives it the
// focus and repaints it.
void SetBinaryCtrlData(BinaryCtrlHost& host, const uint8_t* bytes, size_t length);
inline void SetBinaryCtrlData(BinaryCtrlHost& host, const std::vector<uint8_t>& bytes) {
  SetBinaryCtrlData(host, bytes.data(), bytes.size());
}
// Stores the control's current buffer address and length in the host.
void FetchBinaryCtrlData(BinaryCtrlHost& host);
void ShowBinaryCtrl(BinaryCtrlHost& host, bool show);
void FocusBinaryCtrl(BinaryCtrlHost& host);
// Destroys the control's window (if any) and with it its current buffer.
void DestroyBinaryCtrl(BinaryCtrlHost& host);
