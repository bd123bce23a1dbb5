// Lays out a form made from a template when it is larger than its template, or zoomed.
//
// Each control keeps its template place; the room the form has beyond its template
// (the growth) is handed out by the control's anchor: the share of the extra width by
// which it moves right and by which it widens, and the same for the extra height. A
// control without an anchor stays where the template put it. The zoom scales every
// place, every control's font and every picture (drawn smoothly, at the screen's pixel
// ratio). At 100% in a form of the template's size every control is exactly as built.
#pragma once

#include <QFont>
#include <QObject>
#include <QPixmap>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace ui {

struct Anchor {
  double moveX = 0, growX = 0, moveY = 0, growY = 0;
};
inline constexpr Anchor kStay{};
inline constexpr Anchor kRightEdge{1, 0, 0, 0};      // keeps its distance from the right edge
inline constexpr Anchor kWiden{0, 1, 0, 0};          // takes all the extra width
inline constexpr Anchor kFill{0, 1, 0, 1};           // takes the extra width and height
inline constexpr Anchor kBottomWide{0, 1, 1, 0};     // widens and keeps its distance from the bottom

class FormLayout : public QObject {
  Q_OBJECT

 public:
  // Takes |form|'s template controls (the children that carry a control id) at their
  // places now, which are their places at 100% in a form of |baseSize|. A picture as
  // wide as the form (a rule) widens with it; every other control stays. The form is
  // laid out again whenever it is resized or shown.
  FormLayout(QWidget* form, const QSize& baseSize);

  // The anchor of template control |id| (or of |control|).
  void SetAnchor(int id, Anchor anchor);
  void SetAnchor(QWidget* control, Anchor anchor);
  // The anchor of the template control whose place at 100% starts at |basePos| (for
  // labels and pictures without an id).
  void SetAnchorAt(const QPoint& basePos, Anchor anchor);
  // A control made at run time at |base| (pixels at 100%). It draws at the zoom itself,
  // so its font is left alone.
  void Add(QWidget* control, const QRect& base, Anchor anchor);

  // Where |base| (pixels at 100%) lies with |anchor| in the form as it is now.
  QRect Place(const QRect& base, Anchor anchor) const;
  // The template's size at the current zoom: the least the form needs.
  QSize MinimumSize() const;
  QSize BaseSize() const { return baseSize_; }
  // How much larger than MinimumSize() the form is (never negative).
  QSize Growth() const;
  // Places every control for the form's size and the zoom, and sets the form's minimum
  // size.
  void Apply();

 signals:
  // After every Apply, with the growth it laid out for.
  void LaidOut(const QSize& growth);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Item {
    QPointer<QWidget> widget;
    QRect base;
    Anchor anchor;
    bool zoomFont = true;
    QFont baseFont;     // the font the control was given by its screen
    QFont zoomedFont;   // the font set here last (a different one was set by the screen)
    bool fontKnown = false;
    QPixmap picture;    // a picture control's image at 100%
    bool pictureReplaced = false;
  };
  Item* Find(QWidget* control);

  QWidget* form_;
  QSize baseSize_;
  std::vector<Item> items_;
  bool applying_ = false;
};

}  // namespace ui
