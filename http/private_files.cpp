#include "http/private_files.hpp"

#include <filesystem>
#include <string_view>

#include "core/ascii.hpp"
#include "core/ini.hpp"
#include "core/limits.hpp"
#include "core/paths.hpp"
#include "core/text_util.hpp"
#include "platform/clock.hpp"
#include "platform/dirsearch.hpp"
#include "platform/durable_file.hpp"

namespace fwk {

namespace {

constexpr const char* kPrivateExtensions[] = {".ini", ".val", ".asc", ".respcount"};
constexpr const char* kPrivateNames[] = {"outbox.fwk", "outbox.bak", "outbox.bad"};
// The keys of a form's section "DATABASE" that name files it keeps.
constexpr const char* kFileKeys[] = {"SAVEDATANAME", "SAVEINDEXNAME", "SAVEXMLNAME", "PWDFILE"};
constexpr std::string_view kConfigExtension = ".ini";

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

void add_named_files(PrivateFiles& forms, const std::string& config,
                     const std::string& working_directory) {
  std::string config_path = forms.root + config;
  ParamListPtr section = ini_read_section(config_path.c_str(), "DATABASE", 0);
  if (!section) return;
  for (const char* key : kFileKeys) {
    std::string name = plist_get(section.get(), key, "");
    if (name.empty()) continue;
    if (name.size() > kConfiguredNameLimit) name.resize(kConfiguredNameLimit);
    std::string path;
    if (path_join(forms.root.c_str(), path, name.c_str())) {
      forms.named_files.push_back(normalised(path));
    }
    // The name as it stands, as a program started elsewhere would open it.
    if (!is_separator(name[0])) {
      forms.named_files.push_back(normalised(working_directory + "/" + name));
    }
  }
}

void read_forms(PrivateFiles& forms, int64_t root_stamp) {
  forms.forms.clear();
  forms.named_files.clear();
  std::error_code error;
  std::string working_directory = std::filesystem::current_path(error).string();
  for (const std::string& config : dir_search(forms.root, "*.ini")) {
    if (config == "cgi.ini") continue;  // the server's own settings
    std::string form = config.substr(0, config.size() - kConfigExtension.size());
    forms.forms.push_back(normalised(form));
    add_named_files(forms, config, working_directory);
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
