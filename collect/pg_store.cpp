#include "collect/pg_store.hpp"

#include <libpq-fe.h>

#include <algorithm>
#include <numeric>

#include "core/stamp.hpp"

namespace fwk {

namespace {

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS formwick_responses (
  form text NOT NULL,
  session text NOT NULL,
  device text NOT NULL,
  saved timestamptz NOT NULL,
  received timestamptz NOT NULL,
  message_id text NOT NULL,
  content text COLLATE "C" NOT NULL,
  entries jsonb NOT NULL,
  PRIMARY KEY (form, session)
);
CREATE OR REPLACE VIEW formwick_answers AS
  SELECT r.form, r.session, r.device, r.saved, r.received,
         e.position, e.pair->>0 AS name, e.pair->>1 AS value
  FROM formwick_responses r,
       jsonb_array_elements(r.entries) WITH ORDINALITY AS e(pair, position);
)sql";

// The insert decides in the database: a new session is inserted; for a
// stored one the row changes only when the arrival is not a copy and is the
// later save (by time, then by content digest).
constexpr const char* kUpsert = R"sql(
INSERT INTO formwick_responses AS r
  (form, session, device, saved, received, message_id, content, entries)
VALUES ($1, $2, $3, $4::timestamptz, $5::timestamptz, $6, $7, $8::jsonb)
ON CONFLICT (form, session) DO UPDATE SET
  device = EXCLUDED.device, saved = EXCLUDED.saved, received = EXCLUDED.received,
  message_id = EXCLUDED.message_id, content = EXCLUDED.content, entries = EXCLUDED.entries
WHERE r.content <> EXCLUDED.content
  AND (EXCLUDED.saved > r.saved OR (EXCLUDED.saved = r.saved AND EXCLUDED.content > r.content))
RETURNING 1
)sql";

// For an arrival that changed nothing: was it a copy of the live row?
constexpr const char* kIsCopy =
    "SELECT content = $3 FROM formwick_responses WHERE form = $1 AND session = $2";

// Attempts at a batch that the database refused for a conflict with
// another collector (a deadlock or a serialization failure).
constexpr int kConflictAttempts = 5;

// The server's notices ("relation already exists, skipping") are no news
// to the operator.
void ignore_notice(void*, const char*) {}

bool command_ok(const ResultPtr& result) {
  const ExecStatusType status = PQresultStatus(result.get());
  return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

}  // namespace

struct PgConnection {
  PGconn* conn = nullptr;
  ~PgConnection() {
    if (conn != nullptr) PQfinish(conn);
  }
};

PgStore::PgStore() = default;
PgStore::PgStore(PgStore&&) noexcept = default;
PgStore& PgStore::operator=(PgStore&&) noexcept = default;
PgStore::~PgStore() = default;

