// The binary editor control as a widget: host calls, painting, keys, taps, the scroll
// bar and the caret, driven through real Qt events.
#include <QApplication>
#include <QImage>
#include <QWheelEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "entry/BinaryCtrl.h"
#include "ui/Look.h"
#include "ui/Template.h"
#include "ui/TemplateHost.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Seq(int n) {
  Bytes b(n);
  for (int i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(0x30 + i % 40);
  return b;
}

// True when any pixel of |rect| in |image| is not white.
bool HasInk(const QImage& image, const QRect& rect) {
  for (int y = rect.top(); y <= rect.bottom(); ++y)
    for (int x = rect.left(); x <= rect.right(); ++x)
      if (image.pixelColor(x, y) != QColor(Qt::white)) return true;
  return false;
}

QImage Snapshot(QZBinaryCtrl* control) {
  return control->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

TEST(BinaryCtrl, HostCreatesFetchesAndDestroysTheControl) {
  QWidget parent;
  parent.resize(240, 300);
  Bytes source{0x0D, 0x41, 0x54};
  {
    BinaryCtrlHost host;
    EXPECT_EQ(host.window, nullptr);
    ASSERT_TRUE(CreateBinaryCtrl(host, &parent, QRect(12, 50, 211, 135), source));
    ASSERT_NE(host.window, nullptr);
    EXPECT_EQ(host.window->geometry(), QRect(12, 50, 211, 135));
    EXPECT_EQ(host.window->Model().VisibleRows(), 8);
    EXPECT_TRUE(host.window->isVisibleTo(&parent));
    EXPECT_EQ(host.window->metaObject()->className(), QByteArray("QZBinaryCtrl"));

    source[0] = 0xFF;  // the control keeps its own copy
    FetchBinaryCtrlData(host);
    EXPECT_EQ(host.FetchedBytes(), (Bytes{0x0D, 0x41, 0x54}));

    SetBinaryCtrlData(host, Bytes{1, 2, 3, 4, 5});
    FetchBinaryCtrlData(host);
    EXPECT_EQ(host.length, 5);
    EXPECT_EQ(host.FetchedBytes(), (Bytes{1, 2, 3, 4, 5}));

    ShowBinaryCtrl(host, false);
    EXPECT_FALSE(host.window->isVisibleTo(&parent));
    ShowBinaryCtrl(host, true);

    // Creating again replaces the old window rather than leaving it behind.
    QPointer<QZBinaryCtrl> first = host.window;
    CreateBinaryCtrl(host, &parent, QRect(0, 0, 100, 64), Bytes{});
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(host.window->Model().VisibleRows(), 4);
    EXPECT_EQ(parent.findChildren<QZBinaryCtrl*>().size(), 1);
  }
  // The host going away destroys its control.
  EXPECT_TRUE(parent.findChildren<QZBinaryCtrl*>().isEmpty());

  BinaryCtrlHost none;
  EXPECT_FALSE(CreateBinaryCtrl(none, nullptr, QRect(0, 0, 10, 10), Bytes{1}));
  FetchBinaryCtrlData(none);  // no window: nothing to fetch, nothing breaks
  EXPECT_EQ(none.length, 0);
  SetBinaryCtrlData(none, Bytes{1});
  ShowBinaryCtrl(none, true);
  FocusBinaryCtrl(none);
  DestroyBinaryCtrl(none);
}

TEST(BinaryCtrl, RegisteredClassCanBeNamedInATemplate) {
  RegisterBinaryCtrlClass();
  RegisterBinaryCtrlClass();  // once is enough; again does nothing
  EXPECT_TRUE(IsBinaryCtrlClassRegistered());
  EXPECT_TRUE(ui::IsControlClassRegistered(QStringLiteral("QZBinaryCtrl")));
  auto tmpl = ui::ParseTemplate(
      QStringLiteral("DIALOG 1 135 153\nCUSTOM 77 \"QZBinaryCtrl\" 7 29 121 77\n"));
  ASSERT_TRUE(tmpl);
  QWidget owner;
  ui::TemplateHost host(&owner, *tmpl);
  auto* control = host.Control<QZBinaryCtrl>(77);
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->Model().VisibleRows(), ui::DluToPx(77) / 16);
}

TEST(BinaryCtrl, PaintsRowsOnlyWhereThereAreBytes) {
  QWidget parent;
  parent.resize(240, 300);
  BinaryCtrlHost host;
  CreateBinaryCtrl(host, &parent, QRect(12, 50, 211, 135), Bytes{});
  parent.show();
  // An empty control is all white: not even an offset label.
  EXPECT_FALSE(HasInk(Snapshot(host.window), host.window->viewport()->rect()));

  SetBinaryCtrlData(host, Bytes{0x41, 0x42, 0x43, 0x44, 0x45});
  host.window->clearFocus();
  const QImage image = Snapshot(host.window);
  EXPECT_TRUE(HasInk(image, QRect(2, 16, 30, 16)));     // label "0004"
  EXPECT_TRUE(HasInk(image, QRect(40, 16, 16, 16)));    // byte 4's digits
  EXPECT_TRUE(HasInk(image, QRect(130, 16, 10, 16)));   // byte 4's character
  EXPECT_FALSE(HasInk(image, QRect(60, 16, 60, 16)));   // the short row stops there
  EXPECT_FALSE(HasInk(image, QRect(142, 16, 40, 16)));
  EXPECT_FALSE(HasInk(image, QRect(0, 32, 180, 96)));   // rows after the last byte
  // No scroll bar while there is nothing to scroll.
  EXPECT_FALSE(host.window->verticalScrollBar()->isVisible());
}

