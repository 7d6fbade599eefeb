// The form checker as a command: every form of a server root (or the ones
// named), their diagnostics one per line, a summary line and an exit code;
// and the data files a form needs, created when they are missing.
#pragma once

#include <string>
#include <vector>

namespace fwk {

// Exit codes of the checker.
constexpr int kCheckClean = 0;         // no error (warnings may have been shown)
constexpr int kCheckErrors = 1;        // at least one error
constexpr int kCheckRootUnusable = 2;  // the server root cannot be read

struct CheckOptions {
  std::string root;                // the server root, absolute, ending in "/"
  std::string shown_root;          // what paths below the root are shown with, in place of `root`
  std::vector<std::string> forms;  // the forms to check; none: every form of the root
  // The form whose missing data file (and index file) is to be created.
  std::string create_data;
  // The server listens beyond loopback (its default: every interface).
  bool beyond_loopback = true;
};

// Runs the checker. What it reports goes to `out`, a reason it cannot run
// to `err`. Returns kCheckClean, kCheckErrors or kCheckRootUnusable.
int check_run(const CheckOptions& options, std::string& out, std::string& err);

}  // namespace fwk
