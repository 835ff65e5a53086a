// A strict JSON reader for checking drivecat's --json output: one value with
// optional white space around it, as RFC 8259 has it, or std::runtime_error
// naming the offset. \u escapes are accepted for the Basic Multilingual Plane
// outside the surrogates, which is all drivecat writes.
#pragma once

#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace ardo::test {

struct JsonValue {
  enum class Kind { Null, Bool, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;  // a string's value, or a number's source text
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  bool IsNull() const { return kind == Kind::Null; }
  // Member `name` of an object; throws when there is none.
  const JsonValue& operator[](const std::string& name) const {
    auto it = members.find(name);
    if (kind != Kind::Object || it == members.end()) throw std::runtime_error("no member " + name);
    return it->second;
  }
};

class JsonReader {
 public:
  static JsonValue Parse(const std::string& text) {
    JsonReader reader(text);
    JsonValue value = reader.Value(0);
    reader.Space();
    if (reader.pos_ != text.size()) reader.Fail("text after the value");
    return value;
  }

 private:
  explicit JsonReader(const std::string& text) : s_(text) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
  }
  char Peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }
  bool Digit() const { return Peek() >= '0' && Peek() <= '9'; }
  void Expect(const char* word) {
    for (const char* p = word; *p; ++p, ++pos_)
      if (Peek() != *p) Fail(std::string("expected '") + word + "'");
  }
  void Space() {
    while (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r') ++pos_;
  }
  void Digits() {
    if (!Digit()) Fail("expected a digit");
    while (Digit()) ++pos_;
  }

  JsonValue Value(int depth) {
    if (depth > 32) Fail("nesting too deep");
    Space();
    JsonValue v;
    const char c = Peek();
    if (c == '{' || c == '[') {
      v.kind = c == '{' ? JsonValue::Kind::Object : JsonValue::Kind::Array;
      const char* close = c == '{' ? "}" : "]";
      ++pos_;
      Space();
      if (Peek() == *close) return ++pos_, v;
      do {
        if (c == '[') {
          v.items.push_back(Value(depth + 1));
        } else {
          Space();
          const std::string name = String();
          if (v.members.count(name)) Fail("repeated member " + name);
          Space();
          Expect(":");
          v.members[name] = Value(depth + 1);
        }
        Space();
      } while (Peek() == ',' && ++pos_);
      Expect(close);
    } else if (c == '"') {
      v.kind = JsonValue::Kind::String;
      v.text = String();
    } else if (c == 't' || c == 'f') {
      Expect(c == 't' ? "true" : "false");
      v.kind = JsonValue::Kind::Bool;
      v.boolean = c == 't';
    } else if (c == 'n') {
      Expect("null");
    } else {
      const std::size_t start = pos_;
      if (Peek() == '-') ++pos_;
      if (Peek() == '0') ++pos_;
      else Digits();
      if (Peek() == '.') ++pos_, Digits();
      if (Peek() == 'e' || Peek() == 'E') {
        ++pos_;
        if (Peek() == '+' || Peek() == '-') ++pos_;
        Digits();
      }
      v.kind = JsonValue::Kind::Number;
      v.text = s_.substr(start, pos_ - start);
      v.number = std::strtod(v.text.c_str(), nullptr);
    }
    return v;
  }

  std::string String() {
    Expect("\"");
    std::string out;
    for (;;) {
      const auto c = static_cast<unsigned char>(Peek());
      if (pos_ >= s_.size()) Fail("unterminated string");
      ++pos_;
      if (c == '"') return out;
      if (c < 0x20) Fail("control character in a string");
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      const char e = Peek();
      ++pos_;
      const std::string simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
      if (const auto at = simple.find(e); e && at != std::string::npos) {
        out += meaning[at];
      } else if (e == 'u') {
        const std::string hex = s_.substr(pos_, 4);
        char* end = nullptr;
        const unsigned long cp = std::strtoul(hex.c_str(), &end, 16);
        if (hex.size() != 4 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos ||
            end != hex.c_str() + 4 || (cp >= 0xD800 && cp < 0xE000))
          Fail("bad \\u escape");
        pos_ += 4;
        if (cp < 0x80) out += static_cast<char>(cp);
        else if (cp < 0x800) out += {static_cast<char>(0xC0 | cp >> 6), static_cast<char>(0x80 | (cp & 0x3F))};
        else out += {static_cast<char>(0xE0 | cp >> 12), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                     static_cast<char>(0x80 | (cp & 0x3F))};
      } else {
        Fail("bad escape");
      }
    }
  }

  const std::string& s_;
  std::size_t pos_ = 0;
};

}  // namespace ardo::test
