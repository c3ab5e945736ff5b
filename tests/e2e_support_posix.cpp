#include "tests/e2e_support.h"

// Programs are started with posix_spawn, their output sent to files.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

extern char** environ;

namespace e2e {
namespace fs = std::filesystem;

std::string builtProgram(const char* builtIn) { return builtIn; }

RunResult Scratch::run(const std::string& program, const std::vector<std::string>& args) const {
  // Output goes to files outside the scratch folder so that a listing of the
  // folder only shows what the program wrote.
  fs::path outFile = dir_.string() + ".stdout";
  fs::path errFile = dir_.string() + ".stderr";
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, dir_.c_str());
  pid_t pid = 0;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << program;
    return RunResult{};
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return collectRun(WIFEXITED(status) ? WEXITSTATUS(status) : -1, outFile, errFile);
}

}  // namespace e2e
