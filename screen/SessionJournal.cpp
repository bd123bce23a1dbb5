#include "screen/SessionJournal.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "resources/OrvanePortIds.h"
#include "screen/ExportResponseList.h"
#include "screen/ResponseFeed.h"
#include "ui/CommandTable.h"
#include "ui/Messages.h"

SessionJournal::SessionJournal(orvane::reg::Hive& hive, orvane::Session& session, orvane::ResponseStore& store,
                               ResponseFeed& feed, QWidget* parent)
    : settings_(hive),
      session_(session),
      store_(store),
      feed_(feed),
      parent_(parent),
      folder_(orvane::DefaultJournalFolder()) {
  openFolder = [](const QString& folder) { return QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
  if (settings_.Load().enabled) StartWriter();
}

SessionJournal::~SessionJournal() = default;

void SessionJournal::SetFolder(const std::string& folder) {
  folder_ = folder;
  if (writer_) StartWriter();
}

void SessionJournal::StartWriter() {
  orvane::JournalOptions options;
  // A trailing '/' makes it a folder even before it exists.
  options.path = folder_ + "/";
  options.capBytes = settings_.Load().capBytes;
  options.onProblem = [this](const std::string& message) { Say(message); };
  writer_ = std::make_unique<orvane::JournalWriter>(std::move(options));
  // A line already open is journaled from now on.
  if (session_.IsOpen()) {
    writer_->OnOpened(session_.Device(), session_.Baud());
    writer_->OnSettings(session_.Settings());
  }
}

void SessionJournal::SetEnabled(bool enabled) {
  if (!settings_.SaveEnabled(enabled))
    Say("The journal setting could not be saved in the settings hive.");
  if (enabled == Enabled()) return;
  if (enabled) StartWriter();
  else writer_.reset();  // the file is synced and closed
}

void SessionJournal::Say(const std::string& message) {
  // Told from within the session's call: the box waits until that has returned.
  QTimer::singleShot(0, parent_.data(), [parent = parent_, text = QString::fromStdString(message)] {
    ui::ShowMessage(parent.data(), text);
  });
}

void SessionJournal::ShowFolder() {
  const QString folder = QString::fromStdString(folder_);
  QDir().mkpath(folder);
  if (openFolder && openFolder(folder)) return;
  ui::ShowMessage(parent_.data(), QStringLiteral("The session journals are in %1").arg(folder));
}

void SessionJournal::OpenJournal() {
  if (session_.IsOpen()) {
    ui::ShowMessage(parent_.data(), QStringLiteral("Close the line before opening a journal."));
    return;
  }
  ui::SaveFileRequest request;
  request.title = QStringLiteral("Open Journal");
  request.filters = QStringList{QStringLiteral("Session journals (*.journal)"), QStringLiteral("All files (*)")};
  const std::optional<QString> path = ui::AskOpenFileName(parent_.data(), request);
  if (!path) return;
  if (store_.Count() != 0 &&
      !ui::Confirm(parent_.data(), QStringLiteral("The journal's rows take the place of the rows in the "
                                                  "response list. Go on?")))
    return;
  ShowJournal(*path);
}

bool SessionJournal::ShowJournal(const QString& path) {
  const std::string file = path.toStdString();
  if (access(file.c_str(), R_OK) != 0) {
    const int why = errno;
    ui::ShowMessage(parent_.data(), QStringLiteral("The journal cannot be shown: cannot read %1: %2")
                                        .arg(path, QString::fromLocal8Bit(std::strerror(why))));
    return false;
  }
  feed_.Clear();
  places_.clear();
  std::string error;
  size_t bad = 0;
  const bool read = orvane::ForEachJournalRow(file, [&](orvane::JournalRow row) {
    places_[store_.Count()] = {file, row.offset};
    feed_.Add(std::move(row.row));
  }, &error, &bad);
  if (!read)
    ui::ShowMessage(parent_.data(), QStringLiteral("The journal could not be read to its end: %1")
                                        .arg(QString::fromStdString(error)));
  if (bad != 0)
    ui::ShowMessage(parent_.data(), QStringLiteral("%1 of the lines of %2 were not journal lines and were skipped.")
                                        .arg(bad)
                                        .arg(QFileInfo(path).fileName()));
  return true;
}

void SessionJournal::OnRowEnded(const orvane::Row&) {
  // The feed went first: the row is the store's last.
  if (writer_ && !writer_->File().empty() && store_.Count() > 0)
    places_[store_.Count() - 1] = {writer_->File(), writer_->LastRowOffset()};
}

orvane::Row SessionJournal::RowWithBytes(int slot) const {
  orvane::Row row = store_.At(slot);
  const auto place = places_.find(slot);
  if (!store_.Dropped(slot) || place == places_.end()) return row;
  orvane::Row read;
  std::string error;
  if (orvane::ReadJournalRowAt(place->second.file, place->second.offset, &read, &error) &&
      read.reply.size() == row.replyLength)
    row.reply = std::move(read.reply);
  return row;
}

std::vector<orvane::ExportRow> SessionJournal::ExportRows(size_t* missingBytes) const {
  std::vector<orvane::ExportRow> rows = orvane::ExportRowsOf(store_);
  size_t missing = 0;
  for (size_t slot = 0; slot < rows.size(); ++slot) {
    size_t dropped = 0;
    if (!store_.Dropped(static_cast<int>(slot), &dropped)) continue;
    orvane::ExportRow& row = rows[slot];
    if (places_.count(static_cast<int>(slot))) row.responseBytes = RowWithBytes(static_cast<int>(slot)).reply;
    if (row.responseBytes.size() == dropped) {
      // Read back whole: the row ends as it did, without the note that its bytes were dropped.
      row.end.erase(std::min(row.end.size(), row.end.rfind(", reply dropped (")));
    } else {
      missing += dropped;
    }
  }
  if (missingBytes) *missingBytes = missing;
  return rows;
}

void SessionJournal::Forward::OnOpened(const std::string& device, uint32_t baud) {
  if (owner_.writer_) owner_.writer_->OnOpened(device, baud);
}
void SessionJournal::Forward::OnSettings(const orvane::LineSettings& settings) {
  if (owner_.writer_) owner_.writer_->OnSettings(settings);
}
void SessionJournal::Forward::OnWritten(std::span<const uint8_t> bytes, int64_t atUs) {
  if (owner_.writer_) owner_.writer_->OnWritten(bytes, atUs);
}
void SessionJournal::Forward::OnRead(std::span<const uint8_t> bytes, int64_t atUs, orvane::RowKind kind) {
  if (owner_.writer_) owner_.writer_->OnRead(bytes, atUs, kind);
}
void SessionJournal::Forward::OnRowBegun(const orvane::Row& row) {
  if (owner_.writer_) owner_.writer_->OnRowBegun(row);
}
void SessionJournal::Forward::OnRowEnded(const orvane::Row& row) {
  if (owner_.writer_) owner_.writer_->OnRowEnded(row);
}
void SessionJournal::Forward::OnHangup(int error) {
  if (owner_.writer_) owner_.writer_->OnHangup(error);
}
void SessionJournal::Forward::OnClosed() {
  if (owner_.writer_) owner_.writer_->OnClosed();
}

void AddJournalCommands(ui::CommandTable& commands, SessionJournal& journal, std::function<bool(int id)> refused) {
  using namespace orvane::port_ids;
  const auto guarded = [&journal, refused](int id, void (SessionJournal::*handler)()) {
    return [&journal, refused, id, handler] {
      if (!refused(id)) (journal.*handler)();
    };
  };
  commands.On(ID_SESSION_JOURNAL, [&journal] { journal.SetEnabled(!journal.Enabled()); });
  commands.OnQuery(ID_SESSION_JOURNAL, [&journal](ui::CommandState& s) { s.SetCheck(journal.Enabled()); });
  commands.On(ID_JOURNAL_FOLDER, guarded(ID_JOURNAL_FOLDER, &SessionJournal::ShowFolder));
  commands.On(ID_OPEN_JOURNAL, guarded(ID_OPEN_JOURNAL, &SessionJournal::OpenJournal));
}
