#include "engine/Journal.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/Exchange.h"

namespace orvane {
namespace {

constexpr char kHeader[] = "# Orvane Port Linewright session journal 1\n";
// A chunk is split after this many bytes.
constexpr size_t kBytesPerLine = 128;

std::string ErrnoText(int error) { return std::strerror(error); }

// Text as one line: '\' doubled, control characters as \xHH.
void AppendEscaped(std::string_view text, std::string* out) {
  for (const char c : text) {
    const auto b = static_cast<uint8_t>(c);
    if (c == '\\') {
      out->append("\\\\");
    } else if (b < 0x20 || b == 0x7F) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02X", b);
      out->append(escape);
    } else {
      out->push_back(c);
    }
  }
}

std::string Unescaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      if (text[i + 1] == '\\') {
        out.push_back('\\');
        ++i;
        continue;
      }
      if (text[i + 1] == 'x' && i + 3 < text.size() && IsHexDigit(static_cast<int8_t>(text[i + 2])) &&
          IsHexDigit(static_cast<int8_t>(text[i + 3]))) {
        out.push_back(static_cast<char>(HexPairValue(text[i + 2], text[i + 3])));
        i += 3;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

std::string EscapedUtf16(const std::u16string& text) {
  std::string out;
  AppendEscaped(Utf16ToUtf8(text), &out);
  return out;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool Digits(std::string_view text, size_t at, size_t count, int64_t* value) {
  if (at + count > text.size()) return false;
  int64_t v = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  *value = v;
  return true;
}

template <typename Number>
bool ParseNumber(std::string_view text, Number* value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return ec == std::errc() && end == text.data() + text.size();
}

// The next blank-separated word of |text|, taken off it.
std::string_view NextWord(std::string_view* text) {
  const size_t space = text->find(' ');
  const std::string_view word = text->substr(0, space);
  *text = space == std::string_view::npos ? std::string_view() : text->substr(space + 1);
  return word;
}

// The names of a row's ends in a journal: one word each.
constexpr std::pair<ReplyEnd, const char*> kEndNames[] = {
    {ReplyEnd::kNone, "none"},       {ReplyEnd::kToken, "token"},     {ReplyEnd::kSilence, "silence"},
    {ReplyEnd::kHangup, "hangup"},   {ReplyEnd::kStopped, "stopped"}, {ReplyEnd::kLimit, "limit"},
    {ReplyEnd::kWriteFailed, "write-failed"}, {ReplyEnd::kCommand, "command"},
    {ReplyEnd::kClosed, "closed"}};

const char* EndName(ReplyEnd end) {
  for (const auto& [value, name] : kEndNames)
    if (value == end) return name;
  return "none";
}

bool ParseEnd(std::string_view name, ReplyEnd* end) {
  for (const auto& [value, text] : kEndNames) {
    if (name == text) {
      *end = value;
      return true;
    }
  }
  return false;
}

// A port's name as part of a file name: letters, digits, '.', '-' and '_' only.
std::string FilePart(const std::string& device) {
  std::string name = device.rfind("/dev/", 0) == 0 ? device.substr(5) : device;
  for (char& c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '_';
    if (!plain) c = '_';
  }
  if (name.size() > 64) name.resize(64);
  return name.empty() ? "line" : name;
}

bool MakeFolders(const std::string& path, int* error) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (!part.empty() && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = errno;
      return false;
    }
    if (slash == std::string::npos) return true;
  }
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string DefaultJournalFolder() {
  std::string base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
    base = state;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/') {
      const passwd* user = getpwuid(getuid());
      home = user ? user->pw_dir : "/tmp";
    }
    base = std::string(home) + "/.local/state";
  }
  return base + "/orvane-port-linewright/journal";
}

std::string FormatJournalTime(int64_t us) { return FormatLocalTimeIso(us, 6); }

bool ParseJournalTime(std::string_view text, int64_t* us) {
  // 2026-12-08T03:05:06.123456+01:00
  int64_t y, mo, d, h, mi, s, f, oh, om;
  if (text.size() != 32 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':' || text[19] != '.' || (text[26] != '+' && text[26] != '-') || text[29] != ':')
    return false;
  if (!Digits(text, 0, 4, &y) || !Digits(text, 5, 2, &mo) || !Digits(text, 8, 2, &d) ||
      !Digits(text, 11, 2, &h) || !Digits(text, 14, 2, &mi) || !Digits(text, 17, 2, &s) ||
      !Digits(text, 20, 6, &f) || !Digits(text, 27, 2, &oh) || !Digits(text, 30, 2, &om))
    return false;
  if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 60 || om > 59) return false;
  const int64_t offset = (oh * 60 + om) * 60 * (text[26] == '-' ? -1 : 1);
  const int64_t seconds = DaysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 +
                          h * 3600 + mi * 60 + s - offset;
  *us = seconds * 1000000 + f;
  return true;
}

