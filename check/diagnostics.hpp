// The checker's findings: "file:line: error|warning: message", one per
// line, and the summary after them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "script/source_check.hpp"

namespace fwk {

struct Diagnostic {
  std::string file;  // path as shown
  int line = 1;
  SourceSeverity severity = SourceSeverity::error;
  std::string message;
};

struct Diagnostics {
  // Paths are shown as this prefix followed by their part below the root
  // (the root as the user named it), or as they stand outside the root.
  std::string root;
  std::string shown_root;
  std::vector<Diagnostic> items;
  // Texts of the files whose offsets have been turned into lines.
  std::map<std::string, std::string> texts;
};

// Adds a finding about `path` (a path below the root, or any path).
void diag_add(Diagnostics& diags, const std::string& path, int line, SourceSeverity severity,
              std::string message);

// Adds the problems a checking pass noted, at their lines.
void diag_add_problems(Diagnostics& diags, const SourceCheck& check);

// The line (from 1) of the byte at `offset` in the file at `path`.
int diag_line_of(Diagnostics& diags, const std::string& path, long offset);

// How `path` is shown: relative to the root as the user named it.
std::string diag_shown_path(const Diagnostics& diags, const std::string& path);

// The findings from `first` on, sorted by file and line (errors before
// warnings on one line), each as "file:line: error: message\n".
std::string diag_text(Diagnostics& diags, std::size_t first = 0);

std::size_t diag_count(const Diagnostics& diags, SourceSeverity severity);

}  // namespace fwk
