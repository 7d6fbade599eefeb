#include "check/diagnostics.hpp"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <utility>

#include "check/check_files.hpp"

namespace fwk {

namespace {

const std::string& file_text(Diagnostics& diags, const std::string& path) {
  auto found = diags.texts.find(path);
  if (found != diags.texts.end()) return found->second;
  return diags.texts.emplace(path, file_text_of(path)).first->second;
}

}  // namespace

std::string diag_shown_path(const Diagnostics& diags, const std::string& path) {
  if (path.compare(0, diags.root.size(), diags.root) != 0) return path;
  return diags.shown_root + path.substr(diags.root.size());
}

void diag_add(Diagnostics& diags, const std::string& path, int line, SourceSeverity severity,
              std::string message) {
  // Paths in the message are shown as the file's is.
  if (!diags.root.empty() && diags.root != diags.shown_root) {
    for (std::size_t at = message.find(diags.root); at != std::string::npos;
         at = message.find(diags.root, at + diags.shown_root.size())) {
      message.replace(at, diags.root.size(), diags.shown_root);
    }
  }
  diags.items.push_back({diag_shown_path(diags, path), line, severity, std::move(message)});
}

int diag_line_of(Diagnostics& diags, const std::string& path, long offset) {
  const std::string& text = file_text(diags, path);
  // A statement's place is where its reading began, often in the blanks
  // before it: the line is that of what follows.
  std::size_t at =
      static_cast<std::size_t>(std::clamp<long>(offset, 0, static_cast<long>(text.size())));
  while (at < text.size() && std::strchr(" \t\r\n", text[at]) != nullptr) ++at;
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
}

void diag_add_problems(Diagnostics& diags, const SourceCheck& check) {
  for (const SourceProblem& problem : check.problems) {
    diag_add(diags, problem.place.file,
             diag_line_of(diags, problem.place.file, problem.place.offset), problem.severity,
             problem.message);
  }
}

std::string diag_text(Diagnostics& diags, std::size_t first) {
  auto begin = diags.items.begin() + static_cast<long>(std::min(first, diags.items.size()));
  std::stable_sort(begin, diags.items.end(), [](const Diagnostic& a, const Diagnostic& b) {
    return std::tie(a.file, a.line, a.severity) < std::tie(b.file, b.line, b.severity);
  });
  // The same finding made twice (a file read for two pages) is shown once.
  diags.items.erase(std::unique(begin, diags.items.end(),
                                [](const Diagnostic& a, const Diagnostic& b) {
                                  return a.file == b.file && a.line == b.line &&
                                         a.severity == b.severity && a.message == b.message;
                                }),
                    diags.items.end());
  std::string text;
  for (auto it = begin; it != diags.items.end(); ++it) {
    text += it->file + ":" + std::to_string(it->line) + ": " +
            (it->severity == SourceSeverity::error ? "error: " : "warning: ") + it->message + "\n";
  }
  return text;
}

std::size_t diag_count(const Diagnostics& diags, SourceSeverity severity) {
  return static_cast<std::size_t>(
      std::count_if(diags.items.begin(), diags.items.end(),
                    [severity](const Diagnostic& d) { return d.severity == severity; }));
}

}  // namespace fwk