// ---- writer ---------------------------------------------------------------------------

JournalWriter::JournalWriter(JournalOptions options) : options_(std::move(options)) {
  const std::string& path = options_.path;
  folder_ = !path.empty() && (path.back() == '/' || IsFolder(path));
  while (folder_ && options_.path.size() > 1 && options_.path.back() == '/') options_.path.pop_back();
}

JournalWriter::~JournalWriter() { CloseFile(true); }

void JournalWriter::Fail(const std::string& message) {
  problem_ = message;
  if (reported_) return;
  reported_ = true;
  if (options_.onProblem) options_.onProblem(message);
}

bool JournalWriter::OpenFile(const std::string& device, int64_t atUs) {
  std::string path = options_.path;
  int error = 0;
  if (folder_) {
    if (!MakeFolders(options_.path, &error)) {
      Fail("The session journal cannot be written: " + options_.path + ": " + ErrnoText(error) +
           ". The session goes on without it.");
      return false;
    }
    const time_t t = static_cast<time_t>(atUs / 1000000);
    tm local{};
    char stamp[32] = "00000000-000000";
    if (localtime_r(&t, &local)) strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = options_.path + "/" + stamp + "-" + FilePart(device);
    for (int n = 1; n < 1000; ++n) {
      path = base + (n == 1 ? "" : "-" + std::to_string(n)) + kJournalSuffix;
      fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
      if (fd_ >= 0 || errno != EEXIST) break;
    }
  } else {
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  }
  if (fd_ < 0) {
    const int why = errno;
    Fail("The session journal cannot be written: " + path + ": " + ErrnoText(why) +
         ". The session goes on without it.");
    return false;
  }
  struct stat st {};
  size_ = fstat(fd_, &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
  file_ = path;
  sinceCapCheck_ = 0;
  if (size_ == 0) out_ = kHeader;
  return true;
}

void JournalWriter::CloseFile(bool sync) {
  if (fd_ < 0) return;
  if (sync) fsync(fd_);
  close(fd_);
  fd_ = -1;
  file_.clear();
}

void JournalWriter::KeepWithinCap() {
  sinceCapCheck_ = 0;
  struct Entry {
    std::string path;
    uint64_t size;
    timespec mtime;
  };
  std::vector<Entry> entries;
  uint64_t total = 0;
  if (DIR* dir = opendir(options_.path.c_str())) {
    const size_t suffix = std::strlen(kJournalSuffix);
    while (const dirent* e = readdir(dir)) {
      const std::string name = e->d_name;
      if (name.size() <= suffix || name.compare(name.size() - suffix, suffix, kJournalSuffix) != 0) continue;
      const std::string path = options_.path + "/" + name;
      struct stat st {};
      if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
      entries.push_back({path, static_cast<uint64_t>(st.st_size), st.st_mtim});
      total += static_cast<uint64_t>(st.st_size);
    }
    closedir(dir);
  }
  if (total <= options_.capBytes) return;
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
    if (a.mtime.tv_sec != b.mtime.tv_sec) return a.mtime.tv_sec < b.mtime.tv_sec;
    if (a.mtime.tv_nsec != b.mtime.tv_nsec) return a.mtime.tv_nsec < b.mtime.tv_nsec;
    return a.path < b.path;
  });
  for (const Entry& e : entries) {
    if (total <= options_.capBytes) return;
    if (e.path == file_) continue;
    if (unlink(e.path.c_str()) == 0) total -= e.size;
  }
  if (total > options_.capBytes && fd_ >= 0) {
    Fail("The session journal reached its cap of " + std::to_string(options_.capBytes) + " bytes in " +
         options_.path + ": the rest of this session is not journaled.");
    CloseFile(true);
  }
}

