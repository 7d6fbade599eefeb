// An open stdio file, owned: closed when its owner goes, and only here.
#pragma once

#include <cstdio>
#include <memory>

namespace fwk {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace fwk
