// One JSON object per line: what the port service and its clients say to each other.
// The objects are flat: string, whole-number, true/false/null values and arrays of
// strings, which is all the protocol needs and stays easy to type by hand.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane::service {

struct JsonValue {
  enum class Type : uint8_t { kNull, kBool, kNumber, kString, kStrings };
  Type type = Type::kNull;
  bool boolean = false;
  int64_t number = 0;
  std::string text;
  std::vector<std::string> strings;
};

class JsonObject {
 public:
  // Parses one object (blanks around it allowed). False, with the reason in |error|,
  // when |line| is anything else.
  bool Parse(std::string_view line, std::string* error);

  const JsonValue* Find(std::string_view key) const;
  // The value of |key| when it has the type asked for; |fallback| when it is missing.
  // False when it is there with another type.
  bool Text(std::string_view key, std::string* out, const std::string& fallback = {}) const;
  bool Number(std::string_view key, int64_t* out, int64_t fallback) const;
  bool Bool(std::string_view key, bool* out, bool fallback) const;
  bool Strings(std::string_view key, std::vector<std::string>* out) const;

 private:
  std::vector<std::pair<std::string, JsonValue>> members_;
};

// Builds one object and ends it with a line feed.
class JsonWriter {
 public:
  JsonWriter& Add(std::string_view key, std::string_view text);
  JsonWriter& Add(std::string_view key, const char* text) { return Add(key, std::string_view(text)); }
  JsonWriter& Add(std::string_view key, int64_t number);
  JsonWriter& Add(std::string_view key, int number) { return Add(key, static_cast<int64_t>(number)); }
  JsonWriter& Add(std::string_view key, uint32_t number) { return Add(key, static_cast<int64_t>(number)); }
  JsonWriter& Add(std::string_view key, uint64_t number) { return Add(key, static_cast<int64_t>(number)); }
  JsonWriter& Add(std::string_view key, bool value);
  JsonWriter& AddNull(std::string_view key);
  JsonWriter& Add(std::string_view key, const std::vector<std::string>& strings);
  // A member whose value is already JSON text.
  JsonWriter& AddRaw(std::string_view key, std::string_view json);
  // The object with its closing brace and line feed.
  std::string Done();

 private:
  void Key(std::string_view key);
  std::string out_ = "{";
};

// Appends |text| as a JSON string with its quotes: '"', '\' and control characters
// escaped.
void AppendJsonQuoted(std::string_view text, std::string* out);

}  // namespace orvane::service
