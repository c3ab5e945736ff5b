#include "tests/e2e_support.h"

// Programs are started with CreateProcessW and a wide command line quoted
// the way CommandLineToArgvW splits it, so that every word, a Japanese file
// name too, arrives unchanged. Their output goes to files.

#include <windows.h>

#include <gtest/gtest.h>

namespace e2e {
namespace fs = std::filesystem;

namespace {

/// One word of a command line, quoted so that it is read back as it stands:
/// backslashes are doubled only where a quote follows them.
std::wstring quoted(const std::wstring& word) {
  if (!word.empty() && word.find_first_of(L" \t\n\v\"") == std::wstring::npos) return word;
  std::wstring q = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : word) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    q.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    q.push_back(c);
  }
  q.append(2 * backslashes, L'\\');
  q.push_back(L'"');
  return q;
}

HANDLE inheritable(const fs::path& p, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  return ::CreateFileW(p.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// The build gives the programs' paths relative to the test's own folder:
// the folder of this .exe, as Windows names it.
std::string builtProgram(const char* builtIn) {
  fs::path p = utf8Path(builtIn);
  if (p.is_absolute()) return builtIn;
  wchar_t self[MAX_PATH * 4];
  DWORD n = ::GetModuleFileNameW(nullptr, self, sizeof self / sizeof self[0]);
  return utf8Text((fs::path(std::wstring(self, n)).parent_path() / p).lexically_normal());
}

RunResult Scratch::run(const std::string& program, const std::vector<std::string>& args) const {
  // Output goes to files outside the scratch folder so that a listing of the
  // folder only shows what the program wrote.
  const fs::path outFile = dir_.wstring() + L".stdout";
  const fs::path errFile = dir_.wstring() + L".stderr";
  const fs::path exe = utf8Path(program);
  std::wstring line = quoted(exe.wstring());
  for (const std::string& a : args) line += L" " + quoted(utf8Path(a).wstring());

  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = inheritable(L"NUL", GENERIC_READ, OPEN_EXISTING);
  si.hStdOutput = inheritable(outFile, GENERIC_WRITE, CREATE_ALWAYS);
  si.hStdError = inheritable(errFile, GENERIC_WRITE, CREATE_ALWAYS);
  PROCESS_INFORMATION pi{};
  BOOL started = si.hStdOutput != INVALID_HANDLE_VALUE && si.hStdError != INVALID_HANDLE_VALUE &&
                 ::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  dir_.c_str(), &si, &pi);
  for (HANDLE h : {si.hStdInput, si.hStdOutput, si.hStdError}) {
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
  if (!started) {
    ADD_FAILURE() << "cannot start " << program << " (error " << ::GetLastError() << ")";
    return RunResult{};
  }
  ::WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  // An exception code (0xC0000005 and the like) is no exit status.
  return collectRun(code <= 255 ? static_cast<int>(code) : -1, outFile, errFile);
}

}  // namespace e2e
