// The window's session journal: written while on (kept in the hive), a journal's rows in
// the list, and the bytes the list dropped read back for the viewer and the export.
#include <filesystem>

#include "engine/Journal.h"
#include "preferences/JournalSettingsStore.h"
#include "tests/screen/ScreenTestSupport.h"

namespace screen_test {
namespace {

namespace fs = std::filesystem;

class SessionJournalScreen : public ScreenTest {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() / ("orvane-window-journal-" + std::to_string(getpid()));
    fs::remove_all(folder);
  }
  void TearDown() override { fs::remove_all(folder); }
  fs::path folder;
};

TEST_F(SessionJournalScreen, WritesEachSessionAndReadsDroppedBytesBackAndShowsAJournal) {
  auto view = MakeView();
  SessionJournal& journal = view->Journal();
  EXPECT_TRUE(journal.Enabled());  // on unless turned off
  journal.SetFolder(folder.string());
  FakeModem modem;
  ASSERT_TRUE(modem.ok());
  modem.QueueReply("\r\nOK\r\n");
  modem.QueueReply("\r\nOrvane\r\nOK\r\n");
  OpenOn(*view, modem.path());
  ASSERT_TRUE(view->OpenFlag());
  Send(*view, "AT<0D>");
  Send(*view, "ATI<0D>");
  const std::string file = journal.File();
  EXPECT_EQ(fs::path(file).parent_path(), folder);

  // The list keeps 8 reply bytes: the first row's go, and come back from the journal.
  auto& store = const_cast<orvane::ResponseStore&>(view->Responses());
  store.SetMaxReplyBytes(8);
  ASSERT_TRUE(store.Dropped(0));
  const orvane::Bytes ok = {'\r', '\n', 'O', 'K', '\r', '\n'};
  EXPECT_EQ(journal.RowWithBytes(0).reply, ok);
  EXPECT_EQ(journal.ExportRows()[0].responseBytes, ok);
  Click(*view, IDC_CLOSE);

  // Off, and kept off.
  ASSERT_TRUE(view->RunCommand(ID_SESSION_JOURNAL));
  EXPECT_FALSE(journal.Enabled());
  EXPECT_FALSE(orvane::JournalSettingsStore(hive()).Load().enabled);
  EXPECT_FALSE(MakeView()->Journal().Enabled());

  // The journal's rows take the list's place, once the user agrees.
  script.onOpenFile = [&](const ui::SaveFileRequest&) { return std::optional<QString>(QString::fromStdString(file)); };
  script.answers.push_back(ui::Answer::Yes);
  ASSERT_TRUE(view->RunCommand(ID_OPEN_JOURNAL));
  ASSERT_EQ(List(*view)->RowCount(), 2);
  // Its rows' bytes too come from the file when the list holds them no more.
  EXPECT_EQ(journal.RowWithBytes(1).reply, (orvane::Bytes{'\r', '\n', 'O', 'r', 'v', 'a', 'n', 'e', '\r', '\n',
                                                          'O', 'K', '\r', '\n'}));
  EXPECT_EQ(view->Responses().At(0).sent, u"AT<0D>");

  // A desktop that opens no folder: the message says where it is.
  journal.openFolder = [](const QString&) { return false; };
  ASSERT_TRUE(view->RunCommand(ID_JOURNAL_FOLDER));
  EXPECT_EQ(script.MessageTexts().back(),
            QStringLiteral("The session journals are in %1").arg(QString::fromStdString(folder.string())));
}

}  // namespace
}  // namespace screen_test
