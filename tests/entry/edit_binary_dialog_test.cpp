// Edit Binary: opening state, OK in canonical form, Cancel, and keys that stay in the
// byte area.
#include <QLabel>
#include <QPushButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "entry/EditBinaryDialog.h"
#include "resources/OrvanePortIds.h"
#include "ui/Messages.h"
#include "ui/SoftInputPanel.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace orvane::port_ids;

Bytes EditorBytes(const EditBinaryDialog& dialog) {
  return dialog.Editor() ? dialog.Editor()->Model().Data() : Bytes{};
}

// Opens the dialog on |text|, presses |button| without any edit, returns the result.
QString OkWithoutEdits(const QString& text) {
  EditBinaryDialog dialog(text);
  dialog.EnsureInitialized();
  dialog.Press(ui::IDOK);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  return dialog.BinaryText();
}

}  // namespace

TEST(EditBinaryDialog, OpensWithTheDecodedBytesAtTheByteArea) {
  const int raisedBefore = ui::sip::RaiseCount();
  EditBinaryDialog dialog(QStringLiteral("<0D>AT"));
  dialog.EnsureInitialized();
  auto* caption = dialog.Control<QLabel>(IDC_EDIT_BINARY_CAPTION);
  ASSERT_NE(caption, nullptr);
  EXPECT_EQ(caption->text(), QStringLiteral("Edit Binary"));
  EXPECT_EQ(caption->font().pixelSize(), 15);
  EXPECT_EQ(caption->font().weight(), QFont::Bold);
  EXPECT_EQ(caption->palette().color(QPalette::WindowText), QColor(0, 0, 225));
  EXPECT_EQ(dialog.Control(ui::IDOK)->palette().color(QPalette::ButtonText), QColor(0, 0, 225));
  ASSERT_NE(dialog.Editor(), nullptr);
  EXPECT_EQ(dialog.Editor()->geometry(), QRect(12, 50, 211, 135));
  EXPECT_EQ(dialog.Editor()->Model().VisibleRows(), 8);
  EXPECT_EQ(EditorBytes(dialog), (Bytes{0x0D, 0x41, 0x54}));
  EXPECT_EQ(ui::sip::RaiseCount(), raisedBefore + 1);
  EXPECT_EQ(ui::sip::LastRequest(), ui::sip::Request::Raise);

  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  EXPECT_EQ(QApplication::focusWidget(), dialog.Editor());
}

TEST(EditBinaryDialog, OkGivesTheCanonicalTextOfTheBytes) {
  EXPECT_EQ(OkWithoutEdits(QString()), QString());
  EXPECT_EQ(OkWithoutEdits(QStringLiteral("<0D>AT")), QStringLiteral("<0D>AT"));
  EXPECT_EQ(OkWithoutEdits(QStringLiteral("<0a>")), QStringLiteral("<0A>"));
  EXPECT_EQ(OkWithoutEdits(QStringLiteral("<")), QStringLiteral("<<"));
  EXPECT_EQ(OkWithoutEdits(QStringLiteral("a<3C>b")), QStringLiteral("a<<b"));
}

TEST(EditBinaryDialog, EditsComeBackOnOkAndAreDroppedOnCancel) {
  ui::ScriptedUi script;
  script.onModal = [](QDialog& d) {
    auto& dialog = static_cast<EditBinaryDialog&>(d);
    QZBinaryCtrl* editor = dialog.Editor();
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, QPoint(103, 5));  // hex area, after the last byte
    QTest::keyClicks(editor, QStringLiteral("0D"));
    dialog.Press(ui::IDOK);
    return dialog.result();
  };
  {
    EditBinaryDialog dialog(QStringLiteral("AT"));
    EXPECT_EQ(ui::RunModal(dialog), QDialog::Accepted);
    EXPECT_EQ(dialog.BinaryText(), QStringLiteral("AT<0D>"));
  }
  // Deleting every byte gives an empty text.
  script.onModal = [](QDialog& d) {
    auto& dialog = static_cast<EditBinaryDialog&>(d);
    QTest::mouseClick(dialog.Editor()->viewport(), Qt::LeftButton, {}, QPoint(103, 5));
    for (int i = 0; i < 5; ++i) QTest::keyClick(dialog.Editor(), Qt::Key_Backspace);
    dialog.Press(ui::IDOK);
    return dialog.result();
  };
  {
    EditBinaryDialog dialog(QStringLiteral("ATZ"));
    EXPECT_EQ(ui::RunModal(dialog), QDialog::Accepted);
    EXPECT_EQ(dialog.BinaryText(), QString());
  }
  // Cancel after edits keeps the caller's text.
  script.onModal = [](QDialog& d) {
    auto& dialog = static_cast<EditBinaryDialog&>(d);
    QTest::keyClicks(dialog.Editor(), QStringLiteral("FF"));
    EXPECT_EQ(dialog.Editor()->Model().Length(), 3);
    dialog.Press(ui::IDCANCEL);
    return dialog.result();
  };
  {
    EditBinaryDialog dialog(QStringLiteral("AT"));
    EXPECT_EQ(ui::RunModal(dialog), QDialog::Rejected);
    EXPECT_EQ(dialog.BinaryText(), QStringLiteral("AT"));
  }
}

TEST(EditBinaryDialog, EnterInTheByteAreaDoesNotEndTheDialogEscapeCancelsIt) {
  {
    EditBinaryDialog dialog(QStringLiteral("AT"));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(dialog.Editor(), Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
  }
  EditBinaryDialog dialog(QStringLiteral("AT"));
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  ASSERT_TRUE(dialog.Editor()->hasFocus());
  QTest::keyClick(dialog.Editor(), Qt::Key_Return);
  QTest::keyClick(dialog.Editor(), Qt::Key_Enter);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), 0);
  EXPECT_EQ(dialog.Editor()->Model().Length(), 2);
  // The real OK button ends it.
  QTest::mouseClick(dialog.Control<QPushButton>(ui::IDOK), Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.BinaryText(), QStringLiteral("AT"));
}

// A tap on a byte's high digit puts the caret there; typing one digit leaves the byte
// half typed, with the caret between its two digits.
TEST(EditBinaryDialog, ATapAndOneDigitLeaveTheByteHalfTyped) {
  EditBinaryDialog dialog(QStringLiteral("AT+CMGF=1<0D><0A>ATI3<0D>"));
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  QZBinaryCtrl* editor = dialog.Editor();
  QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, QPoint(63, 37));  // byte 9
  QTest::keyClick(editor, Qt::Key_7);
  EXPECT_TRUE(editor->Model().LowDigitPending());
  EXPECT_EQ(editor->CaretRect().topLeft(), QPoint(40 + 20 + 8, 32));
}
