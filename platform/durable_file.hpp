// Making files durable: every byte the program keeps (answers, counters,
// the outbox, the registry) reaches stable storage through these functions
// before the caller reports success. Appends go to the device in one write
// and a flush, and a failed one is undone; replacements go through a
// temporary file renamed over the old one; marks overwrite bytes in place.
// Each write, flush and rename passes a fault point (platform/fault_points).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/descriptor.hpp"

namespace fwk {

enum class DurableResult {
  ok,
  open_failed,   // the file could not be opened (missing, or not writable)
  write_failed,  // writing or flushing failed; the file keeps its previous contents
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
// temporary file in the same directory (see name_is_temporary), which is
// flushed and then renamed over the file, and the directory is flushed. At
// any moment the file holds either its old or its new contents. An
// existing file keeps its permissions.
DurableResult durable_replace(const char* path, const char* bytes, size_t n);

// Overwrites the byte at each of `offsets` of an existing regular file with
// `byte`, then flushes the file once. Offsets at or past the end of the
// file are refused (nothing is written then).
DurableResult durable_put_bytes(const char* path, const std::vector<int64_t>& offsets, char byte);

// Cuts an existing regular file back to `length` bytes (a torn last line
// left by a crash) and flushes it.
DurableResult durable_cut_back(const char* path, int64_t length);

// A replacement made in two steps, so that the bulk of a large file can be
// written and flushed while others may still append to the original: the
// temporary is written first, a tail can be added later, and the commit
// renames it over the file. Destroying an uncommitted one removes the
// temporary. Files made here (and by durable_append, durable_replace) take
// the owner of their directory when the process runs as root, so that an
// operator's command never leaves a file the server cannot write.
struct StagedReplace {
  std::string path;
  std::string temp;
  Descriptor fd;  // the temporary, until it is committed
  StagedReplace() = default;
  StagedReplace(const StagedReplace&) = delete;
  StagedReplace& operator=(const StagedReplace&) = delete;
  ~StagedReplace();
};

// Writes `bytes` to the temporary of `path` and flushes it.
DurableResult durable_stage(StagedReplace& stage, const char* path, const char* bytes, size_t n);

// Adds bytes to a staged temporary.
DurableResult durable_stage_add(StagedReplace& stage, const char* bytes, size_t n);

// Flushes the temporary, renames it over the file and flushes the directory.
DurableResult durable_stage_commit(StagedReplace& stage);

// Gives a file that root has just made to the owner of its directory (when
// the process runs as root and the directory is not root's).
void adopt_directory_owner(int fd, const char* path);

// Creates a NEW file holding the bytes (an existing file is left alone:
// open_failed), flushed with its directory entry. A failed write removes
// the file again.
DurableResult durable_create_new(const char* path, const char* bytes, size_t n);

// Removes a file and flushes its directory. A missing file is no error.
bool durable_remove(const char* path);

// The last byte of a file in `byte`. False when the file is missing, empty
// or cannot be read.
bool file_read_last_byte(const char* path, char* byte);

// Reads a whole regular file into `bytes`. False when it does not exist, is
// not a regular file or cannot be read.
bool file_read_whole(const char* path, std::string* bytes);

// True when a file name (without directory) is one that durable_replace
// gives its temporary files: the name of the file being replaced followed
// by ".tmp-" and the writer's process number.
bool name_is_temporary(std::string_view name);

// Removes the temporary files in `directory` whose writer is gone (a
// writer holds a lock on its temporary file until it is renamed). Returns
// how many were removed.
size_t remove_abandoned_temporaries(const std::string& directory);

}  // namespace fwk
