// The session journal: every event of a session written to a text file as it happens,
// and read back into the same events and rows. No Qt.
//
// A journal is UTF-8 text, one event a line, "TIME MARK TEXT":
//
//   # Orvane Port Linewright session journal 1
//   2026-12-08T03:05:06.120000+01:00 open 115200 /dev/ttyUSB0
//   2026-12-08T03:05:06.120004+01:00 settings 8N1 flow=none dtr=on rts=on
//   2026-12-08T03:05:07.001000+01:00 [ exchange
//   2026-12-08T03:05:07.001000+01:00 cmd ATI
//   2026-12-08T03:05:07.001000+01:00 sent ATI<0D>
//   2026-12-08T03:05:07.001210+01:00 > ATI<0D>
//   2026-12-08T03:05:07.013455+01:00 < ATI<0D><0D><0A>Orvane Modem<0D><0A>
//   2026-12-08T03:05:07.016002+01:00 ] token bytes=20 first=12 elapsed=15 at=1796695507001 error=0
//   2026-12-08T03:05:09.500000+01:00 hangup 5
//   2026-12-08T03:05:09.500100+01:00 close
//
// TIME is local ISO 8601 time with microseconds and the offset from UTC. The marks:
//   open BAUD DEVICE        the line was opened (DEVICE in binary text, to the line's end)
//   settings 8N1 flow=F dtr=on|off rts=on|off   the line's settings (after open, and when
//                           they change)
//   [ exchange|unsolicited  a row began; its time is the row's send (first byte) time
//   cmd TEXT, sent TEXT     an exchange's command as typed and as sent (after its "[")
//   > BYTES, < BYTES        a chunk written, a chunk read; BYTES in binary text
//   >+ BYTES, <+ BYTES      the same chunk continued: a chunk is split every 128 bytes
//   ] END bytes=N first=MS|none elapsed=MS at=MS error=E   a row ended: how (token,
//                           silence, hangup, stopped, limit, write-failed, command,
//                           closed), its length, ms to the first byte and to the end, its
//                           send time in ms since 1970 and the errno of a failure
//   hangup ERRNO            the device went away (or a read failed)
//   close                   the line was closed
// Lines starting with '#' are comments; unknown marks are skipped. cmd and sent TEXT is
// the text itself with '\' written "\\" and control characters "\xHH".
//
// The writer writes each event with one write(2) as it happens, so nothing waits in the
// program and a killed program loses nothing it has shown; the file is synced at close.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/LineSettings.h"
#include "engine/Session.h"

namespace orvane {

// The folder cap when none is set: 1 GiB.
inline constexpr uint64_t kDefaultJournalCapBytes = uint64_t{1} << 30;
// The file name ending of a journal in a folder.
inline constexpr const char kJournalSuffix[] = ".journal";

// The journal folder of a user: $XDG_STATE_HOME/orvane-port-linewright/journal
// (~/.local/state/... when XDG_STATE_HOME is unset or not absolute).
std::string DefaultJournalFolder();

// "TIME" of a journal line for |us| microseconds since 1970; the parse back (false when
// |text| is not such a time).
std::string FormatJournalTime(int64_t us);
bool ParseJournalTime(std::string_view text, int64_t* us);

struct JournalOptions {
  // A folder (an existing one, or a path ending in '/') gets one file per session, named
  // by start time and port ("20261208-030506-ttyUSB0.journal"); any other path is one
  // file that every session is appended to.
  std::string path;
  // A folder's journals are kept to this many bytes together, the oldest (least recently
  // written) removed first; a session that alone outgrows it stops being journaled.
  uint64_t capBytes = kDefaultJournalCapBytes;
  // A problem (folder or file not writable, disk full, cap reached) for a person. Said
  // once until the journal is written again; the session goes on without its journal
  // until its next open.
  std::function<void(const std::string& message)> onProblem;
};

class JournalWriter : public SessionObserver {
 public:
  explicit JournalWriter(JournalOptions options);
  ~JournalWriter() override;  // a file still open is synced and closed
  JournalWriter(const JournalWriter&) = delete;
  JournalWriter& operator=(const JournalWriter&) = delete;

