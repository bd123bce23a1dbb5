// Lines of a file, a pipe or a terminal, taken one at a time as they are read: memory
// stays bounded whatever the input's size, even when it never ends or a line never does.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace orvane::linewright {

class LineReader {
 public:
  // The longest line taken (without its line end); a longer one is refused.
  static constexpr size_t kMaxLineBytes = size_t{1} << 20;

  enum class Status {
    kLine,     // a line was taken
    kMore,     // no whole line is buffered: Fill() first
    kEnd,      // the input ended and every line has been taken
    kTooLong,  // line LineNumber() is longer than the bound; nothing more is taken
    kFailed,   // a read failed (Error()); nothing more is taken
  };

  // Reads |fd|, which stays the caller's.
  explicit LineReader(int fd, size_t maxLineBytes = kMaxLineBytes);
  // Opens |path| for reading (the reader closes it); null with the errno in |error|.
  static std::unique_ptr<LineReader> OpenFile(const std::string& path, int* error,
                                              size_t maxLineBytes = kMaxLineBytes);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Takes the next line into |line|, without its line feed and a carriage return before
  // it. A last line without a line feed is a line once the input has ended.
  Status Take(std::string* line);
  // Reads once what the descriptor has, waiting as it does (a caller that must not
  // block polls Descriptor() first). kMore after bytes, an interrupted read or one that
  // would block; kEnd at the end of the input; kFailed.
  Status Fill();

  int Descriptor() const { return fd_; }
  // The line taken or refused last, counted from 1.
  size_t LineNumber() const { return lineNumber_; }
  int Error() const { return error_; }

 private:
  int fd_;
  bool owned_ = false;
  size_t maxLineBytes_;
  std::string buffer_;
  size_t start_ = 0;    // where the next line begins in buffer_
  size_t scanned_ = 0;  // buffer_ holds no line feed from start_ to here
  size_t lineNumber_ = 0;
  bool ended_ = false;
  Status stuck_ = Status::kMore;  // kTooLong or kFailed once refused
  int error_ = 0;
};

}  // namespace orvane::linewright
