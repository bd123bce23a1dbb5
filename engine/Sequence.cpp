#include "engine/Sequence.h"

#include <cctype>

#include "engine/BinaryTextCodec.h"

namespace orvane {
namespace {

constexpr uint32_t kMaxDurationMs = 24u * 3600u * 1000u;
constexpr uint32_t kMaxTries = 100000;

bool Blank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && Blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && Blank(text.back())) text.remove_suffix(1);
  return text;
}

// The first word of |*text| (up to a blank), taken off it with the blanks after it.
std::string_view TakeWord(std::string_view* text) {
  size_t end = 0;
  while (end < text->size() && !Blank((*text)[end])) ++end;
  const std::string_view word = text->substr(0, end);
  text->remove_prefix(end);
  while (!text->empty() && Blank(text->front())) text->remove_prefix(1);
  return word;
}

// A TEXT argument: "quoted" (blanks kept) or a word. False when a quote is not closed.
bool TakeText(std::string_view* text, std::string* out) {
  if (!text->empty() && text->front() == '"') {
    const size_t close = text->find('"', 1);
    if (close == std::string_view::npos) return false;
    out->assign(text->substr(1, close - 1));
    text->remove_prefix(close + 1);
    while (!text->empty() && Blank(text->front())) text->remove_prefix(1);
    return true;
  }
  out->assign(TakeWord(text));
  return true;
}

bool NameStart(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_'; }
bool NameChar(char16_t c) { return NameStart(c) || (c >= u'0' && c <= u'9'); }

}  // namespace

bool ParseWholeNumber(std::string_view text, uint64_t max, uint64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + static_cast<uint64_t>(c - '0');
  }
  if (v > max) return false;
  *value = v;
  return true;
}

bool ParseDuration(std::string_view text, uint32_t* ms) {
  uint64_t scale = 1000;
  if (text.size() > 2 && text.substr(text.size() - 2) == "ms") {
    scale = 1;
    text.remove_suffix(2);
  } else if (text.size() > 1 && text.back() == 's') {
    text.remove_suffix(1);
  }
  const size_t dot = text.find('.');
  uint64_t whole = 0;
  uint64_t part = 0;
  if (!ParseWholeNumber(text.substr(0, dot), kMaxDurationMs, &whole)) return false;
  if (dot != std::string_view::npos) {
    const std::string_view fraction = text.substr(dot + 1);
    if (scale == 1 || fraction.empty() || fraction.size() > 3 || !ParseWholeNumber(fraction, 999, &part)) return false;
    for (size_t i = fraction.size(); i < 3; ++i) part *= 10;
  }
  const uint64_t total = whole * scale + part;
  if (total > kMaxDurationMs) return false;
  *ms = static_cast<uint32_t>(total);
  return true;
}

size_t FindName(std::u16string_view text, size_t from, size_t* length, std::string* name) {
  for (size_t at = text.find(u"${", from); at != std::u16string_view::npos; at = text.find(u"${", at + 1)) {
    size_t end = at + 2;
    if (end >= text.size() || !NameStart(text[end])) continue;
    while (end < text.size() && NameChar(text[end])) ++end;
    if (end >= text.size() || text[end] != u'}') continue;
    name->assign(text.begin() + static_cast<ptrdiff_t>(at + 2), text.begin() + static_cast<ptrdiff_t>(end));
    *length = end + 1 - at;
    return at;
  }
  return std::u16string_view::npos;
}

bool CompilePattern(std::u16string_view pattern, std::regex* regex, std::string* error) {
  const Bytes bytes = DecodeBinaryText(pattern);
  try {
    *regex = std::regex(std::string(bytes.begin(), bytes.end()), std::regex::ECMAScript);
    return true;
  } catch (const std::regex_error& e) {
    *error = "bad regular expression /" + Utf16ToUtf8(pattern) + "/: " + e.what();
    return false;
  }
}

