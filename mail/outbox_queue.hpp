// The queue as a whole: reading it with its journal, and rewriting it
// without the messages that are done (retired to outbox.bak) or set apart
// (moved to outbox.bad). Every step holds the queue lock only briefly:
// the bulk of a rewrite is written while appends go on, and only the bytes
// appended meanwhile are copied under the lock.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "mail/outbox_journal.hpp"
#include "mail/outbox_record.hpp"
#include "platform/file_info.hpp"

namespace fwk {

// The queue as one look at it saw it.
struct OutboxSnapshot {
  std::string bytes;
  FileInfo info;  // of outbox.fwk when it was read
  std::vector<OutboxRecord> records;
  Journal journal;
};

// Reads outbox.fwk and its journal under the queue lock. False when the
// lock could not be had or a file exists but cannot be read.
bool outbox_snapshot(const std::string& root, OutboxSnapshot* snapshot);

// Appends a line to the journal under the queue lock (flushed to the device).
bool outbox_journal_append(const std::string& root, const std::string& line);

struct Compaction {
  std::set<RecordKey> set_apart;  // readable records to move to outbox.bad
  bool fresh_sent_file = false;   // replace outbox.bak instead of adding to it
  int retries_seen = 0;           // retry lines the caller has acted on
};

struct CompactionResult {
  bool ok = true;
  int retired = 0;    // moved to outbox.bak
  int set_apart = 0;  // moved to outbox.bad (damage included)
  int damaged = 0;    // stretches of damage among them
};

// Rewrites the queue without the records the journal marks sent (to
// outbox.bak), the damaged ones and `set_apart` (to outbox.bad), and the
// journal without what no longer concerns it. Copies reach their files
// before the queue forgets them, so a crash can leave a message in two
// files, never in none.
CompactionResult outbox_compact(const std::string& root, const Compaction& compaction);

}  // namespace fwk
