#include "export/ResponseListWriter.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <ostream>

#include "engine/Exchange.h"
#include "notes/ReplyNotes.h"
#include "platform/SafeWrite.h"

namespace orvane {

const char kExportHeading[] =
    "Orvane Port Linewright\n"
    "\n"
    "Orvane Systems\n"
    "https://www.orvane.example/linewright";

namespace {

constexpr std::array<char, 256> MakeCharTable() {
  std::array<char, 256> table{};
  for (int b = 0; b < 256; ++b) {
    const bool itself = (b >= 0x20 && b <= 0x7E) || b >= 0xA0;
    table[b] = itself ? static_cast<char>(b) : '.';
  }
  return table;
}
constexpr std::array<char, 256> kCharTable = MakeCharTable();

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Collects the formatted bytes and hands them to the sink in large blocks. After the
// first failed write nothing more is passed on.
class Buffer {
 public:
  explicit Buffer(ExportSink& sink) : sink_(sink) { data_.reserve(kBlock + kSlack); }

  void Put(char c) { data_.push_back(c); }
  void Put(const char* text, size_t length) { data_.append(text, length); }
  // Call at points where a line may end; keeps the buffer near one block.
  void MaybeFlush() {
    if (data_.size() >= kBlock) Flush();
  }
  bool Flush() {
    if (ok_ && !data_.empty()) ok_ = sink_.Write(data_.data(), data_.size());
    data_.clear();
    return ok_;
  }
  bool Ok() const { return ok_; }

 private:
  static constexpr size_t kBlock = 64 * 1024;
  static constexpr size_t kSlack = 8 * 1024;
  ExportSink& sink_;
  std::string data_;
  bool ok_ = true;
};

enum class Layout { Text, Hex, HexText };

// One section: its own line feed, then each line of up to |perLine| bytes as a line
// feed followed by the line's content. A line is composed in |line| and appended
// whole.
void WriteSection(Buffer& out, const uint8_t* bytes, size_t length, Layout layout,
                  size_t perLine, std::string& line) {
  out.Put('\n');
  for (size_t start = 0; start < length && out.Ok(); start += perLine) {
    const size_t count = std::min(perLine, length - start);
    const uint8_t* in = bytes + start;
    line.resize(1 + 3 * perLine + 1 + perLine);
    char* p = line.data();
    *p++ = '\n';
    if (layout != Layout::Text) {
      for (size_t i = 0; i < count; ++i) {
        *p++ = kHexDigits[in[i] >> 4];
        *p++ = kHexDigits[in[i] & 0x0F];
        *p++ = ' ';
      }
    }
    if (layout == Layout::HexText) {
      for (size_t i = count; i < perLine; ++i) {
        *p++ = ' ';
        *p++ = ' ';
        *p++ = ' ';
      }
      *p++ = '\t';
    }
    if (layout != Layout::Hex) {
      for (size_t i = 0; i < count; ++i) *p++ = kCharTable[in[i]];
    }
    out.Put(line.data(), static_cast<size_t>(p - line.data()));
    out.MaybeFlush();
  }
}

void WriteSections(Buffer& out, const Bytes& bytes, bool text, bool hex, bool hexText,
                   size_t perLine, std::string& line) {
  if (text) WriteSection(out, bytes.data(), bytes.size(), Layout::Text, perLine, line);
  if (hex) WriteSection(out, bytes.data(), bytes.size(), Layout::Hex, perLine, line);
  if (hexText) WriteSection(out, bytes.data(), bytes.size(), Layout::HexText, perLine, line);
}

// The row's notes as lines of the device's code page ('?' for a character it lacks).
void WriteNotes(Buffer& out, const ExportRow& row) {
  const Bytes command = DecodeBinaryText(row.commandText);
  const std::vector<std::string> notes = notes::ReplyNotes(
      std::string_view(reinterpret_cast<const char*>(command.data()), command.size()),
      row.responseBytes.data(), row.responseBytes.size(), row.kind);
  if (notes.empty()) return;
  static constexpr char kNotes[] = "\n\nNotes:\n";
  out.Put(kNotes, sizeof(kNotes) - 1);
  for (const std::string& note : notes) {
    out.Put('\n');
    const std::u16string text = Utf8ToUtf16(note);
    for (size_t i = 0; i < text.size(); ++i) {
      // A character beyond the first 65536 is one '?', not two.
      if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size()) ++i;
      out.Put(static_cast<char>(CharToDeviceByte(text[i])));
    }
  }
}

class StreamSink : public ExportSink {
 public:
  explicit StreamSink(std::ostream& out) : out_(out) {}
  bool Write(const char* data, size_t length) override {
    out_.write(data, static_cast<std::streamsize>(length));
    return static_cast<bool>(out_);
  }

