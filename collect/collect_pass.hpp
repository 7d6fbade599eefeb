// One pass of the collector: every mail the source holds is read; response
// mails go to the store in batches, and once a batch is stored (or found
// stored already) its mails are moved to the done folder. A mail is never
// marked processed before its response is durably in the store, so a stop
// anywhere leaves at most mails that the next pass finds to be copies.
#pragma once

#include <cstddef>
#include <string>

#include "collect/mail_source.hpp"
#include "collect/pg_store.hpp"
#include "collect/root_store.hpp"

namespace fwk {

struct CollectCounts {
  size_t read = 0;           // mails looked at
  size_t stored = 0;         // responses stored (new, or replacing an earlier save)
  size_t copies = 0;         // copies dropped
  size_t older = 0;          // earlier saves that arrived after a later one
  size_t not_responses = 0;  // mails left alone
  size_t failures = 0;       // mails that stay unprocessed for the next pass
};

// The store a collector writes to: a server root or PostgreSQL.
struct CollectStore {
  std::string root;  // set for a server root
  RootStore root_store;
  std::string postgres_url;  // set for PostgreSQL
  PgStore postgres;
};

// Connects to the store (PostgreSQL) or checks it (a root). False with
// `error` when it cannot be reached.
bool collect_store_open(CollectStore& store, std::string* error);

enum class PassResult {
  done,               // every mail was looked at (some may have failed: see counts)
  source_unreadable,  // the mailbox could not be listed
  store_unreachable,  // the store could not be opened
};

struct PassSettings {
  size_t batch = 500;     // mails per store batch
  bool progress = false;  // a progress line on standard error
};

PassResult collect_pass(MailSource& source, CollectStore& store, const PassSettings& settings,
                        CollectCounts* counts, std::string* error);

// "412 mails read, 300 responses stored, ..." for the summary line.
std::string collect_summary(const CollectCounts& counts);

}  // namespace fwk
