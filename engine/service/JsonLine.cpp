#include "engine/service/JsonLine.h"

#include <cstdio>

#include "engine/Utf8.h"

namespace orvane::service {
namespace {

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}

  void Blanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) ++i_;
  }
  bool Take(char c) {
    Blanks();
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool AtEnd() {
    Blanks();
    return i_ == s_.size();
  }
  bool Word(std::string_view word) {
    Blanks();
    if (s_.substr(i_, word.size()) != word) return false;
    i_ += word.size();
    return true;
  }

  bool String(std::string* out) {
    if (!Take('"')) return false;
    out->clear();
    while (i_ < s_.size()) {
      const char c = s_[i_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out->push_back(c);
        continue;
      }
      if (i_ >= s_.size()) return false;
      const char e = s_[i_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out->push_back(e);
          break;
        case 'b':
          out->push_back('\b');
          break;
        case 'f':
          out->push_back('\f');
          break;
        case 'n':
          out->push_back('\n');
          break;
        case 'r':
          out->push_back('\r');
          break;
        case 't':
          out->push_back('\t');
          break;
        case 'u': {
          uint32_t cp = 0;
          if (!Hex4(&cp)) return false;
          if (cp >= 0xD800 && cp < 0xDC00) {
            uint32_t low = 0;
            if (s_.substr(i_, 2) != "\\u") return false;
            i_ += 2;
            if (!Hex4(&low) || low < 0xDC00 || low >= 0xE000) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xDC00 && cp < 0xE000) {
            return false;
          }
          AppendUtf8(cp, out);
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }

  bool Number(int64_t* out) {
    Blanks();
    bool negative = false;
    if (i_ < s_.size() && s_[i_] == '-') {
      negative = true;
      ++i_;
    }
    const size_t start = i_;
    uint64_t v = 0;
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') {
      if (i_ - start >= 18) return false;
      v = v * 10 + static_cast<uint64_t>(s_[i_++] - '0');
    }
    if (i_ == start) return false;
    // Whole numbers only: a fraction or exponent is refused, not rounded.
    if (i_ < s_.size() && (s_[i_] == '.' || s_[i_] == 'e' || s_[i_] == 'E')) return false;
    *out = negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    return true;
  }

  size_t Position() const { return i_; }

 private:
  bool Hex4(uint32_t* v) {
    if (i_ + 4 > s_.size()) return false;
    *v = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = s_[i_++];
      uint32_t d = 0;
      if (c >= '0' && c <= '9')
        d = static_cast<uint32_t>(c - '0');
      else if (c >= 'a' && c <= 'f')
        d = static_cast<uint32_t>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        d = static_cast<uint32_t>(c - 'A' + 10);
      else
        return false;
      *v = *v * 16 + d;
    }
    return true;
  }
  std::string_view s_;
  size_t i_ = 0;
};

}  // namespace

bool JsonObject::Parse(std::string_view line, std::string* error) {
  members_.clear();
  Reader r(line);
  auto fail = [&](const char* what) {
    *error = std::string(what) + " at column " + std::to_string(r.Position() + 1);
    members_.clear();
    return false;
  };
  if (!r.Take('{')) return fail("expected a JSON object");
  if (!r.Take('}')) {
    do {
      std::string key;
      if (!r.String(&key)) return fail("expected a member name");
      if (!r.Take(':')) return fail("expected ':'");
      JsonValue value;
      r.Blanks();
      if (r.Take('[')) {
        value.type = JsonValue::Type::kStrings;
        if (!r.Take(']')) {
          do {
            std::string item;
            if (!r.String(&item)) return fail("expected a string in the array");
            value.strings.push_back(std::move(item));
          } while (r.Take(','));
          if (!r.Take(']')) return fail("expected ']'");
        }
      } else if (r.Word("true")) {
        value.type = JsonValue::Type::kBool;
        value.boolean = true;
      } else if (r.Word("false")) {
        value.type = JsonValue::Type::kBool;
      } else if (r.Word("null")) {
        value.type = JsonValue::Type::kNull;
      } else if (r.Number(&value.number)) {
        value.type = JsonValue::Type::kNumber;
      } else if (r.String(&value.text)) {
        value.type = JsonValue::Type::kString;
      } else {
        return fail("expected a string, a whole number, true, false, null or an array of strings");
      }
      members_.emplace_back(std::move(key), std::move(value));
    } while (r.Take(','));
    if (!r.Take('}')) return fail("expected ',' or '}'");
  }
  if (!r.AtEnd()) return fail("text after the object");
  return true;
}

