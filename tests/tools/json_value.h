// A small strict JSON reader for drivecat's --json output: one value, or
// std::runtime_error naming the offset. \u escapes: Basic Multilingual Plane only.
#pragma once

#include <cstdlib>
#include <map>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace ardo::test {

struct JsonValue {
  char kind = 'n';  // n(ull) b(ool) d(number) s(tring) a(rray) o(bject)
  double number = 0;
  std::string text;  // a string's value, or a number's or literal's source text
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  bool IsNull() const { return kind == 'n'; }
  const JsonValue& operator[](const std::string& name) const {
    if (kind != 'o' || !members.count(name)) throw std::runtime_error("no member " + name);
    return members.at(name);
  }
};

class JsonReader {
 public:
  static JsonValue Parse(const std::string& text) {
    JsonReader r{text};
    JsonValue v = r.Value();
    if (r.Skip(), r.i_ != text.size()) r.Fail();
    return v;
  }

 private:
  explicit JsonReader(const std::string& text) : s_(text) {}
  const std::string& s_;
  std::size_t i_ = 0;
  [[noreturn]] void Fail() const { throw std::runtime_error("JSON error at offset " + std::to_string(i_)); }
  char Peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
  void Skip() { i_ = std::min(s_.size(), s_.find_first_not_of(" \t\n\r", i_)); }
  void Eat(const std::string& word) {
    if (s_.compare(i_, word.size(), word) != 0) Fail();
    i_ += word.size();
  }
  JsonValue Value() {
    Skip();
    JsonValue v;
    const char c = Peek(), close = c == '{' ? '}' : ']';
    std::smatch m;
    static const std::regex kNumber(R"(-?(0|[1-9]\d*)(\.\d+)?([eE][+-]?\d+)?)"), kLiteral("true|false|null");
    if (c == '{' || c == '[') {
      v.kind = c == '{' ? 'o' : 'a';
      if (++i_, Skip(), Peek() == close) return ++i_, v;
      do {
        if (c == '[') { v.items.push_back(Value()); continue; }
        Skip();
        const std::string name = String();
        Skip(), Eat(":");
        if (!v.members.emplace(name, Value()).second) Fail();
      } while (Skip(), Peek() == ',' && ++i_);
      Eat(std::string(1, close));
    } else if (c == '"') {
      v.kind = 's', v.text = String();
    } else if (std::regex_search(s_.begin() + i_, s_.end(), m, c > '9' ? kLiteral : kNumber,
                                 std::regex_constants::match_continuous)) {
      v.text = m.str(), i_ += v.text.size();
      v.kind = c > '9' ? v.text[0] : 'd', v.number = std::strtod(v.text.c_str(), nullptr);
      if (v.kind == 't' || v.kind == 'f') v.kind = 'b';
    } else {
      Fail();
    }
    return v;
  }
  std::string String() {
    Eat("\"");
    std::string out;
    for (unsigned char c; (c = static_cast<unsigned char>(Peek())) != '"'; ++i_) {
      if (c < 0x20) Fail();  // also the end of the text
      if (c != '\\') { out += static_cast<char>(c); continue; }
      const std::size_t at = std::string("\"\\/bfnrtu").find(s_[++i_]);
      if (at == std::string::npos || !Peek()) Fail();
      if (at < 8) { out += "\"\\/\b\f\n\r\t"[at]; continue; }
      const std::string hex = s_.substr(i_ + 1, 4);
      const unsigned long cp = std::strtoul(hex.c_str(), nullptr, 16);
      if (hex.size() != 4 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos ||
          (cp >= 0xD800 && cp < 0xE000))
        Fail();
      i_ += 4;
      const int tail = cp < 0x80 ? 0 : cp < 0x800 ? 1 : 2;
      out += static_cast<char>(tail == 0 ? cp : (tail == 1 ? 0xC0 : 0xE0) | cp >> 6 * tail);
      for (int k = tail - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((cp >> 6 * k) & 0x3F));
    }
    return ++i_, out;
  }
};

}  // namespace ardo::test