TEST(BinaryCtrl, ScrollBarFollowsTheRangeAndMovesTheViewByRows) {
  QWidget parent;
  parent.resize(240, 300);
  BinaryCtrlHost host;
  CreateBinaryCtrl(host, &parent, QRect(12, 50, 211, 135), Seq(28));
  parent.show();
  QScrollBar* bar = host.window->verticalScrollBar();
  EXPECT_FALSE(bar->isVisible());

  SetBinaryCtrlData(host, Seq(33));
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->maximum(), 33);  // 48 - 16 + 1
  EXPECT_EQ(bar->pageStep(), 16);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(host.window->Model().TopRow(), 1);
  EXPECT_EQ(bar->value(), 16);
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(host.window->Model().TopRow(), 2);
  EXPECT_EQ(bar->value(), 33);
  // Dragging the thumb lands on whole rows.
  bar->setSliderPosition(21);
  EXPECT_EQ(host.window->Model().ScrollPos(), 16);
  EXPECT_EQ(bar->value(), 16);
  // The top row is now byte 4: its label and digits are drawn in row 0.
  host.window->clearFocus();
  const QImage image = Snapshot(host.window);
  EXPECT_TRUE(HasInk(image, QRect(2, 0, 30, 16)));
  // The wheel scrolls by rows too.
  QWheelEvent wheel(QPointF(50, 50), host.window->viewport()->mapToGlobal(QPointF(50, 50)),
                    QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                    false);
  QApplication::sendEvent(host.window->viewport(), &wheel);
  EXPECT_EQ(host.window->Model().TopRow(), 0);
}

TEST(BinaryCtrl, KeysTapsAndTheCaretGoThroughTheModel) {
  QWidget parent;
  parent.resize(240, 300);
  auto* other = new QLineEdit(&parent);
  other->setGeometry(0, 0, 100, 20);
  BinaryCtrlHost host;
  CreateBinaryCtrl(host, &parent, QRect(12, 50, 211, 135), Bytes{0x41, 0x54});
  parent.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&parent));
  FocusBinaryCtrl(host);
  QZBinaryCtrl* control = host.window;
  ASSERT_TRUE(control->hasFocus());
  EXPECT_TRUE(control->CaretShown());
  EXPECT_EQ(control->CaretRect().topLeft(), QPoint(40, 0));

  // Tap the end (right of the last byte), type 0 then D.
  QTest::mouseClick(control->viewport(), Qt::LeftButton, {}, QPoint(110, 5));
  EXPECT_EQ(control->Model().CaretPosition(), 2);
  QTest::keyClick(control, Qt::Key_0);
  EXPECT_EQ(control->CaretRect().topLeft(), QPoint(40 + 40 + 8, 0));  // between the digits
  QTest::keyClick(control, Qt::Key_D);
  FetchBinaryCtrlData(host);
  EXPECT_EQ(host.FetchedBytes(), (Bytes{0x41, 0x54, 0x0D}));

  // Enter and Escape add no bytes; Tab moves the focus on and Shift+Tab brings it back.
  QTest::keyClick(control, Qt::Key_Return);
  QTest::keyClick(control, Qt::Key_Escape);
  QTest::keyClick(control, Qt::Key_Delete);
  EXPECT_TRUE(control->hasFocus());
  QTest::keyClick(control, Qt::Key_Tab);
  EXPECT_TRUE(other->hasFocus());
  QTest::keyClick(other, Qt::Key_Backtab);
  EXPECT_TRUE(control->hasFocus());
  FetchBinaryCtrlData(host);
  EXPECT_EQ(host.length, 3);

  // Character area: a tap there, then letters go in as bytes; arrows and Backspace.
  QTest::mouseClick(control->viewport(), Qt::LeftButton, {}, QPoint(131, 5));
  EXPECT_EQ(control->Model().CaretArea(), orvane::BinaryEditModel::Area::Char);
  QTest::keyClicks(control, QStringLiteral("x "));
  QTest::keyClick(control, Qt::Key_Left);
  QTest::keyClick(control, Qt::Key_Backspace);  // removes the x
  FetchBinaryCtrlData(host);
  EXPECT_EQ(host.FetchedBytes(), (Bytes{0x20, 0x41, 0x54, 0x0D}));
  EXPECT_EQ(control->Model().CaretPosition(), 0);

  // The caret exists only while the control has the focus.
  other->setFocus();
  EXPECT_FALSE(control->CaretShown());
}
