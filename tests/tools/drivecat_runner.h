// Runs the built drivecat ($DRIVECAT) through the shell and collects its exit
// status, stdout and stderr.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace ardo::test {

struct ToolRun {
  int status = -1;  // the exit status; -1 when the shell did not exit normally
  std::string out;
  std::string err;
};

inline std::string SourceDir() {
  const char* dir = std::getenv("ARDO_SOURCE_DIR");
  return dir && *dir ? dir : ".";
}

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

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
  return {WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1, ReadWholeFile(out), ReadWholeFile(err)};
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

}  // namespace ardo::test
