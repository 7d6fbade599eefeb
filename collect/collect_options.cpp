#include "collect/collect_options.hpp"

#include <cstdlib>
#include <cstring>

#include "platform/durable_file.hpp"
#include "platform/environment.hpp"

namespace fwk {

namespace {

// A whole decimal number in [low, high].
bool read_number(const char* text, long low, long high, long* value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  long n = std::strtol(text, &end, 10);
  if (*end != '\0' || n < low || n > high) return false;
  *value = n;
  return true;
}

bool check_choice(const CollectOptions& o, std::string* error) {
  if (o.help || o.version) return true;
  if (o.maildir.empty() == o.imap.url.empty()) {
    *error = "give one mailbox: --maildir DIR or --imap URL";
    return false;
  }
  if (o.root.empty() == o.postgres.empty()) {
    *error = "give one store: --root DIR or --postgres URL";
    return false;
  }
  if (!o.password_file.empty() && o.imap.url.empty()) {
    *error = "--password-file is for --imap";
    return false;
  }
  return true;
}

}  // namespace

bool collect_options_parse(int argc, const char* const* argv, CollectOptions* o,
                           std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto take = [&](std::string* into) {
      if (value == nullptr) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      *into = value;
      ++i;
      return true;
    };
    long number = 0;
    if (arg == "--help" || arg == "-h") {
      o->help = true;
    } else if (arg == "--version") {
      o->version = true;
    } else if (arg == "--maildir") {
      if (!take(&o->maildir)) return false;
    } else if (arg == "--imap") {
      if (!take(&o->imap.url)) return false;
    } else if (arg == "--password-file") {
      if (!take(&o->password_file)) return false;
    } else if (arg == "--cafile") {
      if (!take(&o->imap.ca_file)) return false;
    } else if (arg == "--root") {
      if (!take(&o->root)) return false;
    } else if (arg == "--postgres") {
      if (!take(&o->postgres)) return false;
    } else if (arg == "--watch" || arg == "--batch") {
      if (!read_number(value, 1, 1000000, &number)) {
        *error = "option " + arg + " needs a whole number from 1";
        return false;
      }
      ++i;
      if (arg == "--watch") {
        o->watch_seconds = static_cast<int>(number);
      } else {
        o->batch = static_cast<size_t>(number);
      }
    } else {
      *error = "unknown option " + arg;
      return false;
    }
  }
  return check_choice(*o, error);
}

bool collect_imap_password(CollectOptions* o, std::string* error) {
  if (!o->password_file.empty()) {
    std::string text;
    if (!file_read_whole(o->password_file.c_str(), &text)) {
      *error = "cannot read the password file " + o->password_file;
      return false;
    }
    const size_t end = text.find_first_of("\r\n");
    o->imap.password = text.substr(0, end);
    return true;
  }
  if (std::optional<std::string> password = env_get(kImapPasswordVariable)) {
    o->imap.password = *password;
    return true;
  }
  *error = std::string("no IMAP password: give --password-file FILE or set ") +
           kImapPasswordVariable;
  return false;
}

std::string collect_usage() {
  return "Usage: formwick-collect (--maildir DIR | --imap URL) (--root DIR | --postgres URL)\n"
         "                        [--watch SECONDS]\n"
         "Reads the response mails of Formwick devices and merges them into one dataset,\n"
         "each response once.\n\n"
         "  --maildir DIR        read the Maildir folder DIR (new/ and cur/)\n"
         "  --imap URL           read an IMAP mailbox over TLS: imaps://user@host/INBOX\n"
         "                       (imap://... uses STARTTLS, which is then required)\n"
         "  --password-file FILE the IMAP password (first line); else $FORMWICK_IMAP_PASSWORD\n"
         "  --cafile FILE        further trusted certificate authorities (PEM) for IMAP\n"
         "  --root DIR           store into the Formwick server root DIR (FORM.asc per form)\n"
         "  --postgres URL       store into PostgreSQL (postgresql://user@host/db)\n"
         "  --watch SECONDS      keep polling every SECONDS; without it, one pass\n"
         "  --batch N            mails per store batch (default 500)\n"
         "  --help, --version\n\n"
         "Processed mails move to the folder \"done\". Exit status: 0 done, 1 some mails\n"
         "could not be processed (they stay and are retried), 2 bad arguments or an\n"
         "unreachable mailbox or store.\n";
}

}  // namespace fwk
