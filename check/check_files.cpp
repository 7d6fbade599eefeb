#include "check/check_files.hpp"

#include "core/connection.hpp"
#include "core/paths.hpp"
#include "platform/durable_file.hpp"

namespace fwk {

std::string file_text_of(const std::string& path) {
  std::string text;
  if (!file_read_whole(path.c_str(), &text)) text.clear();
  return text;
}

bool file_readable(const std::string& path) {
  FilePtr file(file_open(path.c_str(), "rb"));
  return file != nullptr;
}

}  // namespace fwk