namespace {

std::string error_text(PGconn* conn) {
  std::string text = PQerrorMessage(conn);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

ResultPtr exec(PgStore& store, const char* sql) {
  return ResultPtr(PQexec(store.connection->conn, sql));
}

bool conflict(const ResultPtr& result) {
  const char* state = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
  return state != nullptr && (std::string(state) == "40P01" || std::string(state) == "40001");
}

// The parameters of one arrival, as texts.
struct UpsertParams {
  std::string saved;
  std::string received;
  std::string content;
  std::string answers_json;
};

UpsertParams params_of(const Arrival& arrival) {
  UpsertParams p;
  p.saved = arrival.record.saved;
  p.received = utc_stamp_text(arrival.received_us, true);
  p.content = response_content_key(arrival.record.answers);
  p.answers_json = response_entries_json(arrival.record.answers);
  return p;
}

// One arrival inside the open transaction. False (with the result kept in
// `failure`) when the database refused the statement.
bool put_one(PgStore& store, const Arrival& arrival, StoreOutcome* outcome, ResultPtr* failure) {
  const UpsertParams p = params_of(arrival);
  const ResponseRecord& r = arrival.record;
  const char* values[] = {r.form.c_str(),     r.session.c_str(),          r.device.c_str(),
                          p.saved.c_str(),    p.received.c_str(),         arrival.message_id.c_str(),
                          p.content.c_str(),  p.answers_json.c_str()};
  ResultPtr result(PQexecPrepared(store.connection->conn, "upsert", 8, values, nullptr, nullptr, 0));
  if (!command_ok(result)) {
    *failure = std::move(result);
    return false;
  }
  if (PQntuples(result.get()) > 0) {
    *outcome = {Verdict::stored, ""};
    return true;
  }
  const char* keys[] = {r.form.c_str(), r.session.c_str(), p.content.c_str()};
  ResultPtr copy(PQexecPrepared(store.connection->conn, "is_copy", 3, keys, nullptr, nullptr, 0));
  if (!command_ok(copy)) {
    *failure = std::move(copy);
    return false;
  }
  const bool same = PQntuples(copy.get()) > 0 && std::string(PQgetvalue(copy.get(), 0, 0)) == "t";
  *outcome = {same ? Verdict::copy : Verdict::older, ""};
  return true;
}

// The arrivals at `order` in one transaction. False when it was rolled
// back; `failure` then holds the database's answer.
bool put_transaction(PgStore& store, const std::vector<Arrival>& batch,
                     const std::vector<size_t>& order, std::vector<StoreOutcome>& outcomes,
                     ResultPtr* failure) {
  ResultPtr begin = exec(store, "BEGIN");
  if (!command_ok(begin)) {
    *failure = std::move(begin);
    return false;
  }
  for (size_t i : order) {
    if (!put_one(store, batch[i], &outcomes[i], failure)) {
      exec(store, "ROLLBACK");
      return false;
    }
  }
  ResultPtr commit = exec(store, "COMMIT");
  if (command_ok(commit)) return true;
  *failure = std::move(commit);
  return false;
}

std::string failure_text(PgStore& store, const ResultPtr& failure) {
  const char* message = failure ? PQresultErrorMessage(failure.get()) : "";
  std::string text = *message != '\0' ? message : error_text(store.connection->conn);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return store.name + ": " + text;
}

bool prepare_statements(PgStore& store, std::string* error) {
  PGconn* conn = store.connection->conn;
  ResultPtr upsert(PQprepare(conn, "upsert", kUpsert, 8, nullptr));
  ResultPtr is_copy(PQprepare(conn, "is_copy", kIsCopy, 3, nullptr));
  if (command_ok(upsert) && command_ok(is_copy)) return true;
  *error = failure_text(store, command_ok(upsert) ? is_copy : upsert);
  return false;
}

}  // namespace

bool pg_store_open(const std::string& url, PgStore* store, std::string* error) {
  store->connection = std::make_unique<PgConnection>();
  store->connection->conn = PQconnectdb(url.c_str());
  PGconn* conn = store->connection->conn;
  store->name = "PostgreSQL";
  if (conn == nullptr || PQstatus(conn) != CONNECTION_OK) {
    *error = "cannot connect to PostgreSQL: " + (conn ? error_text(conn) : std::string("no memory"));
    return false;
  }
  PQsetNoticeProcessor(conn, ignore_notice, nullptr);
  store->name = std::string("PostgreSQL ") + PQdb(conn) + " on " + PQhost(conn) + ":" + PQport(conn);
  // Two collectors starting at once make the table once: the schema is
  // made under a transaction-scoped advisory lock.
  const std::string schema = std::string("BEGIN; SELECT pg_advisory_xact_lock(hashtext('formwick_responses')); ") +
                             kSchema + " COMMIT;";
  ResultPtr made = exec(*store, schema.c_str());
  if (!command_ok(made)) {
    *error = failure_text(*store, made);
    exec(*store, "ROLLBACK");
    return false;
  }
  return prepare_statements(*store, error);
}

std::vector<StoreOutcome> pg_store_put(PgStore& store, const std::vector<Arrival>& batch) {
  std::vector<StoreOutcome> outcomes(batch.size());
  // Rows are taken in one order by every collector, so that two batches
  // holding the same sessions wait for each other instead of deadlocking.
  std::vector<size_t> order(batch.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const ResponseRecord& x = batch[a].record;
    const ResponseRecord& y = batch[b].record;
    return x.form != y.form ? x.form < y.form : x.session < y.session;
  });
  ResultPtr failure;
  for (int attempt = 0; attempt < kConflictAttempts; ++attempt) {
    if (put_transaction(store, batch, order, outcomes, &failure)) return outcomes;
    if (!conflict(failure)) break;
  }
  // One arrival the database refuses (or a lost connection) fails the
  // transaction: each arrival is then tried on its own, so that only the
  // refused ones fail.
  if (PQstatus(store.connection->conn) != CONNECTION_OK) {
    PQreset(store.connection->conn);
    std::string ignored;
    prepare_statements(store, &ignored);
  }
  for (size_t i : order) {
    const std::vector<size_t> one = {i};
    ResultPtr single;
    bool done = false;
    for (int attempt = 0; attempt < kConflictAttempts && !done; ++attempt) {
      done = put_transaction(store, batch, one, outcomes, &single);
      if (!done && !conflict(single)) break;
    }
    if (!done) outcomes[i] = {Verdict::failed, failure_text(store, single)};
  }
  return outcomes;
}

}  // namespace fwk
