#include "mail/outbox_queue.hpp"

#include "mail/outbox.hpp"
#include "platform/durable_file.hpp"

namespace fwk {

namespace {

// Outbox and journal rewrites race only with another rewrite (an operator's
// command beside the server); after this many tries the rewrite gives up
// until the next transmission.
constexpr int kCompactionTries = 4;

bool read_if_present(const std::string& path, const FileInfo& info, std::string* bytes) {
  bytes->clear();
  return !info.exists || file_read_whole(path.c_str(), bytes);
}

bool same_file(const FileInfo& a, const FileInfo& b) {
  return a.exists == b.exists && (!a.exists || (a.inode == b.inode && a.device == b.device));
}

struct Sorted {
  std::string kept;
  std::string sent;
  std::string bad;
  int retired = 0;
  int set_apart = 0;
  int damaged = 0;
};

Sorted sort_records(const OutboxSnapshot& snapshot, const Compaction& compaction) {
  Sorted sorted;
  for (const OutboxRecord& record : snapshot.records) {
    std::string_view bytes(snapshot.bytes.data() + record.begin, record.end - record.begin);
    if (record.fault != RecordFault::none) {
      sorted.bad += bytes;
      ++sorted.set_apart;
      ++sorted.damaged;
    } else if (snapshot.journal.sent.count(record.key) != 0) {
      sorted.sent += bytes;
      ++sorted.retired;
    } else if (compaction.set_apart.count(record.key) != 0) {
      sorted.bad += bytes;
      ++sorted.set_apart;
    } else {
      sorted.kept += bytes;
    }
  }
  return sorted;
}

bool nothing_to_do(const OutboxSnapshot& snapshot, const Sorted& sorted,
                   const Compaction& compaction) {
  if (sorted.retired + sorted.set_apart > 0 || compaction.retries_seen > 0) return false;
  // The journal may still speak of records that are gone.
  std::set<RecordKey> keys;
  for (const OutboxRecord& record : snapshot.records) keys.insert(record.key);
  for (const RecordKey& key : snapshot.journal.sent) {
    if (keys.count(key) == 0) return false;
  }
  for (const auto& entry : snapshot.journal.states) {
    if (keys.count(entry.first) == 0) return false;
  }
  return true;
}

bool write_copies(const std::string& root, const Sorted& sorted, bool fresh_sent_file) {
  std::string sent_path = outbox_path(root, kOutboxSentName);
  std::string bad_path = outbox_path(root, kOutboxBadName);
  if (!sorted.sent.empty()) {
    DurableResult written =
        fresh_sent_file ? durable_replace(sent_path.c_str(), sorted.sent.data(), sorted.sent.size())
                        : durable_append(sent_path.c_str(), sorted.sent.data(), sorted.sent.size());
    if (written != DurableResult::ok) return false;
  }
  return sorted.bad.empty() ||
         durable_append(bad_path.c_str(), sorted.bad.data(), sorted.bad.size()) ==
             DurableResult::ok;
}

bool replace_or_remove(const std::string& path, const std::string& text) {
  if (text.empty()) return durable_remove(path.c_str());
  return durable_replace(path.c_str(), text.data(), text.size()) == DurableResult::ok;
}

}  // namespace

bool outbox_snapshot(const std::string& root, OutboxSnapshot* snapshot) {
  std::string outbox = outbox_path(root, kOutboxName);
  std::string journal_path = outbox_path(root, kOutboxJournalName);
  std::string journal;
  {
    QueueLock lock(root);
    if (!lock.held) return false;
    snapshot->info = file_info(outbox.c_str());
    if (!read_if_present(outbox, snapshot->info, &snapshot->bytes)) return false;
    if (!read_if_present(journal_path, file_info(journal_path.c_str()), &journal)) return false;
  }
  snapshot->records = outbox_read_all(snapshot->bytes);
  snapshot->journal = journal_parse(journal);
  return true;
}

bool outbox_journal_append(const std::string& root, const std::string& line) {
  std::string path = outbox_path(root, kOutboxJournalName);
  QueueLock lock(root);
  return lock.held && durable_append(path.c_str(), line.data(), line.size()) == DurableResult::ok;
}

CompactionResult outbox_compact(const std::string& root, const Compaction& compaction) {
  std::string outbox = outbox_path(root, kOutboxName);
  std::string journal_path = outbox_path(root, kOutboxJournalName);
  CompactionResult result;
  for (int attempt = 0; attempt < kCompactionTries; ++attempt) {
    OutboxSnapshot before;
    if (!outbox_snapshot(root, &before)) break;
    Sorted sorted = sort_records(before, compaction);
    if (nothing_to_do(before, sorted, compaction)) return result;
    // The bulk is written while appends may go on.
    StagedReplace stage;
    if (durable_stage(stage, outbox.c_str(), sorted.kept.data(), sorted.kept.size()) !=
        DurableResult::ok) {
      break;
    }
    QueueLock lock(root);
    if (!lock.held) break;
    FileInfo now = file_info(outbox.c_str());
    if (!same_file(now, before.info) || now.size < before.info.size) continue;
    std::string current;
    std::string journal_bytes;
    if (!read_if_present(outbox, now, &current) ||
        !read_if_present(journal_path, file_info(journal_path.c_str()), &journal_bytes) ||
        current.compare(0, before.bytes.size(), before.bytes) != 0) {
      continue;
    }
    std::string tail = current.substr(before.bytes.size());
    if (!write_copies(root, sorted, compaction.fresh_sent_file)) break;
    bool rewritten = sorted.kept.empty() && tail.empty()
                         ? durable_remove(outbox.c_str())
                         : durable_stage_add(stage, tail.data(), tail.size()) ==
                                   DurableResult::ok &&
                               durable_stage_commit(stage) == DurableResult::ok;
    if (!rewritten) break;
    Journal journal = journal_parse(journal_bytes);
    std::set<RecordKey> remaining;
    for (const OutboxRecord& record : outbox_read_all(sorted.kept + tail)) {
      remaining.insert(record.key);
    }
    int retries = std::max(0, journal.retries - compaction.retries_seen);
    replace_or_remove(journal_path, journal_text(journal, remaining, retries));
    result.retired = sorted.retired;
    result.set_apart = sorted.set_apart;
    result.damaged = sorted.damaged;
    return result;
  }
  result.ok = false;
  return result;
}

}  // namespace fwk
