// Command history dialog: the list in stored order, the preview of the selection, and
// the picked text.
#include <QLabel>
#include <QListWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "entry/model/CommandHistory.h"
#include "entry/CommandHistoryDialog.h"
#include "platform/Registry.h"
#include "resources/OrvanePortIds.h"
#include "ui/Messages.h"

namespace {

using Bytes = std::vector<uint8_t>;
using orvane::reg::Hive;
using namespace orvane::port_ids;

class CommandHistoryDialogTest : public ::testing::Test {
 protected:
  void Store(const std::vector<std::u16string>& entries) {
    ASSERT_TRUE(history.SaveHistory(entries));
  }
  static Bytes PreviewBytes(const CommandHistoryDialog& dialog) {
    return dialog.Preview() ? dialog.Preview()->Model().Data() : Bytes{};
  }

  std::unique_ptr<Hive> hive_ = Hive::OpenMemory();
  orvane::CommandHistory history{*hive_};
};

}  // namespace

TEST_F(CommandHistoryDialogTest, OpensWithTheNewestSelectedAndPreviewed) {
  Store({u"X", u"Y", u"AT<0D>"});
  CommandHistoryDialog dialog(history);
  dialog.EnsureInitialized();
  EXPECT_EQ(dialog.Control<QLabel>(IDC_HISTORY_CAPTION)->text(), QStringLiteral("Cmd History"));
  EXPECT_EQ(dialog.Control<QLabel>(IDC_HISTORY_CAPTION)->font().weight(), QFont::Bold);
  QListWidget* list = dialog.List();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("X"));
  EXPECT_EQ(list->item(1)->text(), QStringLiteral("Y"));
  EXPECT_EQ(list->item(2)->text(), QStringLiteral("AT<0D>"));  // listed as text
  EXPECT_EQ(list->currentRow(), 0);
  ASSERT_NE(dialog.Preview(), nullptr);
  EXPECT_EQ(dialog.Preview()->geometry(), QRect(12, 150, 211, 110));
  EXPECT_EQ(dialog.Preview()->Model().VisibleRows(), 6);
  EXPECT_EQ(PreviewBytes(dialog), Bytes{'X'});
  EXPECT_EQ(dialog.PickedCommand(), QStringLiteral("X"));
  dialog.Press(ui::IDOK);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.PickedCommand(), QStringLiteral("X"));
}

TEST_F(CommandHistoryDialogTest, SelectionUpdatesPreviewAndPick) {
  Store({u"X", u"Y", u"AT<0D>"});
  CommandHistoryDialog dialog(history);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  QListWidget* list = dialog.List();
  // A real tap on the third row.
  const QRect row = list->visualItemRect(list->item(2));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_EQ(list->currentRow(), 2);
  EXPECT_EQ(PreviewBytes(dialog), (Bytes{'A', 'T', 0x0D}));  // decoded, byte for byte
  EXPECT_EQ(dialog.PickedCommand(), QStringLiteral("AT<0D>"));
  // The preview is replaced, caret and view reset, and it holds the focus.
  EXPECT_EQ(dialog.Preview()->Model().CaretPosition(), 0);
  EXPECT_EQ(QApplication::focusWidget(), dialog.Preview());

  list->setCurrentRow(1);
  EXPECT_EQ(PreviewBytes(dialog), Bytes{'Y'});
  dialog.Press(ui::IDOK);
  EXPECT_EQ(dialog.PickedCommand(), QStringLiteral("Y"));
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(CommandHistoryDialogTest, CancelEndsRejectedAndEditsInThePreviewAreDropped) {
  Store({u"X", u"Y"});
  ui::ScriptedUi script;
  script.onModal = [](QDialog& d) {
    auto& dialog = static_cast<CommandHistoryDialog&>(d);
    dialog.List()->setCurrentRow(1);
    QTest::keyClicks(dialog.Preview(), QStringLiteral("41"));
    dialog.Press(ui::IDCANCEL);
    return dialog.result();
  };
  CommandHistoryDialog dialog(history);
  EXPECT_EQ(ui::RunModal(dialog), QDialog::Rejected);
  EXPECT_EQ(dialog.PickedCommand(), QStringLiteral("Y"));  // the text, not the edit
  EXPECT_EQ(history.LoadHistory().size(), 2u);  // never written
}

TEST_F(CommandHistoryDialogTest, EmptyHistoryGivesEmptyListPreviewAndPick) {
  CommandHistoryDialog dialog(history);
  dialog.EnsureInitialized();
  EXPECT_EQ(dialog.List()->count(), 0);
  ASSERT_NE(dialog.Preview(), nullptr);
  EXPECT_EQ(dialog.Preview()->Model().Length(), 0);
  dialog.Press(ui::IDOK);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.PickedCommand(), QString());
}
