#include "tools/linewright/Report.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "notes/ReplyNotes.h"

namespace orvane::linewright {

namespace {

// The length of the well-formed UTF-8 sequence at the start of |s| (0: none).
size_t Utf8SequenceLength(std::string_view s) {
  const auto b = [&](size_t i) { return static_cast<uint8_t>(s[i]); };
  const uint8_t lead = b(0);
  size_t length = 0;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;        // no overlong forms
    if (lead == 0xED) high = 0x9F;       // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;       // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  if (b(1) < low || b(1) > high) return 0;
  for (size_t i = 2; i < length; ++i)
    if (b(i) < 0x80 || b(i) > 0xBF) return 0;
  return length;
}

// ,"notes":[...] for the notes on a row; nothing when there are none.
void AppendNotes(const std::vector<std::string>& notes, std::string* out) {
  if (notes.empty()) return;
  out->append(",\"notes\":[");
  for (size_t i = 0; i < notes.size(); ++i) {
    out->append(i == 0 ? "\"" : ",\"");
    AppendJsonString(notes[i], out);
    out->push_back('"');
  }
  out->push_back(']');
}

}  // namespace

void AppendJsonString(std::string_view text, std::string* out) {
  for (size_t i = 0; i < text.size();) {
    const uint8_t c = static_cast<uint8_t>(text[i]);
    if (c == '"' || c == '\\') {
      out->push_back('\\');
      out->push_back(static_cast<char>(c));
    } else if (c < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out->append(escape);
    } else if (c >= 0x80) {
      const size_t n = Utf8SequenceLength(text.substr(i));
      if (n == 0) {
        out->append("\\ufffd");
        ++i;
        continue;
      }
      out->append(text.substr(i, n));
      i += n;
      continue;
    } else {
      out->push_back(static_cast<char>(c));
    }
    ++i;
  }
}

StreamSearch::StreamSearch(std::vector<Bytes> needles) : needles_(std::move(needles)) {
  for (const Bytes& n : needles_) longest_ = std::max(longest_, n.size());
}

void StreamSearch::Reset() {
  tail_.clear();
  found_ = false;
}

void StreamSearch::Feed(const uint8_t* bytes, size_t length) {
  if (found_ || longest_ == 0 || length == 0) return;
  // The kept tail and the new bytes together: a needle may begin in the tail.
  Bytes window;
  window.reserve(tail_.size() + length);
  window.insert(window.end(), tail_.begin(), tail_.end());
  window.insert(window.end(), bytes, bytes + length);
  for (const Bytes& needle : needles_) {
    if (!needle.empty() &&
        std::search(window.begin(), window.end(), needle.begin(), needle.end()) != window.end()) {
      found_ = true;
      return;
    }
  }
  const size_t keep = std::min(window.size(), longest_ - 1);
  tail_.assign(window.end() - static_cast<std::ptrdiff_t>(keep), window.end());
}

void ReplySearch::OnRowBegun(const Row& row) {
  if (!row.Unsolicited()) search_.Reset();
}

void ReplySearch::OnRead(std::span<const uint8_t> bytes, int64_t, RowKind kind) {
  if (kind == RowKind::kExchange) search_.Feed(bytes.data(), bytes.size());
}

Report::Report(std::ostream& out, bool json, bool timestamps)
    : out_(out), json_(json), timestamps_(timestamps) {}

void Report::Write(const std::string& text) {
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void Report::OnRowBegun(const Row& row) {
  if (row.Unsolicited()) return;
  running_.sent = row.sent;
  running_.sentAtMs = row.sentAtMs;
  headDone_ = false;
  noted_.clear();
  rowLine_ = stepLine_;
  rowStep_ = stepNumber_;
}

void Report::OnRead(std::span<const uint8_t> bytes, int64_t, RowKind kind) {
  if (kind != RowKind::kExchange) return;
  Head(running_);
  text_.clear();
  AppendBinaryTextUtf8(bytes.data(), bytes.size(), &text_);
  if (json_) {
    // The notes read the reply's start only; the rest passes through.
    const size_t room = notes::kMaxAnnotatedBytes - std::min(noted_.size(), notes::kMaxAnnotatedBytes);
    noted_.insert(noted_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(room, bytes.size())));
    escaped_.clear();
    AppendJsonString(text_, &escaped_);
    Write(escaped_);
  } else {
    Write(text_);
  }
}

void Report::OnRowEnded(const Row& row) {
  if (row.Unsolicited()) {
    Unsolicited(row);
    return;
  }
  if (row.end == ReplyEnd::kWriteFailed) return;
  // A row told again comes whole: its reply was never read here.
  if (row.replayed && !row.reply.empty()) OnRead(row.reply, row.sentAtMs * 1000, RowKind::kExchange);
  EndReply(row);
}

void Report::Head(const Row& exchange) {
  if (headDone_) return;
  headDone_ = true;
  if (json_) {
    // The command as the bytes that went out, in canonical binary text.
    std::string command;
    const Bytes sent = DecodeBinaryText(exchange.sent);
    AppendBinaryTextUtf8(sent.data(), sent.size(), &command);
    std::string head = "{\"command\":\"";
    AppendJsonString(command, &head);
    head += "\",\"sent_at\":\"" + FormatLocalTimeIso(exchange.sentAtMs) + "\",\"reply\":\"";
    Write(head);
  } else if (timestamps_) {
    Write(FormatLocalTimeIso(exchange.sentAtMs) + " ");
  }
}

void Report::EndReply(const Row& exchange) {
  Head(exchange);
  headDone_ = false;
  if (json_) {
    std::string tail = "\",\"first_byte_ms\":";
    tail += exchange.firstByteMs < 0 ? "null" : std::to_string(exchange.firstByteMs);
    tail += ",\"elapsed_ms\":" + std::to_string(exchange.elapsedMs);
    tail += ",\"end\":\"";
    tail += ReplyEndName(exchange.end);
    tail += '"';
    const Bytes sent = DecodeBinaryText(exchange.sent);
    AppendNotes(notes::ReplyNotes(std::string_view(reinterpret_cast<const char*>(sent.data()), sent.size()),
                                  noted_.data(), noted_.size(), RowKind::kExchange),
                &tail);
    if (rowLine_ != 0) tail += ",\"line\":" + std::to_string(rowLine_) + ",\"step\":" + std::to_string(rowStep_);
    if (exchange.replayed) tail += ",\"replayed\":true";
    tail += "}\n";
    Write(tail);
  } else {
    out_ << '\n';
  }
  out_.flush();
}

void Report::Checked(size_t line, size_t number, const std::string& source, bool held) {
  if (!json_) return;
  std::string record = "{\"line\":" + std::to_string(line) + ",\"step\":" + std::to_string(number) + ",\"check\":\"";
  AppendJsonString(source, &record);
  record += held ? "\",\"held\":true}\n" : "\",\"held\":false}\n";
  Write(record);
  out_.flush();
}

void Report::Unsolicited(const Row& row) {
  text_.clear();
  AppendBinaryTextUtf8(row.reply.data(), row.reply.size(), &text_);
  std::string line;
  if (json_) {
    line = "{\"unsolicited\":\"";
    AppendJsonString(text_, &line);
    line += "\",\"at\":\"" + FormatLocalTimeIso(row.sentAtMs) + '"';
    AppendNotes(notes::ReplyNotes(row), &line);
    if (row.replayed) line += ",\"replayed\":true";
    line += "}\n";
  } else {
    line = FormatLocalTimeIso(row.sentAtMs) + " unsolicited: " + text_ + "\n";
  }
  Write(line);
  out_.flush();
}

}  // namespace orvane::linewright
