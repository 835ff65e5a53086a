// Runs the built drivecat ($DRIVECAT) through the shell and collects its exit
// status, stdout and stderr; reads its --json output with a small strict JSON
// reader (one value, or std::runtime_error naming the offset; \u escapes of
// the Basic Multilingual Plane only; drivecat prints no booleans).
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace ardo::test {

struct ToolRun {
  int status = -1;  // the exit status; -1 when the shell did not exit normally
  std::string out, err;
};

inline std::string ShellQuoted(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// `environment` changes the inherited environment: a value sets a variable,
// nullopt removes it. ARDOXML_DRIVES is removed unless given.
inline ToolRun RunDrivecat(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                           std::map<std::string, std::optional<std::string>> environment = {}) {
  environment.emplace("ARDOXML_DRIVES", std::nullopt);
  const char* tool = std::getenv("DRIVECAT");
  std::string command = "exec env";
  for (const auto& [name, value] : environment)
    command += value ? " " + ShellQuoted(name + "=" + *value) : " -u " + name;
  command += " " + ShellQuoted(tool && *tool ? tool : "tools/drivecat");
  for (const std::string& arg : args) command += " " + ShellQuoted(arg);
  const auto out = scratch / "drivecat.out", err = scratch / "drivecat.err";
  const int wstatus = std::system((command + " </dev/null >" + ShellQuoted(out) + " 2>" + ShellQuoted(err)).c_str());
  auto read = [](const std::filesystem::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
  };
  return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, read(out), read(err)};
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

struct JsonValue {
  char kind = 'n';  // n(ull) d(number) s(tring) a(rray) o(bject)
  double number = 0;
  std::string text;  // a string's value, or a number's source text
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;

  bool IsNull() const { return kind == 'n'; }
  const JsonValue& operator[](const std::string& name) const {
    if (kind != 'o' || !members.count(name)) throw std::runtime_error("no member " + name);
    return members.at(name);
  }

  static JsonValue Parse(const std::string& s) {
    std::size_t i = 0;
    JsonValue v = Read(s, i);
    if (Skip(s, i) != s.size()) Fail(i);
    return v;
  }

 private:
  [[noreturn]] static void Fail(std::size_t at) { throw std::runtime_error("JSON error at offset " + std::to_string(at)); }
  // s[s.size()] is '\0', which no rule below accepts.
  static std::size_t Skip(const std::string& s, std::size_t& i) {
    return i = std::min(s.size(), s.find_first_not_of(" \t\n\r", i));
  }
  static void Eat(const std::string& s, std::size_t& i, char c) {
    if (s[Skip(s, i)] != c) Fail(i);
    ++i;
  }
  static JsonValue Read(const std::string& s, std::size_t& i) {
    JsonValue v;
    const char c = s[Skip(s, i)], close = c == '{' ? '}' : ']';
    static const std::regex kNumber(R"(-?(0|[1-9]\d*)(\.\d+)?([eE][+-]?\d+)?)");
    std::smatch m;
    if (c == '{' || c == '[') {
      v.kind = c == '{' ? 'o' : 'a';
      if (++i, s[Skip(s, i)] == close) return ++i, v;
      do {
        if (c == '[') { v.items.push_back(Read(s, i)); continue; }
        const std::string name = (Skip(s, i), String(s, i));
        Eat(s, i, ':');
        if (!v.members.emplace(name, Read(s, i)).second) Fail(i);
      } while (s[Skip(s, i)] == ',' && ++i);
      Eat(s, i, close);
    } else if (c == '"') {
      v.kind = 's', v.text = String(s, i);
    } else if (s.compare(i, 4, "null") == 0) {
      i += 4;
    } else if (std::regex_search(s.begin() + i, s.end(), m, kNumber, std::regex_constants::match_continuous)) {
      v.kind = 'd', v.text = m.str(), i += v.text.size(), v.number = std::strtod(v.text.c_str(), nullptr);
    } else {
      Fail(i);
    }
    return v;
  }
  static std::string String(const std::string& s, std::size_t& i) {
    if (s[i] != '"') Fail(i);
    std::string out;
    for (unsigned char c; (c = static_cast<unsigned char>(s[++i])) != '"';) {
      if (c < 0x20) Fail(i);  // also the end of the text
      if (c != '\\') { out += static_cast<char>(c); continue; }
      const std::size_t at = std::string("\"\\/bfnrtu").find(s[++i]);
      if (at == std::string::npos) Fail(i);
      if (at < 8) { out += "\"\\/\b\f\n\r\t"[at]; continue; }
      const std::string hex = s.substr(i + 1, 4);
      const unsigned long cp = std::strtoul(hex.c_str(), nullptr, 16);
      if (hex.size() != 4 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos ||
          (cp >= 0xD800 && cp < 0xE000))
        Fail(i);
      i += 4;
      const int tail = cp < 0x80 ? 0 : cp < 0x800 ? 1 : 2;
      out += static_cast<char>(tail == 0 ? cp : (tail == 1 ? 0xC0 : 0xE0) | cp >> 6 * tail);
      for (int k = tail - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((cp >> 6 * k) & 0x3F));
    }
    return ++i, out;
  }
};

}  // namespace ardo::test
