#include "export/ResponseListWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <ostream>

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
    while (length > 0) {
      const ssize_t n = ::write(fd_, data, length);
      if (n < 0) {
        if (errno == EINTR) continue;
        error = errno;
        return false;
      }
      if (n == 0) {  // no progress: treat as a full device rather than spin
        error = ENOSPC;
        return false;
      }
      data += n;
      length -= static_cast<size_t>(n);
    }
    return true;
  }
  int error = 0;

 private:
  int fd_;
};

// Follows a chain of symbolic links from |path| to the name the file really has, so
// the new file is put beside the target and the link itself survives.
std::filesystem::path FinalName(const std::filesystem::path& path) {
  namespace fs = std::filesystem;
  fs::path p = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(p, ec)) || ec) break;
    const fs::path target = fs::read_symlink(p, ec);
    if (ec) break;
    p = target.is_absolute() ? target : p.parent_path() / target;
  }
  return p;
}

mode_t CurrentUmask() {
  // The process is single-threaded at the user-interface level; the mask is
  // restored at once.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

// A device or a pipe has no old content to keep and must not be replaced by a
// regular file: it is written directly. A pipe nobody reads fails at once instead
// of waiting.
bool WriteToSpecialFile(const char* path, const std::vector<ExportRow>& rows,
                        const ExportOptions& options, int* err) {
  const int fd = ::open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *err = errno;
    return false;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  FdSink sink(fd);
  const bool written = WriteResponseList(sink, rows, options);
  if (!written) *err = sink.error ? sink.error : EIO;
  if (::close(fd) != 0 && written) {
    *err = errno;
    return false;
  }
  return written;
}

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
  namespace fs = std::filesystem;
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

  const fs::path finalName = FinalName(fs::path(path));
  if (!finalName.has_filename()) {  // "dir/" names no file
    err = EISDIR;
    return false;
  }
  const fs::path directory = finalName.parent_path();

  // An existing file keeps its permission bits; a new one gets what creating it
  // directly would have given.
  mode_t mode = 0666 & ~CurrentUmask();
  struct stat existing {};
  if (::stat(finalName.c_str(), &existing) == 0) {
    if (S_ISDIR(existing.st_mode)) {
      err = EISDIR;
      return false;
    }
    if (!S_ISREG(existing.st_mode)) return WriteToSpecialFile(finalName.c_str(), rows, options, &err);
    // Replacing the file by renaming would get past its write protection: a file the
    // user may not write to is refused, as opening it for writing would be. Opening
    // without truncating leaves its content as it is.
    const int probe = ::open(finalName.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (probe < 0) {
      err = errno;
      return false;
    }
    ::close(probe);
    mode = existing.st_mode & 07777;
  }

  std::string temp =
      (directory / ("." + finalName.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    err = errno;
    return false;
  }
  auto fail = [&](int code) {
    err = code;
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  };

  FdSink sink(fd);
  if (!WriteResponseList(sink, rows, options)) return fail(sink.error ? sink.error : EIO);
  if (::fchmod(fd, mode) != 0) return fail(errno);
  if (::fsync(fd) != 0) return fail(errno);
  if (::close(fd) != 0) {
    err = errno;
    ::unlink(temp.c_str());
    return false;
  }
  if (::rename(temp.c_str(), finalName.c_str()) != 0) {
    err = errno;
    ::unlink(temp.c_str());
    return false;
  }
  // Make the rename itself durable; the file is complete whatever this returns.
  const int dirFd = ::open(directory.empty() ? "." : directory.c_str(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace orvane