const JsonValue* JsonObject::Find(std::string_view key) const {
  for (const auto& [name, value] : members_)
    if (name == key) return &value;
  return nullptr;
}

bool JsonObject::Text(std::string_view key, std::string* out, const std::string& fallback) const {
  const JsonValue* v = Find(key);
  if (!v) {
    *out = fallback;
    return true;
  }
  if (v->type != JsonValue::Type::kString) return false;
  *out = v->text;
  return true;
}

bool JsonObject::Number(std::string_view key, int64_t* out, int64_t fallback) const {
  const JsonValue* v = Find(key);
  if (!v || v->type == JsonValue::Type::kNull) {
    *out = fallback;
    return true;
  }
  if (v->type != JsonValue::Type::kNumber) return false;
  *out = v->number;
  return true;
}

bool JsonObject::Bool(std::string_view key, bool* out, bool fallback) const {
  const JsonValue* v = Find(key);
  if (!v) {
    *out = fallback;
    return true;
  }
  if (v->type != JsonValue::Type::kBool) return false;
  *out = v->boolean;
  return true;
}

bool JsonObject::Strings(std::string_view key, std::vector<std::string>* out) const {
  const JsonValue* v = Find(key);
  if (!v) {
    out->clear();
    return true;
  }
  if (v->type != JsonValue::Type::kStrings) return false;
  *out = v->strings;
  return true;
}

void AppendJsonQuoted(std::string_view text, std::string* out) {
  out->push_back('"');
  for (const char c : text) {
    switch (c) {
      case '"':
        *out += "\\\"";
        break;
      case '\\':
        *out += "\\\\";
        break;
      case '\n':
        *out += "\\n";
        break;
      case '\r':
        *out += "\\r";
        break;
      case '\t':
        *out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buffer[8];
          std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned>(c));
          *out += buffer;
        } else {
          out->push_back(c);
        }
    }
  }
  out->push_back('"');
}

void JsonWriter::Key(std::string_view key) {
  if (out_.size() > 1) out_.push_back(',');
  AppendJsonQuoted(key, &out_);
  out_.push_back(':');
}

JsonWriter& JsonWriter::Add(std::string_view key, std::string_view text) {
  Key(key);
  AppendJsonQuoted(text, &out_);
  return *this;
}

JsonWriter& JsonWriter::Add(std::string_view key, int64_t number) {
  Key(key);
  out_ += std::to_string(number);
  return *this;
}

JsonWriter& JsonWriter::Add(std::string_view key, bool value) {
  Key(key);
  out_ += value ? "true" : "false";
  return *this;
}

JsonWriter& JsonWriter::AddNull(std::string_view key) {
  Key(key);
  out_ += "null";
  return *this;
}

JsonWriter& JsonWriter::Add(std::string_view key, const std::vector<std::string>& strings) {
  Key(key);
  out_.push_back('[');
  for (size_t i = 0; i < strings.size(); ++i) {
    if (i > 0) out_.push_back(',');
    AppendJsonQuoted(strings[i], &out_);
  }
  out_.push_back(']');
  return *this;
}

JsonWriter& JsonWriter::AddRaw(std::string_view key, std::string_view json) {
  Key(key);
  out_ += json;
  return *this;
}

std::string JsonWriter::Done() {
  out_ += "}\n";
  return std::move(out_);
}

}  // namespace orvane::service
