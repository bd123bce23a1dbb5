#include "tools/linewright/LineReader.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace orvane::linewright {

LineReader::LineReader(int fd, size_t maxLineBytes) : fd_(fd), maxLineBytes_(maxLineBytes) {}

std::unique_ptr<LineReader> LineReader::OpenFile(const std::string& path, int* error,
                                                 size_t maxLineBytes) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return nullptr;
  }
  auto reader = std::make_unique<LineReader>(fd, maxLineBytes);
  reader->owned_ = true;
  return reader;
}

LineReader::~LineReader() {
  if (owned_) close(fd_);
}

LineReader::Status LineReader::Take(std::string* line) {
  if (stuck_ != Status::kMore) return stuck_;
  size_t end = buffer_.find('\n', scanned_);
  if (end == std::string::npos) {
    scanned_ = buffer_.size();
    const size_t pending = buffer_.size() - start_;
    // One byte of slack: a carriage return the line feed still to come drops.
    if (pending > maxLineBytes_ + 1) {
      ++lineNumber_;
      return stuck_ = Status::kTooLong;
    }
    if (!ended_) return Status::kMore;
    if (pending == 0) return Status::kEnd;
    end = buffer_.size();  // the last line, without a line feed
  }
  line->assign(buffer_, start_, end - start_);
  if (!line->empty() && line->back() == '\r') line->pop_back();
  ++lineNumber_;
  if (line->size() > maxLineBytes_) return stuck_ = Status::kTooLong;
  start_ = scanned_ = end < buffer_.size() ? end + 1 : end;
  return Status::kLine;
}

LineReader::Status LineReader::Fill() {
  if (stuck_ != Status::kMore) return stuck_;
  if (ended_) return Status::kEnd;
  // Lines taken are dropped: what stays is at most one line not yet ended.
  buffer_.erase(0, start_);
  scanned_ -= start_;
  start_ = 0;
  char chunk[65536];
  const ssize_t n = read(fd_, chunk, sizeof chunk);
  if (n > 0) {
    buffer_.append(chunk, static_cast<size_t>(n));
    return Status::kMore;
  }
  if (n == 0) {
    ended_ = true;
    return Status::kEnd;
  }
  if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) return Status::kMore;
  error_ = errno;
  return stuck_ = Status::kFailed;
}

}  // namespace orvane::linewright