void JournalWriter::Flush() {
  if (fd_ < 0) {
    out_.clear();
    return;
  }
  size_t done = 0;
  while (done < out_.size()) {
    const ssize_t n = write(fd_, out_.data() + done, out_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      Fail("The session journal cannot be written: " + file_ + ": " + ErrnoText(error) +
           ". The session goes on without it.");
      CloseFile(false);
      break;
    }
    done += static_cast<size_t>(n);
  }
  size_ += done;
  sinceCapCheck_ += done;
  if (fd_ >= 0 && done != 0) {
    // Written again: the next problem is news.
    reported_ = false;
    problem_.clear();
  }
  out_.clear();
  if (folder_ && fd_ >= 0 && sinceCapCheck_ > options_.capBytes / 16) KeepWithinCap();
}

void JournalWriter::Line(int64_t atUs, std::string_view mark, std::string_view text) {
  out_ += FormatJournalTime(atUs);
  out_ += ' ';
  out_ += mark;
  if (!text.empty()) {
    out_ += ' ';
    out_ += text;
  }
  out_ += '\n';
}

void JournalWriter::Chunk(char mark, std::span<const uint8_t> bytes, int64_t atUs) {
  if (fd_ < 0) return;
  const std::string time = FormatJournalTime(atUs);
  size_t at = 0;
  bool first = true;
  while (at < bytes.size()) {
    const size_t end = std::min(bytes.size(), at + kBytesPerLine);
    out_ += time;
    out_ += ' ';
    out_ += mark;
    out_ += first ? " " : "+ ";
    AppendBinaryTextUtf8(bytes.data() + at, end - at, &out_);
    out_ += '\n';
    first = false;
    at = end;
  }
  Flush();
}

void JournalWriter::OnOpened(const std::string& device, uint32_t baud) {
  const int64_t now = WallClockUs();
  if (folder_) CloseFile(true);
  rowOpen_ = false;
  if (fd_ < 0 && !OpenFile(device, now)) return;
  std::string text = std::to_string(baud) + " ";
  AppendEscaped(device, &text);
  Line(now, "open", text);
  Flush();
  // The folder is measured with the new session in it.
  if (folder_ && fd_ >= 0) KeepWithinCap();
}

void JournalWriter::OnSettings(const LineSettings& settings) {
  if (fd_ < 0) return;
  std::string text = std::to_string(settings.dataBits);
  const auto parity = static_cast<size_t>(settings.parity);
  text += parity < 5 ? "NEOMS"[parity] : 'N';
  text += std::to_string(settings.stopBits);
  text += " flow=" + std::string(FlowName(settings.flow));
  text += settings.dtr ? " dtr=on" : " dtr=off";
  text += settings.rts ? " rts=on" : " rts=off";
  Line(WallClockUs(), "settings", text);
  Flush();
}

void JournalWriter::OnWritten(std::span<const uint8_t> bytes, int64_t atUs) { Chunk('>', bytes, atUs); }

void JournalWriter::OnRead(std::span<const uint8_t> bytes, int64_t atUs, RowKind) { Chunk('<', bytes, atUs); }

void JournalWriter::OnRowBegun(const Row& row) {
  if (fd_ < 0) return;
  rowOffset_ = size_ + out_.size();
  rowOpen_ = true;
  const int64_t at = row.sentAtMs != 0 ? row.sentAtMs * 1000 : WallClockUs();
  Line(at, "[", row.Unsolicited() ? "unsolicited" : "exchange");
  if (!row.Unsolicited()) {
    Line(at, "cmd", EscapedUtf16(row.typed));
    Line(at, "sent", EscapedUtf16(row.sent));
  }
  Flush();
}

void JournalWriter::OnRowEnded(const Row& row) {
  if (fd_ < 0) return;
  // A row begun before this journal began (turned on meanwhile) still reads as a row.
  if (!rowOpen_) OnRowBegun(row);
  rowOpen_ = false;
  std::string text = EndName(row.end);
  text += " bytes=" + std::to_string(row.replyLength);
  text += row.firstByteMs < 0 ? std::string(" first=none") : " first=" + std::to_string(row.firstByteMs);
  text += " elapsed=" + std::to_string(row.elapsedMs);
  text += " at=" + std::to_string(row.sentAtMs);
  text += " error=" + std::to_string(row.error);
  Line(WallClockUs(), "]", text);
  Flush();
}

void JournalWriter::OnHangup(int error) {
  if (fd_ < 0) return;
  Line(WallClockUs(), "hangup", std::to_string(error));
  Flush();
}

