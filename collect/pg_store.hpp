// The scale-out store: PostgreSQL through libpq. One row per form and
// session in the table formwick_responses, the answers kept exactly as the
// device sent them (a JSON array of [name, value] pairs, in order), a later
// save of a session replacing the earlier one, a copy changing nothing
// (the order of response_order.hpp, decided by the database in the same
// statement that writes). Several collectors may write at once: each
// batch is one transaction whose rows are taken in one order, and the
// table's primary key makes an insert of a session that another collector
// just stored an update of that row instead. The view formwick_answers
// lists one row per answer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "collect/arrival.hpp"

namespace fwk {

struct PgConnection;

struct PgStore {
  std::unique_ptr<PgConnection> connection;
  std::string name;  // the URL without its password, for messages
  PgStore();
  PgStore(PgStore&&) noexcept;
  PgStore& operator=(PgStore&&) noexcept;
  ~PgStore();
};

// Connects (a libpq connection URL or key=value text; the password from
// the URL, PGPASSWORD or ~/.pgpass) and makes the table and the view when
// missing. False with `error`.
bool pg_store_open(const std::string& url, PgStore* store, std::string* error);

// Stores a batch; one outcome per arrival, in order.
std::vector<StoreOutcome> pg_store_put(PgStore& store, const std::vector<Arrival>& batch);

}  // namespace fwk
