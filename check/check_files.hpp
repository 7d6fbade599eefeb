// What the checker asks of the files a form names.
#pragma once

#include <string>

namespace fwk {

// The whole file ("" when it does not open).
std::string file_text_of(const std::string& path);

// True when a regular file at `path` opens for reading.
bool file_readable(const std::string& path);

}  // namespace fwk
