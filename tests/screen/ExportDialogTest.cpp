// The export options dialog and the export command, driven through their real
// controls, with the message seam answering the save-file dialog.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest/QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "screen/ExportOptionsDialog.h"
#include "screen/ExportResponseList.h"
#include "resources/OrvanePortIds.h"
#include "ui/Messages.h"
#include "ui/Template.h"

namespace fs = std::filesystem;
using orvane::ExportOptionsDialog;
using orvane::ExportRow;
using namespace orvane::port_ids;

namespace {

const int kChecks[] = {IDC_COMMAND_TEXT,  IDC_COMMAND_BINARY,  IDC_COMMAND_BINARY_TEXT,
                       IDC_RESPONSE_TEXT, IDC_RESPONSE_BINARY, IDC_RESPONSE_BINARY_TEXT,
                       IDC_EXPORT_TIME,   IDC_EXPORT_NOTES};

std::vector<bool> Ticks(const ExportOptionsDialog& d) {
  std::vector<bool> ticks;
  for (int id : kChecks) ticks.push_back(d.Control<QCheckBox>(id)->isChecked());
  return ticks;
}

void Click(QDialog& d, int id) {
  auto* button = qobject_cast<QAbstractButton*>(ui::FindControl(&d, id));
  ASSERT_NE(button, nullptr) << id;
  // A check box takes clicks on its box and label only, as a person would tap it.
  if (qobject_cast<QCheckBox*>(button))
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
  else
    QTest::mouseClick(button, Qt::LeftButton);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path FreshDir(const char* name) {
  const char* base = std::getenv("ORVANE_BINARY_DIR");
  fs::path dir = fs::path(base ? base : fs::temp_directory_path().string()) / "export-test" / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

}  // namespace

TEST(ExportOptionsDialog, OpensWithCaptionItemsAndDefaultLayouts) {
  ExportOptionsDialog d;
  d.EnsureInitialized();
  auto* caption = d.Control<QLabel>(IDC_EXPORT_CAPTION);
  EXPECT_EQ(caption->text(), QStringLiteral("Export Responses"));
  EXPECT_EQ(caption->font().pixelSize(), 15);
  EXPECT_EQ(caption->font().weight(), QFont::Bold);
  EXPECT_EQ(caption->palette().color(QPalette::WindowText), QColor(0, 0, 225));
  EXPECT_EQ(d.Control(ui::IDOK)->palette().color(QPalette::ButtonText), QColor(0, 0, 225));

  auto* combo = d.Control<QComboBox>(IDC_BYTES_PER_LINE);
  ASSERT_NE(combo, nullptr);
  EXPECT_FALSE(combo->isEditable());
  QStringList items;
  for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  EXPECT_EQ(items, (QStringList{"8", "16", "32"}));
  EXPECT_EQ(combo->currentIndex(), 0);

  EXPECT_EQ(Ticks(d), (std::vector<bool>{false, false, true, false, false, true, false, false}));
  // "&&" in the template shows a single ampersand.
  EXPECT_EQ(QWidget::tr("Command Binary && Text"),
            d.Control<QCheckBox>(IDC_COMMAND_BINARY_TEXT)->text());
  EXPECT_EQ(d.size(), QSize(236, 268));
}

TEST(ExportOptionsDialog, OkAtOnceGivesTheOpeningValues) {
  ui::ScriptedUi script;
  script.onModal = [](QDialog& d) {
    Click(d, 1);
    return d.result();
  };
  ExportOptionsDialog d;
  ASSERT_EQ(ui::RunModal(d), QDialog::Accepted);
  const auto& o = d.Options();
  EXPECT_EQ(o.bytesPerLine, 8);
  EXPECT_FALSE(o.exportCommandText || o.exportCommandBinary || o.exportResponseText ||
               o.exportResponseBinary);
  EXPECT_TRUE(o.exportCommandBinaryText && o.exportResponseBinaryText);
  EXPECT_FALSE(o.exportTime || o.exportNotes);
}

TEST(ExportOptionsDialog, ChoicesMapToOptionsAndEveryRunStartsAfresh) {
  ui::ScriptedUi script;
  script.onModal = [](QDialog& d) {
    // Tick every box once (clearing the two set ones, setting the others), pick the
    // last line length with the keyboard, press OK.
    for (int id : kChecks) Click(d, id);
    auto* combo = qobject_cast<QComboBox*>(ui::FindControl(&d, IDC_BYTES_PER_LINE));
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClick(combo, Qt::Key_Down);
    Click(d, 1);
    return d.result();
  };
  {
    ExportOptionsDialog d;
    ASSERT_EQ(ui::RunModal(d), QDialog::Accepted);
    const auto& o = d.Options();
    EXPECT_EQ(o.bytesPerLine, 32);
    EXPECT_TRUE(o.exportCommandText && o.exportCommandBinary && o.exportResponseText &&
                o.exportResponseBinary && o.exportTime && o.exportNotes);
    EXPECT_FALSE(o.exportCommandBinaryText || o.exportResponseBinaryText);
  }
  {
    script.onModal = [](QDialog& d) {
      auto* combo = qobject_cast<QComboBox*>(ui::FindControl(&d, IDC_BYTES_PER_LINE));
      combo->setCurrentIndex(1);
      Click(d, IDC_COMMAND_BINARY_TEXT);
      Click(d, IDC_RESPONSE_BINARY_TEXT);
      Click(d, 1);
      return d.result();
    };
    ExportOptionsDialog d;
    EXPECT_EQ(Ticks(d), (std::vector<bool>{false, false, false, false, false, false, false, false}));  // not yet opened
    ASSERT_EQ(ui::RunModal(d), QDialog::Accepted);
    EXPECT_EQ(d.Options().bytesPerLine, 16);
    // No layout at all is accepted.
    EXPECT_FALSE(d.Options().exportCommandBinaryText || d.Options().exportResponseBinaryText);
  }
  ExportOptionsDialog again;
  again.EnsureInitialized();
  EXPECT_EQ(again.Control<QComboBox>(IDC_BYTES_PER_LINE)->currentIndex(), 0);
  EXPECT_EQ(Ticks(again), (std::vector<bool>{false, false, true, false, false, true, false, false}));
}

TEST(ExportOptionsDialog, CancelEndsWithCancel) {
  ui::ScriptedUi script;
  script.onModal = [](QDialog& d) {
    Click(d, IDC_COMMAND_TEXT);
    Click(d, 2);
    return d.result();
  };
  ExportOptionsDialog d;
  EXPECT_EQ(ui::RunModal(d), QDialog::Rejected);
}

TEST(TemplateInitialData, RefusesItemsForMissingOrWrongControls) {
  QString error;
  EXPECT_FALSE(ui::ParseTemplate(QStringLiteral("DIALOG 1 10 10\nDLGINIT 5 \"a\""), &error));
  EXPECT_TRUE(error.contains(QStringLiteral("line 2")));
  EXPECT_FALSE(ui::ParseTemplate(
      QStringLiteral("DIALOG 1 10 10\nLTEXT 5 \"x\" 1 1 1 1\nDLGINIT 5 \"a\"")));
  EXPECT_FALSE(ui::ParseTemplate(
      QStringLiteral("DIALOG 1 10 10\nCOMBOBOX 5 \"\" 1 1 1 1\nDLGINIT 5 unquoted")));
  const auto sorted = ui::ParseTemplate(
      QStringLiteral("DIALOG 1 10 10\nCOMBOBOX 5 \"\" 1 1 1 1 SORT\nDLGINIT 5 \"b\" \"a b\""));
  ASSERT_TRUE(sorted);
  QWidget owner;
  ui::BuildControls(&owner, *sorted);
  auto* combo = qobject_cast<QComboBox*>(ui::FindControl(&owner, 5));
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->itemText(0), QStringLiteral("a b"));
}

class ExportCommand : public ::testing::Test {
 protected:
  ui::ScriptedUi script;
  std::vector<ExportRow> rows = {
      ExportRow{u"AT<0D>", {0x0D, 0x0A, 'O', 'K', 0x0D, 0x0A}},
      ExportRow{u"ATI", {}},
  };
  void AnswerOptions(std::function<void(QDialog&)> choose) {
    script.onModal = [choose](QDialog& d) {
      if (choose) choose(d);
      Click(d, 1);
      return d.result();
    };
  }
  void AnswerFile(const fs::path& path) {
    script.onSaveFile = [path](const ui::SaveFileRequest&) {
      return std::optional<QString>(QString::fromStdString(path.string()));
    };
  }
};

TEST_F(ExportCommand, WritesTheChosenLayoutAndReportsSuccess) {
  const fs::path file = FreshDir("success") / "list.TXT";
  AnswerOptions([](QDialog& d) {
    Click(d, IDC_COMMAND_TEXT);
    Click(d, IDC_COMMAND_BINARY);
  });
  AnswerFile(file);
  EXPECT_TRUE(orvane::ExportResponseList(nullptr, rows));

  ASSERT_EQ(script.saveRequests.size(), 1u);
  EXPECT_EQ(script.saveRequests[0].title, QStringLiteral("Open File"));
  EXPECT_EQ(script.saveRequests[0].filters, QStringList{QStringLiteral("All (*.TXT)")});
  EXPECT_TRUE(script.saveRequests[0].defaultSuffix.isEmpty());
  ASSERT_EQ(script.modalDialogs.size(), 1u);
  EXPECT_EQ(script.modalDialogs[0], QStringLiteral("orvane::ExportOptionsDialog"));

  ASSERT_EQ(script.messages.size(), 1u);
  EXPECT_EQ(script.messages[0].text, QStringLiteral("Response list exported successfully."));
  EXPECT_EQ(script.messages[0].form, ui::MessageForm::OkInfo);

  orvane::ExportOptions expected;
  expected.exportCommandText = expected.exportCommandBinary = true;
  EXPECT_EQ(ReadFile(file), orvane::FormatResponseList(rows, expected));
}

TEST_F(ExportCommand, CancellingEitherDialogWritesAndShowsNothing) {
  const fs::path dir = FreshDir("cancel");
  // Options cancelled: the save-file dialog is never asked.
  script.onModal = [](QDialog& d) {
    Click(d, 2);
    return d.result();
  };
  AnswerFile(dir / "never.TXT");
  EXPECT_FALSE(orvane::ExportResponseList(nullptr, rows));
  EXPECT_TRUE(script.saveRequests.empty());

  // File dialog cancelled.
  AnswerOptions(nullptr);
  script.onSaveFile = nullptr;
  EXPECT_FALSE(orvane::ExportResponseList(nullptr, rows));
  EXPECT_EQ(script.saveRequests.size(), 1u);
  EXPECT_TRUE(script.messages.empty());
  EXPECT_TRUE(fs::is_empty(dir));
}

TEST_F(ExportCommand, ReplacesAnExistingFileAndExportsAnEmptyList) {
  const fs::path file = FreshDir("replace") / "old.TXT";
  std::ofstream(file) << std::string(5000, 'x');
  AnswerOptions(nullptr);
  AnswerFile(file);
  EXPECT_TRUE(orvane::ExportResponseList(nullptr, {}));
  EXPECT_EQ(ReadFile(file), orvane::kExportHeading);
  EXPECT_EQ(script.MessageTexts(), QStringList{"Response list exported successfully."});
}

TEST_F(ExportCommand, UnwritableFileIsReportedAsFailureAndTheOldFileKept) {
  const fs::path dir = FreshDir("failure");
  AnswerOptions(nullptr);
  AnswerFile(dir / "vanished" / "list.TXT");
  EXPECT_FALSE(orvane::ExportResponseList(nullptr, rows));
  ASSERT_EQ(script.messages.size(), 1u);
  EXPECT_EQ(script.messages[0].text, QStringLiteral("Response list export failed."));
  EXPECT_EQ(script.messages[0].form, ui::MessageForm::Ok);

  // A folder's name chosen as the file: failure, the folder and its content untouched.
  std::ofstream(dir / "inside.TXT") << "kept";
  AnswerFile(dir);
  EXPECT_FALSE(orvane::ExportResponseList(nullptr, rows));
  EXPECT_EQ(script.MessageTexts().last(), QStringLiteral("Response list export failed."));
  EXPECT_EQ(ReadFile(dir / "inside.TXT"), "kept");
}
