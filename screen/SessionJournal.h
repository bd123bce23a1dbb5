// The window's session journal: the session's events written to a file per session in the
// journal folder (on unless turned off, which the hive keeps), the folder shown on the
// desktop, a journal's rows shown in the response list, and the bytes of rows the list
// dropped to stay within its bound read back from the journal for the viewer and the
// export.
//
// Two observers of the session: Writer() goes before the response list's feed (a row's
// bytes are in the journal before the list shows it), the SessionJournal itself after it
// (so it knows the slot the feed gave each row).
#pragma once

#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/Journal.h"
#include "engine/ResponseStore.h"
#include "engine/Session.h"
#include "export/ResponseListWriter.h"
#include "preferences/JournalSettingsStore.h"

class QWidget;
class ResponseFeed;
namespace ui {
class CommandTable;
}

class SessionJournal : public orvane::SessionObserver {
 public:
  SessionJournal(orvane::reg::Hive& hive, orvane::Session& session, orvane::ResponseStore& store,
                 ResponseFeed& feed, QWidget* parent);
  ~SessionJournal() override;

  // The observer that writes the journal (while it is on).
  orvane::SessionObserver* Writer() { return &forward_; }

  // The folder the journals go to (DefaultJournalFolder() unless set).
  const std::string& Folder() const { return folder_; }
  void SetFolder(const std::string& folder);
  // The journal is written (Port > Session Journal). Turning it on while the line is
  // open starts a journal of the session from now; the choice is kept in the hive.
  bool Enabled() const { return writer_ != nullptr; }
  void SetEnabled(bool enabled);
  // The file being written (empty when none).
  std::string File() const { return writer_ ? writer_->File() : std::string(); }

  // Opens the journal folder on the desktop; says where it is when that fails.
  void ShowFolder();
  // Asks for a journal and shows its rows in the response list in place of the rows
  // there (asking first when there are any). Refused while the line is open.
  void OpenJournal();
  // Shows the rows of the journal at |path| in the list. False, with a message, when it
  // cannot be read.
  bool ShowJournal(const QString& path);

  // The row of |slot| with its bytes: read back from its journal when the list dropped
  // them (as it is when that fails).
  orvane::Row RowWithBytes(int slot) const;
  // The list's rows as the export writes them, dropped bytes read back.
  // |missingBytes|: the dropped reply bytes no journal gave back (written empty).
  std::vector<orvane::ExportRow> ExportRows(size_t* missingBytes = nullptr) const;
  // The list was cleared: no row has a place any more.
  void Forget() { places_.clear(); }

  void OnRowEnded(const orvane::Row& row) override;

  // The desktop's opener of a folder (tests replace it).
  std::function<bool(const QString& folder)> openFolder;

 private:
  // Passes every event on to the writer while there is one.
  class Forward : public orvane::SessionObserver {
   public:
    explicit Forward(SessionJournal& owner) : owner_(owner) {}
    void OnOpened(const std::string& device, uint32_t baud) override;
    void OnSettings(const orvane::LineSettings& settings) override;
    void OnWritten(std::span<const uint8_t> bytes, int64_t atUs) override;
    void OnRead(std::span<const uint8_t> bytes, int64_t atUs, orvane::RowKind kind) override;
    void OnRowBegun(const orvane::Row& row) override;
    void OnRowEnded(const orvane::Row& row) override;
    void OnHangup(int error) override;
    void OnClosed() override;

   private:
    SessionJournal& owner_;
  };
  struct Place {
    std::string file;
    uint64_t offset = 0;
  };

  void StartWriter();
  // |message| in a message box once the session's call has returned.
  void Say(const std::string& message);

  orvane::JournalSettingsStore settings_;
  orvane::Session& session_;
  orvane::ResponseStore& store_;
  ResponseFeed& feed_;
  QPointer<QWidget> parent_;
  std::string folder_;
  std::unique_ptr<orvane::JournalWriter> writer_;
  Forward forward_{*this};
  std::map<int, Place> places_;  // where the rows of the list are in journals, by slot
};

// Port > Session Journal (checked while on), Port > Journal Folder and Linewright > Open
// Journal... in |commands|; |refused| says when a command must not run (a reply is read).
void AddJournalCommands(ui::CommandTable& commands, SessionJournal& journal,
                        std::function<bool(int id)> refused);