void JournalWriter::OnClosed() {
  if (fd_ < 0) return;
  Line(WallClockUs(), "close", {});
  Flush();
  CloseFile(true);
}

// ---- reader ---------------------------------------------------------------------------

bool JournalReader::ReadFile(const std::string& path, std::string* error, uint64_t offset, bool oneRow) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot read " + path + ": " + ErrnoText(errno);
    return false;
  }
  if (offset != 0 && lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
    *error = "cannot read " + path + ": " + ErrnoText(errno);
    close(fd);
    return false;
  }
  rowEnded_ = false;
  std::string pending;
  uint64_t lineStart = offset;
  std::vector<char> buffer(size_t{1} << 20);
  for (;;) {
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = "cannot read " + path + ": " + ErrnoText(errno);
      close(fd);
      return false;
    }
    if (n == 0) break;
    pending.append(buffer.data(), static_cast<size_t>(n));
    size_t start = 0;
    for (size_t feed; (feed = pending.find('\n', start)) != std::string::npos; start = feed + 1) {
      ReadLine(std::string_view(pending).substr(start, feed - start), lineStart);
      lineStart += feed - start + 1;
      if (oneRow && rowEnded_) {
        close(fd);
        return true;
      }
    }
    pending.erase(0, start);
  }
  close(fd);
  // A last line without its line feed (the writer was stopped within it).
  if (!pending.empty()) ReadLine(pending, lineStart);
  return true;
}

void JournalReader::BeginPending() {
  beginPending_ = false;
  observer_.OnRowBegun(row_);
}

bool JournalReader::Unfinished(Row* row) const {
  if (!inRow_) return false;
  *row = row_;
  row->reply = read_;
  row->replyLength = read_.size();
  row->end = ReplyEnd::kNone;
  return true;
}

void JournalReader::ReadLine(std::string_view line, uint64_t offset) {
  ++lineNumber_;
  if (line.empty() || line[0] == '#') return;
  const auto bad = [this] {
    ++badLines_;
    if (firstBad_ == 0) firstBad_ = lineNumber_;
  };
  std::string_view rest = line;
  int64_t at = 0;
  if (!ParseJournalTime(NextWord(&rest), &at)) return bad();
  const std::string_view mark = NextWord(&rest);
  if (mark == "cmd" || mark == "sent") {
    if (!inRow_) return bad();
    (mark == "cmd" ? row_.typed : row_.sent) = Utf8ToUtf16(Unescaped(rest));
    return;
  }
  if (beginPending_) BeginPending();
  if (mark == "<" || mark == "<+" || mark == ">" || mark == ">+") {
    const Bytes bytes = DecodeBinaryText(Utf8ToUtf16(rest));
    if (mark[0] == '>') {
      observer_.OnWritten(bytes, at);
      return;
    }
    read_.insert(read_.end(), bytes.begin(), bytes.end());
    observer_.OnRead(bytes, at, inRow_ ? row_.kind : RowKind::kUnsolicited);
  } else if (mark == "[") {
    if (rest != "exchange" && rest != "unsolicited") return bad();
    row_ = Row();
    row_.kind = rest == "exchange" ? RowKind::kExchange : RowKind::kUnsolicited;
    // Floor: the row's time in ms, as the session had it.
    row_.sentAtMs = at >= 0 ? at / 1000 : -((-at + 999) / 1000);
    inRow_ = true;
    rowOffset_ = offset;
    // Bytes beyond a row cut at its size limit begin the next unsolicited row.
    if (row_.kind == RowKind::kExchange) read_.clear();
    if (row_.kind == RowKind::kExchange) beginPending_ = true;
    else observer_.OnRowBegun(row_);
  } else if (mark == "]") {
    if (!inRow_) return bad();
    EndRow(rest, at);
  } else if (mark == "open") {
    uint32_t baud = 0;
    if (!ParseNumber(NextWord(&rest), &baud)) return bad();
    inRow_ = false;
    read_.clear();
    observer_.OnOpened(Unescaped(rest), baud);
  } else if (mark == "settings") {
    LineSettings settings;
    const std::string_view frame = NextWord(&rest);
    const char* parity = frame.size() == 3 ? std::strchr("NEOMS", frame[1]) : nullptr;
    if (!parity || frame[1] == '\0' || frame[0] < '5' || frame[0] > '8' || (frame[2] != '1' && frame[2] != '2'))
      return bad();
    settings.dataBits = static_cast<uint8_t>(frame[0] - '0');
    settings.parity = static_cast<Parity>(parity - "NEOMS");
    settings.stopBits = static_cast<uint8_t>(frame[2] - '0');
    while (!rest.empty()) {
      const std::string_view word = NextWord(&rest);
      if (word.rfind("flow=", 0) == 0 && !ParseFlow(word.substr(5), &settings.flow)) return bad();
      if (word == "dtr=off") settings.dtr = false;
      if (word == "rts=off") settings.rts = false;
    }
    observer_.OnSettings(settings);
  } else if (mark == "hangup") {
    int error = 0;
    if (!ParseNumber(NextWord(&rest), &error)) return bad();
    observer_.OnHangup(error);
  } else if (mark == "close") {
    observer_.OnClosed();
  }
  // Other marks are a later writer's: skipped.
}

