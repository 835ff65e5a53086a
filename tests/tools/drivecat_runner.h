// Runs the built drivecat ($DRIVECAT) as a child process and collects its
// exit status, stdout and stderr.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace ardo::test {

struct ToolRun {
  int status = -1;  // the exit status; -1 when the tool did not exit normally
  std::string out;
  std::string err;
};

inline std::string DrivecatPath() {
  if (const char* path = std::getenv("DRIVECAT"); path && *path) return path;
  // Run by hand: the tool sits in the build tree beside the test program.
  std::error_code ignored;
  return (std::filesystem::read_symlink("/proc/self/exe", ignored).parent_path() / "tools" / "drivecat").string();
}

inline std::string SourceDir() {
  const char* dir = std::getenv("ARDO_SOURCE_DIR");
  return dir && *dir ? dir : ".";
}

inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// `environment` changes the inherited environment: a value sets a variable,
// nullopt removes it. ARDOXML_DRIVES is removed unless given, so that the
// caller's own setting cannot change what the tests see.
inline ToolRun RunDrivecat(const std::vector<std::string>& args, const std::filesystem::path& scratch,
                           std::map<std::string, std::optional<std::string>> environment = {}) {
  environment.emplace("ARDOXML_DRIVES", std::nullopt);
  std::vector<std::string> envText;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    if (!environment.count(entry.substr(0, entry.find('=')))) envText.push_back(entry);
  }
  for (const auto& [name, value] : environment)
    if (value) envText.push_back(name + "=" + *value);

  const std::string tool = DrivecatPath();
  std::vector<std::string> argText = {tool};
  argText.insert(argText.end(), args.begin(), args.end());
  std::vector<char*> argv, envp;
  for (auto& a : argText) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);

  const std::string outPath = (scratch / "drivecat.out").string();
  const std::string errPath = (scratch / "drivecat.err").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, tool.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot run " + tool + ": " + std::strerror(spawned));

  int wstatus = 0;
  while (waitpid(child, &wstatus, 0) < 0 && errno == EINTR) {
  }
  ToolRun run;
  run.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  run.out = ReadWholeFile(outPath);
  run.err = ReadWholeFile(errPath);
  return run;
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