  void OnOpened(const std::string& device, uint32_t baud) override;
  void OnSettings(const LineSettings& settings) override;
  void OnWritten(std::span<const uint8_t> bytes, int64_t atUs) override;
  void OnRead(std::span<const uint8_t> bytes, int64_t atUs, RowKind kind) override;
  void OnRowBegun(const Row& row) override;
  void OnRowEnded(const Row& row) override;
  void OnHangup(int error) override;
  void OnClosed() override;

  // The file of the session being written (empty when none is).
  const std::string& File() const { return file_; }
  // Where in File() the last row begun starts: read it back with ReadJournalRowAt.
  uint64_t LastRowOffset() const { return rowOffset_; }
  // The last problem said (empty when none).
  const std::string& Problem() const { return problem_; }

 private:
  bool OpenFile(const std::string& device, int64_t atUs);
  void Chunk(char mark, std::span<const uint8_t> bytes, int64_t atUs);
  void Line(int64_t atUs, std::string_view mark, std::string_view text);
  void Flush();
  void Fail(const std::string& message);
  void KeepWithinCap();
  void CloseFile(bool sync);

  JournalOptions options_;
  bool folder_ = false;
  int fd_ = -1;
  std::string file_;
  uint64_t size_ = 0;           // bytes in file_
  uint64_t sinceCapCheck_ = 0;  // bytes written since the folder was last measured
  uint64_t rowOffset_ = 0;
  bool rowOpen_ = false;        // a row was begun and has not ended
  bool reported_ = false;       // a problem was said and nothing written since
  std::string problem_;
  std::string out_;             // the event being written
};

// Reads a journal back: tells an observer its events in order, as the session told them
// (OnRowEnded with the row's bytes; OnRowBegun of an exchange with its command).
class JournalReader {
 public:
  explicit JournalReader(SessionObserver& observer) : observer_(observer) {}

  // Reads |path| from byte |offset| (a line's start) to its end, or only until a row has
  // ended when |oneRow|. False with a message when the file cannot be read; lines that
  // are not journal lines are skipped and counted (BadLines, FirstBadLine).
  bool ReadFile(const std::string& path, std::string* error, uint64_t offset = 0, bool oneRow = false);
  // One line without its line feed, at byte |offset| of its file.
  void ReadLine(std::string_view line, uint64_t offset = 0);
  // Where the row that ended last began (the offset of its "[" line).
  uint64_t LastRowOffset() const { return lastRowOffset_; }
  // The row begun and not ended (the file ended within it), with its bytes so far and
  // end kNone; where it began. False when no row is open.
  bool Unfinished(Row* row) const;
  uint64_t UnfinishedOffset() const { return rowOffset_; }
  size_t BadLines() const { return badLines_; }
  // The 1-based number of the first bad line read by ReadFile (0: none).
  size_t FirstBadLine() const { return firstBad_; }

 private:
  void BeginPending();
  void EndRow(std::string_view text, int64_t atUs);

  SessionObserver& observer_;
  Row row_;                 // the row open
  bool inRow_ = false;
  bool beginPending_ = false;  // an exchange's "[" was read; its cmd and sent may follow
  uint64_t rowOffset_ = 0;
  uint64_t lastRowOffset_ = 0;
  Bytes read_;              // bytes read in the open row (and any beyond a cut row)
  bool rowEnded_ = false;
  size_t badLines_ = 0;
  size_t firstBad_ = 0;
  size_t lineNumber_ = 0;
};

// A row read from a journal, with where it began in the file.
struct JournalRow {
  Row row;
  uint64_t offset = 0;
};

// Every row of the journal at |path| in order, with its bytes, handed to |take| as it is
// read (so a long journal is never held whole); a row cut short by the file's end comes
// last, with end kNone. False with a message when it cannot be read; |badLines| (when
// given) counts the lines that were not journal lines.
bool ForEachJournalRow(const std::string& path, const std::function<void(JournalRow row)>& take,
                       std::string* error, size_t* badLines = nullptr);
// The same rows in a vector: every row of the journal at |path|, with its bytes (a row cut short by the file's end
// is there with end kNone). False with a message when it cannot be read; |badLines| (when
// given) counts the lines that were not journal lines.
bool ReadJournalRows(const std::string& path, std::vector<JournalRow>* rows, std::string* error,
                     size_t* badLines = nullptr);
// The row that begins at |offset| of the journal at |path|, with its bytes.
bool ReadJournalRowAt(const std::string& path, uint64_t offset, Row* row, std::string* error);

}  // namespace orvane