void JournalReader::EndRow(std::string_view text, int64_t) {
  ReplyEnd end = ReplyEnd::kNone;
  if (!ParseEnd(NextWord(&text), &end)) {
    ++badLines_;
    if (firstBad_ == 0) firstBad_ = lineNumber_;
    return;
  }
  Row& row = row_;
  row.end = end;
  size_t length = read_.size();
  while (!text.empty()) {
    const std::string_view word = NextWord(&text);
    const size_t eq = word.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = word.substr(0, eq);
    const std::string_view value = word.substr(eq + 1);
    if (key == "bytes") ParseNumber(value, &length);
    else if (key == "first" && (value == "none" || !ParseNumber(value, &row.firstByteMs))) row.firstByteMs = -1;
    else if (key == "elapsed") ParseNumber(value, &row.elapsedMs);
    else if (key == "at") ParseNumber(value, &row.sentAtMs);
    else if (key == "error") ParseNumber(value, &row.error);
  }
  row.replyLength = length;
  const size_t kept = std::min(length, read_.size());
  row.reply.assign(read_.begin(), read_.begin() + static_cast<std::ptrdiff_t>(kept));
  read_.erase(read_.begin(), read_.begin() + static_cast<std::ptrdiff_t>(kept));
  inRow_ = false;
  lastRowOffset_ = rowOffset_;
  rowEnded_ = true;
  observer_.OnRowEnded(row);
}

namespace {

// Hands each row on as it ends, with where it began.
class RowTaker : public SessionObserver {
 public:
  explicit RowTaker(const std::function<void(JournalRow row)>& take) : take_(take) {}
  void OnRowEnded(const Row& row) override { take_({row, reader->LastRowOffset()}); }
  const JournalReader* reader = nullptr;

 private:
  const std::function<void(JournalRow row)>& take_;
};

// Reads |path| from |offset| (only its first row when |oneRow|), handing each row to |take|;
// a row the file ends within comes last.
bool TakeRows(const std::string& path, uint64_t offset, bool oneRow,
              const std::function<void(JournalRow row)>& take, std::string* error, size_t* badLines) {
  RowTaker taker(take);
  JournalReader reader(taker);
  taker.reader = &reader;
  if (!reader.ReadFile(path, error, offset, oneRow)) return false;
  if (Row row; reader.Unfinished(&row))
    take({std::move(row), reader.UnfinishedOffset()});
  if (badLines) *badLines = reader.BadLines();
  return true;
}

}  // namespace

bool ForEachJournalRow(const std::string& path, const std::function<void(JournalRow row)>& take,
                       std::string* error, size_t* badLines) {
  return TakeRows(path, 0, false, take, error, badLines);
}

bool ReadJournalRows(const std::string& path, std::vector<JournalRow>* rows, std::string* error,
                     size_t* badLines) {
  rows->clear();
  return ForEachJournalRow(path, [rows](JournalRow row) { rows->push_back(std::move(row)); }, error, badLines);
}

bool ReadJournalRowAt(const std::string& path, uint64_t offset, Row* row, std::string* error) {
  std::vector<JournalRow> rows;
  if (!TakeRows(path, offset, true, [&rows](JournalRow taken) { rows.push_back(std::move(taken)); }, error,
                nullptr))
    return false;
  if (rows.empty()) {
    *error = "no row at byte " + std::to_string(offset) + " of " + path;
    return false;
  }
  *row = std::move(rows.front().row);
  return true;
}

}  // namespace orvane