bool SequenceParser::Names(std::u16string_view text, std::string* error) const {
  size_t length = 0;
  std::string name;
  for (size_t at = 0; (at = FindName(text, at, &length, &name)) != std::u16string_view::npos; at += length) {
    if (captured_.count(name) == 0) {
      *error = "${" + name + "} is used before an @capture sets it";
      return false;
    }
  }
  return true;
}

SequenceParser::Result SequenceParser::Take(std::string_view text, size_t number, Step* step,
                                            SequenceError* error) {
  const std::string_view trimmed = Trim(text);
  if (trimmed.empty() || trimmed.front() == '#') return Result::kNone;
  Step next;
  next.line = number;
  next.source = std::string(trimmed);
  std::string problem;
  Result result;
  if (trimmed.front() == '@') {
    std::string_view rest = trimmed.substr(1);
    const std::string_view keyword = TakeWord(&rest);
    result = Directive(keyword, rest, &next, &problem);
  } else {
    // A plain line is sent as it is, blanks before it included.
    next.command = Utf8ToUtf16(text);
    result = Names(next.command, &problem) ? Result::kStep : Result::kError;
  }
  if (result == Result::kStep && modifierLine_ != 0) {
    const bool timed = next.kind == StepKind::kSend || next.kind == StepKind::kRaw;
    if (timeoutMs_ >= 0 && !timed) {
      problem = "@timeout on line " + std::to_string(modifierLine_) +
                " is for a command, @raw or @prompt, not for this step";
      result = Result::kError;
    } else if (tries_ > 1 && !next.Produces()) {
      problem = "@retry on line " + std::to_string(modifierLine_) +
                " is for a command, @raw, @prompt or @wait, not for this step";
      result = Result::kError;
    } else {
      next.timeoutMs = timeoutMs_;
      next.tries = tries_;
      next.retryPauseMs = retryPauseMs_;
      timeoutMs_ = -1;
      tries_ = 1;
      retryPauseMs_ = 0;
      modifierLine_ = 0;
    }
  }
  if (result == Result::kStep && next.Checks() && !produced_) {
    problem = "nothing to look at yet: put a command or @wait before it";
    result = Result::kError;
  }
  if (result == Result::kError) {
    *error = {number, problem};
    return result;
  }
  if (result == Result::kNone) return result;
  if (next.Produces()) produced_ = true;
  if (next.kind == StepKind::kCapture) captured_.insert(next.variable);
  next.number = ++steps_;
  *step = std::move(next);
  return Result::kStep;
}

