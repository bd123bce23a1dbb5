// The response list as a text file: a four-line heading, then for every exchange its
// command and its response in the chosen layouts (text, hex, hex and text), N bytes
// to a line, and on request its time and its notes. 8-bit bytes, single line feeds, each dump line opened by its line feed.
// No Qt here: the screen hands over plain rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "engine/BinaryTextCodec.h"
#include "engine/Row.h"

namespace orvane {

// How the file is laid out; the defaults are the options dialog's opening values.
struct ExportOptions {
  int bytesPerLine = 8;  // 8, 16 or 32 from the dialog; any value 1..kMaxBytesPerLine is written
  bool exportCommandText = false;
  bool exportCommandBinary = false;
  bool exportCommandBinaryText = true;
  bool exportResponseText = false;
  bool exportResponseBinary = false;
  bool exportResponseBinaryText = true;
  // Each row's command section is preceded by a line with its time (see ExportRow).
  bool exportTime = false;
  // Each row's response section is followed by its notes (see notes/ReplyNotes.h), in
  // the device's code page, when it has any.
  bool exportNotes = false;
};

constexpr int kMaxBytesPerLine = 4096;

// One exchange of the response list. Rows of unsolicited data have no command.
struct ExportRow {
  std::u16string commandText;  // binary text, exactly as sent
  Bytes responseBytes;         // the reply's bytes, any values, possibly none
  // Written only with ExportOptions::exportTime, as the line
  // "Time: 2026-12-07T15:03:36.123+01:00, 34 ms, token" before the command section.
  int64_t sentAtMs = 0;        // wall clock, ms since 1970 (unsolicited: the first byte)
  uint32_t elapsedMs = 0;      // ms to the end
  std::string end{};           // how the exchange ended, as shown
  RowKind kind = RowKind::kExchange;  // for the notes
};

// The heading's four lines, joined by line feeds, without a final line feed.
extern const char kExportHeading[];

// The character a byte is written as in the text layouts: itself for 0x20..0x7E and
// 0xA0..0xFF, a full stop for every other byte.
char ExportChar(uint8_t byte);


// Where the formatted bytes go. Write returns false when the bytes could not be
// written; the writer then stops and reports failure.
class ExportSink {
 public:
  virtual ~ExportSink() = default;
  virtual bool Write(const char* data, size_t length) = 0;
};

// Writes the whole file to |sink| in one pass. False when the options are unusable
// (bytes per line outside 1..kMaxBytesPerLine) or the sink failed.
bool WriteResponseList(ExportSink& sink, const std::vector<ExportRow>& rows,
                       const ExportOptions& options);
// The same into a stream; false when the stream went bad.
bool WriteResponseList(std::ostream& out, const std::vector<ExportRow>& rows,
                       const ExportOptions& options);
// The same to an open file descriptor (partial writes and interruptions are resumed);
// false on any write error.
bool WriteResponseListToFd(int fd, const std::vector<ExportRow>& rows,
                           const ExportOptions& options);
// The whole file as one string.
std::string FormatResponseList(const std::vector<ExportRow>& rows, const ExportOptions& options);

// Writes the file at |path| safely: the bytes go to a new file next to it, which is
// flushed to the disk and then renamed over |path|, so |path| holds either its old
// content or the whole new file, never a part. An existing file is replaced without
// asking and keeps its permission bits, but one the user may not write to is refused
// and kept; a path that is a symbolic link replaces the file the link points to (a loop
// of links is refused with ELOOP). A device or a named pipe is written to directly,
// never replaced. A file that may be written but not replaced (in a folder the user may
// not write to) is written in place. On failure no temporary file is left, and |error|
// (when given) receives the errno value.
bool ExportResponseListToFile(const std::string& path, const std::vector<ExportRow>& rows,
                              const ExportOptions& options, int* error = nullptr);

}  // namespace orvane
