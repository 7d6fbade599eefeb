// The command line of formwick-collect.
#pragma once

#include <string>

#include "collect/mail_source.hpp"

namespace fwk {

struct CollectOptions {
  std::string maildir;        // --maildir DIR
  ImapSettings imap;          // --imap URL (imap.url set), --cafile FILE
  std::string password_file;  // --password-file FILE
  std::string root;           // --root DIR
  std::string postgres;       // --postgres URL
  int watch_seconds = 0;      // --watch SECONDS; 0: one pass
  size_t batch = 500;         // --batch N (mails per store batch)
  bool help = false;
  bool version = false;
};

// Environment variable that may hold the IMAP password.
inline constexpr const char* kImapPasswordVariable = "FORMWICK_IMAP_PASSWORD";

// Reads the arguments. False with `error` for an unknown option, a missing
// value, or not exactly one source and one store.
bool collect_options_parse(int argc, const char* const* argv, CollectOptions* options,
                           std::string* error);

// Fills the IMAP password from --password-file or the environment. False
// with `error` when neither gives one.
bool collect_imap_password(CollectOptions* options, std::string* error);

std::string collect_usage();

}  // namespace fwk
