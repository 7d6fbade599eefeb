// A scratch file for a library that writes its output to a file it opens by
// name: nobody else sees it, and it is gone once closed (a file with no name
// where the system has them, else one that is removed when closed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fwk {

struct TempFile {
  int descriptor = -1;  // open for reading and writing
  std::string path;     // a name that opens this same file
  bool named = false;   // `path` is a directory entry, removed on closing

  TempFile() = default;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();
};

// Makes a scratch file in $TMPDIR (else /tmp). False when none can be made.
bool temp_file_create(TempFile& file);

// Reads up to `size` bytes at `offset`: the count, 0 at the end, -1 on an
// error.
long temp_file_read(const TempFile& file, int64_t offset, char* buffer, size_t size);

}  // namespace fwk
