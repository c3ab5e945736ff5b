// dataport: one job per start. The Job is built from the command line, runs
// the mode the options chose, and writes out its files. Every error arrives
// here as a message text, which is written unchanged to standard error; the
// exit status is 1 after an error text and 0 after a successful run. A
// command line that asks for help or the version gets that and no job.

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "dataport/failure.h"
#include "dataport/io/arguments.h"
#include "dataport/io/console.h"
#include "dataport/job.h"
#include "dataport/usage.h"

namespace {

using dataport::Failure;
using dataport::Job;

void printText(const std::string& text) { dataport::io::errText(text.data(), text.size()); }
/// For the texts of a run that ran out of memory: no allocation on the way.
void printLiteral(const char* text) { dataport::io::errText(text, std::strlen(text)); }

/// Prints the usage text or the version line; 1 when it cannot be written.
int answer(const std::string& text) {
  std::fputs(text.c_str(), stdout);
  if (std::fflush(stdout) == 0) return 0;
  printLiteral("error writing standard output\n");
  return 1;
}

int runJob(int argc, char** argv) {
  std::unique_ptr<Job> job;
  try {
    job = std::make_unique<Job>(argc, argv);
  } catch (const Failure& f) {
    printText(f.text);
    return 1;
  }

  try {
    job->run();
  } catch (const Failure& f) {
    // What the mode wrote before the error stays: write it out and close
    // the files, then end the Job and report.
    std::optional<std::string> closeError;
    try {
      job->finishFiles();
    } catch (const Failure& g) {
      closeError = g.text;
    }
    job.reset();
    printText(f.text);
    // Every output left incomplete is named, the one that ended the run
    // only once.
    if (closeError) printText(*closeError);
    return 1;
  }

  try {
    job->finishFiles();
  } catch (const Failure& f) {
    job.reset();
    printText(f.text);
    return 1;
  }
  job.reset();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int status = 1;
  try {
    // The words in UTF-8 (on Windows from the wide command line).
    std::vector<std::string> words = dataport::io::commandLineWords(argc, argv);
    std::vector<char*> args;
    for (std::string& w : words) args.push_back(w.data());
    args.push_back(nullptr);
    const int count = static_cast<int>(words.size());
    switch (dataport::requestOf(count, args.data())) {
      case dataport::Request::kHelp: return answer(dataport::kUsage);
      case dataport::Request::kVersion: return answer(dataport::versionLine());
      case dataport::Request::kJob: status = runJob(count, args.data()); break;
    }
  } catch (const std::bad_alloc&) {
    printLiteral("error: out of memory\n");
  } catch (const std::exception& e) {
    printText(std::string("error: ") + e.what() + "\n");
  } catch (...) {
    printLiteral("error: unexpected failure\n");
  }
  dataport::io::flushOut();
  return status;
}
