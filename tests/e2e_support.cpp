#include "tests/e2e_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

extern char** environ;

namespace e2e {
namespace fs = std::filesystem;

Scratch::Scratch() {
  std::random_device rd;
  for (;;) {
    fs::path p = fs::temp_directory_path() / ("dp_e2e_" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      dir_ = p;
      return;
    }
  }
}

Scratch::~Scratch() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string Scratch::path(const std::string& name) const { return (dir_ / name).string(); }

void Scratch::write(const std::string& name, const Bytes& bytes) const {
  std::ofstream f(path(name), std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(f.good()) << "cannot write " << name;
}

Bytes Scratch::read(const std::string& name) const {
  std::ifstream f(path(name), std::ios::binary);
  EXPECT_TRUE(f.good()) << "cannot read " << name;
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool Scratch::exists(const std::string& name) const { return fs::exists(dir_ / name); }

static std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

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
  RunResult r;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    ADD_FAILURE() << "cannot start " << program;
    return r;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = slurp(outFile);
  r.err = slurp(errFile);
  std::error_code ec;
  fs::remove(outFile, ec);
  fs::remove(errFile, ec);
  return r;
}

static std::string binary(const char* var, const char* builtIn) {
  const char* p = std::getenv(var);
  return (p != nullptr && *p != '\0') ? p : builtIn;
}

RunResult Scratch::dataport(const std::vector<std::string>& args) const {
  return run(binary("DATAPORT_BIN", DATAPORT_PATH), args);
}

RunResult Scratch::dataportVia(const std::vector<std::string>& wrapper,
                               const std::vector<std::string>& args) const {
  std::vector<std::string> words(wrapper.begin() + 1, wrapper.end());
  words.push_back(binary("DATAPORT_BIN", DATAPORT_PATH));
  words.insert(words.end(), args.begin(), args.end());
  return run(wrapper.front(), words);
}

RunResult Scratch::mendbin(const std::vector<std::string>& args) const {
  return run(binary("MENDBIN_BIN", MENDBIN_PATH), args);
}

Bytes le(std::uint64_t v, int width) {
  Bytes b;
  for (int i = 0; i < width; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return b;
}

Bytes fillBytes(std::size_t n, char b) { return Bytes(n, b); }

Bytes defaultSeparator() { return Bytes("\r\n******xEnDx******\r\n", 21); }

}  // namespace e2e
