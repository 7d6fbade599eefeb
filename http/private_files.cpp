#include "http/private_files.hpp"

#include <filesystem>
#include <string_view>

#include "core/ascii.hpp"
#include "core/text_util.hpp"
#include "forms/form_config.hpp"
#include "platform/clock.hpp"
#include "platform/dirsearch.hpp"
#include "platform/durable_file.hpp"

namespace fwk {

namespace {

constexpr const char* kPrivateExtensions[] = {".ini", ".val", ".asc", ".respcount"};
constexpr const char* kPrivateNames[] = {"outbox.fwk", "outbox.bak", "outbox.bad",
                                         "outbox.journal", "outbox.lock"};

bool is_separator(char c) {
  return c == '/' || c == '\\';
}

std::string_view last_part(std::string_view path) {
  size_t cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// The path folded to lower case with "." and empty parts left out and "/"
// between the parts (a leading "/" kept): every way of writing one name
// gives the same text. ".." parts are kept as they stand.
std::string normalised(std::string_view path) {
  std::string out;
  if (!path.empty() && is_separator(path[0])) out = "/";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !is_separator(path[end])) ++end;
    std::string_view part = path.substr(start, end - start);
    if (!part.empty() && part != ".") {
      if (!out.empty() && out.back() != '/') out.push_back('/');
      for (char c : part) out.push_back(static_cast<char>(ascii_fold(c)));
    }
    start = end + 1;
  }
  return out;
}

// The first directory of a path relative to the root, folded; "" when the
// file lies in the root itself.
std::string first_directory(std::string_view path) {
  std::string folded = normalised(path);
  size_t slash = folded.find('/');
  return slash == std::string::npos ? std::string() : folded.substr(0, slash);
}

void read_forms(PrivateFiles& forms, int64_t root_stamp) {
  forms.forms.clear();
  forms.named_files.clear();
  std::error_code error;
  std::string working_directory = std::filesystem::current_path(error).string();
  for (const std::string& config : dir_search(forms.root, "*.ini")) {
    if (config == "cgi.ini") continue;  // the server's own settings
    FormConfig form = form_config_read_file(forms.root, config);
    forms.forms.push_back(normalised(form.name));
    for (const std::string& path : form_private_paths(form, forms.root, working_directory))
      forms.named_files.push_back(normalised(path));
  }
  forms.read = true;
  forms.root_stamp = root_stamp;
  forms.read_at_ms = clock_tick_ms();
}

void refresh(PrivateFiles& forms) {
  int64_t stamp = 0;
  if (!path_modified_ns(forms.root, &stamp)) stamp = -1;
  if (forms.read && stamp == forms.root_stamp &&
      clock_tick_ms() - forms.read_at_ms < kPrivateRecheckMs)
    return;
  read_forms(forms, stamp);
}

}  // namespace

bool name_is_private(const char* path) {
  std::string_view name = last_part(path);
  // A temporary file holds what its file is about to hold.
  if (name_is_temporary(name)) return true;
  for (const char* extension : kPrivateExtensions) {
    if (text_ends_nocase(name, extension)) return true;
  }
  for (const char* kept : kPrivateNames) {
    if (name.size() == std::string_view(kept).size() && text_ends_nocase(name, kept)) return true;
  }
  return false;
}

bool file_is_private(PrivateFiles& forms, const char* path) {
  if (name_is_private(path)) return true;
  refresh(forms);
  std::string directory = first_directory(path);
  for (const std::string& form : forms.forms) {
    if (!directory.empty() && form == directory) return true;
  }
  std::string full = normalised(forms.root + path);
  for (const std::string& named : forms.named_files) {
    if (named == full) return true;
  }
  return false;
}

}  // namespace fwk
