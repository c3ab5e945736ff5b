#include "tests/e2e_support.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

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

fs::path utf8Path(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

std::string utf8Text(const fs::path& p) {
  const std::u8string u = p.u8string();
  return std::string(u.begin(), u.end());
}

std::string Scratch::path(const std::string& name) const { return utf8Text(dir_ / utf8Path(name)); }

void Scratch::write(const std::string& name, const Bytes& bytes) const {
  std::ofstream f(dir_ / utf8Path(name), std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(f.good()) << "cannot write " << name;
}

Bytes Scratch::read(const std::string& name) const {
  std::ifstream f(dir_ / utf8Path(name), std::ios::binary);
  EXPECT_TRUE(f.good()) << "cannot read " << name;
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool Scratch::exists(const std::string& name) const { return fs::exists(dir_ / utf8Path(name)); }

Bytes slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

RunResult collectRun(int status, const fs::path& outFile, const fs::path& errFile) {
  RunResult r;
  r.status = status;
  r.out = slurp(outFile);
  r.err = slurp(errFile);
  std::error_code ec;
  fs::remove(outFile, ec);
  fs::remove(errFile, ec);
  return r;
}

static std::string binary(const char* var, const char* builtIn) {
  const char* p = std::getenv(var);
  return (p != nullptr && *p != '\0') ? p : builtProgram(builtIn);
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
