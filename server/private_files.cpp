#include "server/private_files.hpp"

#include <string_view>
#include <vector>

#include "core/ini.hpp"
#include "core/paths.hpp"
#include "core/text_util.hpp"
#include "platform/dirsearch.hpp"
#include "platform/regular_file.hpp"

namespace fwk {

namespace {

constexpr const char* kPrivateExtensions[] = {".ini", ".val", ".asc", ".respcount"};
constexpr const char* kPrivateNames[] = {"outbox.fwk", "outbox.bak", "outbox.bad"};
// The keys of a form's section "DATABASE" that name files it keeps.
constexpr const char* kFileKeys[] = {"SAVEDATANAME", "SAVEINDEXNAME", "SAVEXMLNAME", "PWDFILE"};
// Configured file names use at most this many characters.
constexpr size_t kConfiguredNameLimit = 1000;

bool is_separator(char c) {
  return c == '/' || c == '\\';
}

bool ends_with_nocase(std::string_view text, std::string_view suffix) {
  return suffix.size() <= text.size() &&
         text_compare_nocase_n(text.data() + text.size() - suffix.size(), suffix.data(),
                               suffix.size()) == 0;
}

std::string_view last_part(std::string_view path) {
  size_t cut = path.find_last_of("/\\");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

// The first directory of the path, passing over "." and empty parts; ""
// when the file lies in the root itself.
std::string_view first_directory(std::string_view path) {
  for (;;) {
    size_t cut = 0;
    while (cut < path.size() && !is_separator(path[cut])) ++cut;
    if (cut == path.size()) return {};
    std::string_view part = path.substr(0, cut);
    if (!part.empty() && part != ".") return part;
    path.remove_prefix(cut + 1);
  }
}

// A directory of the root is a form's page directory when the root holds
// a configuration file of the same name (any case, as the directory
// search matches).
bool is_page_directory(const std::string& root, std::string_view directory) {
  std::string pattern(directory);
  pattern += ".ini";
  return !dir_search(root, pattern.c_str()).empty();
}

// True when one of the files the form's configuration names is `target`.
bool form_names_file(const std::string& root, const std::string& config,
                     const FileIdentity& target) {
  std::string config_path = root + config;
  ParamListPtr section = ini_read_section(config_path.c_str(), "DATABASE", 0);
  if (!section) return false;
  for (const char* key : kFileKeys) {
    std::string name = plist_get(section.get(), key, "");
    if (name.empty()) continue;
    if (name.size() > kConfiguredNameLimit) name.resize(kConfiguredNameLimit);
    std::string path;
    FileIdentity id;
    if (path_join(root.c_str(), path, name.c_str()) && path_identity(path.c_str(), &id) &&
        id == target)
      return true;
    // A name used as it stands (relative to the working directory).
    if (path_identity(name.c_str(), &id) && id == target) return true;
  }
  return false;
}

}  // namespace

bool name_is_private(const char* path) {
  std::string_view name = last_part(path);
  for (const char* extension : kPrivateExtensions) {
    if (ends_with_nocase(name, extension)) return true;
  }
  for (const char* kept : kPrivateNames) {
    if (name.size() == std::string_view(kept).size() && ends_with_nocase(name, kept)) return true;
  }
  return false;
}

bool file_is_private(const std::string& root, const char* path, std::FILE* file) {
  if (name_is_private(path)) return true;
  std::string_view directory = first_directory(path);
  if (!directory.empty() && is_page_directory(root, directory)) return true;
  FileIdentity target;
  if (!file_identity(file, &target)) return true;
  for (const std::string& config : dir_search(root, "*.ini")) {
    if (form_names_file(root, config, target)) return true;
  }
  return false;
}

}  // namespace fwk
