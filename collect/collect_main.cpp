// formwick-collect: merges the response mails of many devices into one
// dataset, each response once.
#include <curl/curl.h>

#include <string>

#include "collect/collect_options.hpp"
#include "collect/collect_pass.hpp"
#include "collect/response_mail.hpp"
#include "platform/console.hpp"
#include "platform/signals.hpp"

namespace fwk {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailures = 1;
constexpr int kExitUnusable = 2;

void say(const std::string& text) {
  console_write_error("formwick-collect: " + text + "\n");
}

bool open_source(CollectOptions& options, MailSource* source, std::string* error) {
  if (!options.maildir.empty()) return mail_source_open_maildir(options.maildir, source, error);
  return collect_imap_password(&options, error) &&
         mail_source_open_imap(options.imap, source, error);
}

// One pass: its summary on standard output, problems on standard error.
// Returns the pass's exit status.
int run_pass(MailSource& source, CollectStore& store, const PassSettings& settings) {
  CollectCounts counts;
  std::string error;
  const PassResult result = collect_pass(source, store, settings, &counts, &error);
  if (result != PassResult::done) {
    say(error);
    return kExitUnusable;
  }
  console_write(collect_summary(counts) + "\n");
  return counts.failures > 0 ? kExitFailures : kExitDone;
}

int collect_main(int argc, char** argv) {
  CollectOptions options;
  std::string error;
  if (!collect_options_parse(argc, argv, &options, &error)) {
    say(error + "\nTry 'formwick-collect --help'.");
    return kExitUnusable;
  }
  if (options.help) {
    console_write(collect_usage());
    return kExitDone;
  }
  if (options.version) {
    console_write(std::string("formwick-collect (Formwick) ") + FWK_VERSION + "\n");
    return kExitDone;
  }
  const ShutdownSignals signals = signals_install();
  MailSource source;
  CollectStore store;
  store.root = options.root;
  store.postgres_url = options.postgres;
  if (!open_source(options, &source, &error) || !collect_store_open(store, &error)) {
    say(error);
    return kExitUnusable;
  }
  PassSettings settings;
  settings.batch = options.batch;
  settings.progress = console_error_is_terminal();
  int status = run_pass(source, store, settings);
  if (options.watch_seconds == 0) return status;
  // Watching: a mailbox or store that is away for a while is tried again
  // at the next poll; SIGINT or SIGTERM end the watch after the pass.
  while (!signals_wait_shutdown(signals, options.watch_seconds * 1000)) {
    status = run_pass(source, store, settings);
  }
  return status == kExitUnusable ? kExitFailures : status;
}

}  // namespace
}  // namespace fwk

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  fwk::response_mail_start();
  const int status = fwk::collect_main(argc, argv);
  fwk::response_mail_stop();
  curl_global_cleanup();
  return status;
}
