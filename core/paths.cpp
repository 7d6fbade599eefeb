#include "core/paths.hpp"

#include <algorithm>

#include "platform/regular_file.hpp"

namespace fwk {

namespace {

bool is_separator(char c) {
  return c == '/' || c == '\\';
}

}  // namespace

bool path_join(const char* base, std::string& out, const char* name, const char* ext) {
  if (!name) name = "";
  std::string path;
  if (!is_separator(*name)) {
    std::string dir = base ? base : "";
    size_t slash = dir.rfind('/');
    if (slash != std::string::npos) path = dir.substr(0, slash + 1);
  }
  size_t appended_at = path.size();
  path += name;
  if (ext) path += ext;
  std::replace(path.begin() + static_cast<std::ptrdiff_t>(appended_at), path.end(), '\\', '/');
  if (path.size() >= kPathArea) {
    out.clear();
    return false;
  }
  out = std::move(path);
  return true;
}

FilePtr file_open(const char* path, const char* mode, OpenFailure* failure) {
  return file_open_regular(path, mode, failure);
}

FilePtr path_open_binary(const char* base, const char* name, const char* ext) {
  if (!name || !*name) return nullptr;
  std::string path;
  if (!path_join(base, path, name, ext)) return nullptr;
  return file_open(path.c_str(), "rb");
}

}  // namespace fwk
