// The main screen's way into the byte dialogs: "Edit As Binary" and "Command History"
// on the command field, "Show Response" and the double tap on a row.
#include <QListWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include "entry/BinaryCtrl.h"
#include "entry/CommandEdit.h"
#include "entry/model/CommandHistory.h"
#include "entry/CommandHistoryDialog.h"
#include "entry/EditBinaryDialog.h"
#include "screen/CommandResponseDialog.h"
#include "tests/screen/FakeModem.h"
#include "tests/screen/ScreenTestSupport.h"

using namespace screen_test;

namespace {

class ByteDialogs : public ScreenTest {
 protected:
  void SetUp() override {
    ScreenTest::SetUp();
    view = MakeView();
  }
  QLineEdit* CommandField() { return Ctl<QLineEdit>(*view, IDC_COMMAND); }
  std::unique_ptr<COrvanePortView> view;
};

}  // namespace

TEST_F(ByteDialogs, EditAsBinaryPutsTheEditedTextIntoTheCommandFieldOnOkOnly) {
  CommandField()->setText(QStringLiteral("<0a>AT"));
  script.onModal = [](QDialog& d) {
    auto* dialog = qobject_cast<EditBinaryDialog*>(&d);
    EXPECT_NE(dialog, nullptr);
    if (!dialog) return 0;
    EXPECT_EQ(dialog->Editor()->Model().Data(), (std::vector<uint8_t>{0x0A, 'A', 'T'}));
    dialog->Press(ui::IDOK);
    return dialog->result();
  };
  EXPECT_TRUE(view->RunCommand(ID_EDIT_AS_BINARY));
  EXPECT_EQ(CommandField()->text(), QStringLiteral("<0A>AT"));

  script.onModal = [](QDialog& d) {
    auto& dialog = static_cast<EditBinaryDialog&>(d);
    QTest::keyClicks(dialog.Editor(), QStringLiteral("FF"));
    dialog.Press(ui::IDCANCEL);
    return dialog.result();
  };
  view->RunCommand(ID_EDIT_AS_BINARY);
  EXPECT_EQ(CommandField()->text(), QStringLiteral("<0A>AT"));
  EXPECT_EQ(script.modalDialogs, (std::vector<QString>{"EditBinaryDialog", "EditBinaryDialog"}));
}

TEST_F(ByteDialogs, CommandHistoryPutsThePickIntoTheCommandFieldOnOkOnly) {
  const std::u16string entries[] = {u"X", u"Y"};
  ASSERT_TRUE(history.SaveHistory(entries));
  CommandField()->setText(QStringLiteral("typed"));
  script.onModal = [](QDialog& d) {
    auto& dialog = static_cast<CommandHistoryDialog&>(d);
    dialog.List()->setCurrentRow(1);
    dialog.Press(ui::IDCANCEL);
    return dialog.result();
  };
  view->RunCommand(ID_COMMAND_HISTORY);
  EXPECT_EQ(CommandField()->text(), QStringLiteral("typed"));

  script.onModal = [](QDialog& d) {
    auto& dialog = static_cast<CommandHistoryDialog&>(d);
    dialog.List()->setCurrentRow(1);
    dialog.Press(ui::IDOK);
    return dialog.result();
  };
  view->RunCommand(ID_COMMAND_HISTORY);
  EXPECT_EQ(CommandField()->text(), QStringLiteral("Y"));
  EXPECT_EQ(script.modalDialogs.back(), QStringLiteral("CommandHistoryDialog"));

  // The field's own menu item picks from the same history.
  script.onModal = [](QDialog& d) {
    static_cast<CommandHistoryDialog&>(d).Press(1);  // the newest, selected on opening
    return d.result();
  };
  auto* field = qobject_cast<CommandEdit*>(CommandField());
  ASSERT_NE(field, nullptr);
  field->RunMenuCommand(ID_COMMAND_HISTORY);
  EXPECT_EQ(CommandField()->text(), QStringLiteral("X"));
}

TEST_F(ByteDialogs, ShowResponseAndDoubleTapOpenTheViewerOnTheSelectedExchange) {
  FakeModem modem;
  ASSERT_TRUE(modem.ok());
  OpenOn(*view, modem.path());
  ASSERT_EQ(Status(*view), "Opened");
  modem.QueueReply("\r\nOK\r\n");
  Send(*view, "AT<0D>");
  ASSERT_EQ(List(*view)->RowCount(), 1);

  std::vector<uint8_t> commandBytes, responseBytes;
  script.onModal = [&](QDialog& d) {
    auto* dialog = qobject_cast<CommandResponseDialog*>(&d);
    EXPECT_NE(dialog, nullptr);
    if (!dialog) return 0;
    commandBytes = dialog->CommandPane()->Model().Data();
    responseBytes = dialog->ResponsePane()->Model().Data();
    QTest::keyClicks(dialog->ResponsePane(), QStringLiteral("41"));  // dropped
    dialog->Press(ui::IDOK);
    return dialog->result();
  };
  List(*view)->SelectRow(0);
  view->RunCommand(ID_SHOW_RESPONSE);
  EXPECT_EQ(commandBytes, (std::vector<uint8_t>{'A', 'T', 0x0D}));
  EXPECT_EQ(responseBytes, (std::vector<uint8_t>{0x0D, 0x0A, 'O', 'K', 0x0D, 0x0A}));

  // A double tap on the row opens it too; the stored reply is unchanged.
  responseBytes.clear();
  ResponseListCtrl* list = List(*view);
  list->clearSelection();
  view->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  const QPoint row = list->RowRect(0).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row);
  EXPECT_EQ(responseBytes, (std::vector<uint8_t>{0x0D, 0x0A, 'O', 'K', 0x0D, 0x0A}));
  EXPECT_EQ(script.modalDialogs,
            (std::vector<QString>{"CommandResponseDialog", "CommandResponseDialog"}));
}

TEST_F(ByteDialogs, TheProgramRegistersTheEditorClassWhenItStarts) {
  EXPECT_FALSE(IsBinaryCtrlClassRegistered());
  COrvanePortApp app(hive());
  ASSERT_TRUE(app.InitInstance(QStringList{QStringLiteral("OrvanePort")}));
  EXPECT_TRUE(IsBinaryCtrlClassRegistered());
}