 private:
  std::ostream& out_;
};

class StringSink : public ExportSink {
 public:
  bool Write(const char* data, size_t length) override {
    text.append(data, length);
    return true;
  }
  std::string text;
};

class FdSink : public ExportSink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  bool Write(const char* data, size_t length) override {
    error = files::WriteAll(fd_, data, length);
    return error == 0;
  }
  int error = 0;

 private:
  int fd_;
};

}  // namespace

char ExportChar(uint8_t byte) { return kCharTable[byte]; }

bool WriteResponseList(ExportSink& sink, const std::vector<ExportRow>& rows,
                       const ExportOptions& options) {
  if (options.bytesPerLine < 1 || options.bytesPerLine > kMaxBytesPerLine) return false;
  const size_t perLine = static_cast<size_t>(options.bytesPerLine);
  Buffer out(sink);
  std::string line;  // one dump line at a time
  out.Put(kExportHeading, sizeof(kExportHeading) - 1);
  static constexpr char kCommand[] = "\n\nCommand:\n";
  static constexpr char kResponse[] = "\n\nResponse:\n";
  for (const ExportRow& row : rows) {
    if (!out.Ok()) break;
    if (options.exportTime) {
      const std::string time = "\n\nTime: " + FormatLocalTimeIso(row.sentAtMs) + ", " +
                               std::to_string(row.elapsedMs) + " ms, " + row.end;
      out.Put(time.data(), time.size());
    }
    out.Put(kCommand, sizeof(kCommand) - 1);
    {
      // The decoded command lives for this row only.
      const Bytes command = DecodeBinaryText(row.commandText);
      WriteSections(out, command, options.exportCommandText, options.exportCommandBinary,
                    options.exportCommandBinaryText, perLine, line);
    }
    out.Put(kResponse, sizeof(kResponse) - 1);
    WriteSections(out, row.responseBytes, options.exportResponseText,
                  options.exportResponseBinary, options.exportResponseBinaryText, perLine, line);
    if (options.exportNotes) WriteNotes(out, row);
    out.MaybeFlush();
  }
  return out.Flush();
}

bool WriteResponseList(std::ostream& out, const std::vector<ExportRow>& rows,
                       const ExportOptions& options) {
  StreamSink sink(out);
  if (!WriteResponseList(sink, rows, options)) return false;
  out.flush();
  return static_cast<bool>(out);
}

bool WriteResponseListToFd(int fd, const std::vector<ExportRow>& rows,
                           const ExportOptions& options) {
  FdSink sink(fd);
  return WriteResponseList(sink, rows, options);
}

std::string FormatResponseList(const std::vector<ExportRow>& rows, const ExportOptions& options) {
  StringSink sink;
  WriteResponseList(sink, rows, options);
  return std::move(sink.text);
}

bool ExportResponseListToFile(const std::string& path, const std::vector<ExportRow>& rows,
                              const ExportOptions& options, int* error) {
  int scratch = 0;
  int& err = error ? *error : scratch;
  err = 0;
  if (path.empty()) {
    err = ENOENT;
    return false;
  }
  if (options.bytesPerLine < 1 || options.bytesPerLine > kMaxBytesPerLine) {
    err = EINVAL;
    return false;
  }
  err = files::WriteFileSafely(path, [&](int fd) {
    FdSink sink(fd);
    if (WriteResponseList(sink, rows, options)) return 0;
    return sink.error ? sink.error : EIO;
  });
  return err == 0;
}

}  // namespace orvane
