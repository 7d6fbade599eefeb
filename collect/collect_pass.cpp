#include "collect/collect_pass.hpp"

#include <algorithm>

#include "collect/response_mail.hpp"
#include "platform/clock.hpp"
#include "platform/console.hpp"

namespace fwk {

namespace {

constexpr uint32_t kProgressEveryMs = 250;

void report(const std::string& text) {
  console_write_error("formwick-collect: " + text + "\n");
}

std::string mail_name(const MailSource& source, const MailRef& mail) {
  return mail_source_name(source) + (source.imap ? " UID " : "") + mail.id;
}

bool begin_pass(CollectStore& store, std::string* error) {
  if (!store.root.empty()) return root_store_open(store.root, &store.root_store, error);
  return true;
}

void end_pass(CollectStore& store) {
  if (!store.root.empty()) root_store_close(store.root_store);
}

std::vector<StoreOutcome> put(CollectStore& store, const std::vector<Arrival>& arrivals) {
  if (!store.root.empty()) return root_store_put(store.root_store, arrivals);
  return pg_store_put(store.postgres, arrivals);
}

struct Progress {
  bool shown = false;
  uint32_t last = 0;
};

void show_progress(Progress& progress, const PassSettings& settings, size_t done, size_t total,
                   bool final) {
  if (!settings.progress) return;
  const uint32_t now = clock_tick_ms();
  if (!final && (progress.shown ? now - progress.last < kProgressEveryMs : done == 0)) return;
  if (final) {
    if (progress.shown) console_write_error("\r\x1b[K");
    return;
  }
  progress.shown = true;
  progress.last = now;
  console_write_error("\r" + std::to_string(done) + " of " + std::to_string(total) +
                      " mails\x1b[K");
}

// Reads the mails of one batch and sorts them: responses to `arrivals`
// (with their mails in `carried`), the rest counted.
void read_batch(MailSource& source, const std::vector<MailRef>& mails, size_t from, size_t to,
                std::vector<Arrival>* arrivals, std::vector<const MailRef*>* carried,
                CollectCounts* counts) {
  std::string bytes;
  for (size_t i = from; i < to; ++i) {
    const MailRef& ref = mails[i];
    std::string error;
    const MailRead read = mail_source_read(source, ref, &bytes, &error);
    if (read == MailRead::gone) continue;
    ++counts->read;
    if (read == MailRead::failed) {
      ++counts->failures;
      report(error);
      continue;
    }
    ResponseMail mail = response_mail_read(bytes);
    if (mail.kind == MailKind::not_response) {
      ++counts->not_responses;
      continue;
    }
    if (mail.kind == MailKind::damaged) {
      ++counts->failures;
      report(mail_name(source, ref) + ": " + mail.problem);
      continue;
    }
    arrivals->push_back(Arrival{std::move(mail.message_id), std::move(mail.record), ref.received_us});
    carried->push_back(&ref);
  }
}

void store_batch(MailSource& source, CollectStore& store, const std::vector<Arrival>& arrivals,
                 const std::vector<const MailRef*>& carried, CollectCounts* counts) {
  if (arrivals.empty()) return;
  std::vector<StoreOutcome> outcomes = put(store, arrivals);
  std::vector<const MailRef*> done;
  for (size_t i = 0; i < outcomes.size(); ++i) {
    switch (outcomes[i].verdict) {
      case Verdict::stored:
        ++counts->stored;
        break;
      case Verdict::copy:
        ++counts->copies;
        break;
      case Verdict::older:
        ++counts->older;
        break;
      case Verdict::failed:
        ++counts->failures;
        report(mail_name(source, *carried[i]) + ": " + outcomes[i].problem);
        continue;
    }
    done.push_back(carried[i]);
  }
  std::string error;
  const size_t unmoved = mail_source_mark_done(source, done, &error);
  if (unmoved > 0) {
    counts->failures += unmoved;
    report(error);
  }
}

}  // namespace

bool collect_store_open(CollectStore& store, std::string* error) {
  if (!store.postgres_url.empty()) return pg_store_open(store.postgres_url, &store.postgres, error);
  RootStore probe;
  if (!root_store_open(store.root, &probe, error)) return false;
  root_store_close(probe);
  return true;
}

PassResult collect_pass(MailSource& source, CollectStore& store, const PassSettings& settings,
                        CollectCounts* counts, std::string* error) {
  *counts = CollectCounts();
  std::vector<MailRef> mails;
  size_t others = 0;
  if (!mail_source_list(source, &mails, &others, error)) return PassResult::source_unreadable;
  counts->read = others;
  counts->not_responses = others;
  if (mails.empty()) return PassResult::done;
  if (!begin_pass(store, error)) return PassResult::store_unreachable;
  Progress progress;
  const size_t batch = std::max<size_t>(1, settings.batch);
  for (size_t from = 0; from < mails.size(); from += batch) {
    const size_t to = std::min(mails.size(), from + batch);
    std::vector<Arrival> arrivals;
    std::vector<const MailRef*> carried;
    read_batch(source, mails, from, to, &arrivals, &carried, counts);
    store_batch(source, store, arrivals, carried, counts);
    show_progress(progress, settings, to, mails.size(), false);
  }
  show_progress(progress, settings, mails.size(), mails.size(), true);
  end_pass(store);
  return PassResult::done;
}

std::string collect_summary(const CollectCounts& c) {
  return std::to_string(c.read) + " mails read, " + std::to_string(c.stored) +
         " responses stored, " + std::to_string(c.copies) + " copies dropped, " +
         std::to_string(c.older) + " earlier saves dropped, " + std::to_string(c.not_responses) +
         " not responses, " + std::to_string(c.failures) + " failures";
}

}  // namespace fwk