SequenceParser::Result SequenceParser::Directive(std::string_view keyword, std::string_view rest,
                                                 Step* step, std::string* error) {
  auto fail = [error](std::string message) {
    *error = std::move(message);
    return Result::kError;
  };
  // TEXT or /REGEX/, the rest of the line.
  auto expectation = [&](std::string_view text, Expectation* out) {
    if (text.size() >= 2 && text.front() == '/' && text.back() == '/') {
      out->regex = true;
      out->text = Utf8ToUtf16(text.substr(1, text.size() - 2));
      if (out->text.empty()) return (*error = "an empty /REGEX/ matches anything"), false;
      std::regex compiled;
      // The names' values are only known when the step runs; they go in escaped.
      const std::u16string probe = ReplaceNames(out->text, [](const std::string&) { return u"x"; });
      return Names(out->text, error) && CompilePattern(probe, &compiled, error);
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
    out->text = Utf8ToUtf16(text);
    if (out->text.empty()) return (*error = "@" + std::string(keyword) + " needs a TEXT or /REGEX/"), false;
    return Names(out->text, error);
  };
  auto duration = [&](std::string_view text, uint32_t* ms) {
    if (ParseDuration(text, ms)) return true;
    *error = text.empty() ? "@" + std::string(keyword) + " needs a DURATION"
                          : "invalid duration '" + std::string(text) + "' (seconds, e.g. 2, 0.05, 50ms or 2s; at most a day)";
    return false;
  };

  if (keyword == "send" || keyword == "raw") {
    if (rest.empty()) return fail("@" + std::string(keyword) + " needs what to send");
    step->kind = keyword == "send" ? StepKind::kSend : StepKind::kRaw;
    step->command = Utf8ToUtf16(rest);
    return Names(step->command, error) ? Result::kStep : Result::kError;
  }
  if (keyword == "prompt") {
    std::string text;
    if (!TakeText(&rest, &text)) return fail("the prompt's closing '\"' is missing");
    if (text.empty() || rest.empty()) return fail("@prompt needs a TEXT and a COMMAND (e.g. @prompt \"> \" AT+CMGS=\"+15550100\")");
    step->kind = StepKind::kSend;
    step->prompt = Utf8ToUtf16(text);
    step->command = Utf8ToUtf16(rest);
    return Names(step->prompt, error) && Names(step->command, error) ? Result::kStep : Result::kError;
  }
  if (keyword == "expect") {
    step->kind = StepKind::kExpect;
    return expectation(rest, &step->expect) ? Result::kStep : Result::kError;
  }
  if (keyword == "wait") {
    step->kind = StepKind::kWait;
    const std::string_view time = TakeWord(&rest);
    return duration(time, &step->ms) && expectation(rest, &step->expect) ? Result::kStep : Result::kError;
  }
  if (keyword == "capture") {
    step->kind = StepKind::kCapture;
    const std::string_view name = TakeWord(&rest);
    const std::u16string wide = Utf8ToUtf16(name);
    bool valid = !wide.empty() && NameStart(wide.front());
    for (char16_t c : wide) valid = valid && NameChar(c);
    if (!valid) return fail("@capture needs a NAME (letters, digits, '_') and a /REGEX/");
    if (rest.size() < 2 || rest.front() != '/' || rest.back() != '/') return fail("@capture takes a /REGEX/ after its NAME");
    step->variable = std::string(name);
    return expectation(rest, &step->expect) ? Result::kStep : Result::kError;
  }
  if (keyword == "pause") {
    step->kind = StepKind::kPause;
    return duration(rest, &step->ms) ? Result::kStep : Result::kError;
  }
  if (keyword == "timeout" || keyword == "retry") {
    if (modifierLine_ != 0 && (keyword == "timeout" ? timeoutMs_ >= 0 : tries_ > 1))
      return fail("@" + std::string(keyword) + " given twice for one step (line " + std::to_string(modifierLine_) + ")");
    if (keyword == "timeout") {
      uint32_t ms = 0;
      if (!duration(rest, &ms)) return Result::kError;
      timeoutMs_ = ms;
    } else {
      const std::string_view count = TakeWord(&rest);
      uint64_t tries = 0;
      if (!ParseWholeNumber(count, kMaxTries, &tries) || tries < 2)
        return fail("@retry needs TRIES, 2 to " + std::to_string(kMaxTries) + ", then an optional DURATION");
      uint32_t pause = 0;
      if (!rest.empty() && !duration(rest, &pause)) return Result::kError;
      tries_ = static_cast<uint32_t>(tries);
      retryPauseMs_ = pause;
    }
    if (modifierLine_ == 0) modifierLine_ = step->line;
    return Result::kNone;
  }
  return fail("unknown step '@" + std::string(keyword) +
              "' (steps: @send @raw @prompt @expect @wait @capture @pause @timeout @retry; a command "
              "that starts with '@' is written <40>...)");
}

bool SequenceParser::End(SequenceError* error) const {
  if (modifierLine_ == 0) return true;
  *error = {modifierLine_, std::string(timeoutMs_ >= 0 ? "@timeout" : "@retry") + " has no step after it"};
  return false;
}

bool ParseSequence(std::string_view text, std::vector<Step>* steps, SequenceError* error) {
  SequenceParser parser;
  size_t number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    Step step;
    switch (parser.Take(line, ++number, &step, error)) {
      case SequenceParser::Result::kStep: steps->push_back(std::move(step)); break;
      case SequenceParser::Result::kError: return false;
      case SequenceParser::Result::kNone: break;
    }
  }
  return parser.End(error);
}

}  // namespace orvane
