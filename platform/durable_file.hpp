// Appending whole lines to files so that they reach stable storage before the
// caller reports success: the line is handed to the operating system in one
// write, then flushed to the device. A failed write is undone (the file is cut
// back to its previous length), so a record never ends up half written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fwk {

enum class DurableResult {
  ok,
  open_failed,   // the file could not be opened (missing, or not writable)
  write_failed,  // writing or flushing failed; the file keeps its previous length
};

// Appends `n` bytes to an EXISTING file (a missing file is not created).
// `offset_out` (may be null) receives the byte offset where the bytes start.
DurableResult durable_append_existing(const char* path, const char* bytes, size_t n,
                                      int64_t* offset_out);

// Appends `n` bytes to a file, creating it when it does not exist yet (the
// behaviour of an "ab" stream). A newly created file's directory entry is
// flushed as well.
DurableResult durable_append(const char* path, const char* bytes, size_t n);

// Replaces a file's contents (creating it when missing): the bytes go to a
// temporary file in the same directory, which is flushed and then renamed
// over the file, and the directory is flushed. At any moment the file holds
// either its old or its new contents.
DurableResult durable_replace(const char* path, const char* bytes, size_t n);

// Creates a NEW file holding the bytes (an existing file is left alone:
// open_failed), flushed with its directory entry. A failed write removes
// the file again.
DurableResult durable_create_new(const char* path, const char* bytes, size_t n);

// Removes a file and flushes its directory. A missing file is no error.
bool durable_remove(const char* path);

// Reads a whole regular file into `bytes`. False when it does not exist, is
// not a regular file or cannot be read.
bool file_read_whole(const char* path, std::string* bytes);

}  // namespace fwk
