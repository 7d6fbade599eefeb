// Where the collector reads response mails: a Maildir folder (what Postfix,
// Dovecot and most local delivery agents write), or an IMAP mailbox over
// TLS. A mail that was processed is moved to the folder "done" (".done" of
// the Maildir, "done" beside the IMAP mailbox) so that no pass reads it
// again; every other mail stays where it is.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fwk {

struct MailRef {
  std::string id;           // Maildir: "new/NAME" or "cur/NAME"; IMAP: the UID
  int64_t received_us = 0;  // when it arrived, microseconds since 1970 (UTC)
};

struct ImapSettings {
  std::string url;       // imaps://user@host[:port]/MAILBOX (or imap:// with STARTTLS)
  std::string password;  // from a file or the environment, never the command line
  std::string ca_file;   // further trusted authorities (PEM); "" for none
  int timeout_ms = 30000;
};

struct ImapSession;

struct MailSource {
  std::string maildir;                // set for a Maildir
  std::unique_ptr<ImapSession> imap;  // set for IMAP
  MailSource();
  MailSource(MailSource&&) noexcept;
  MailSource& operator=(MailSource&&) noexcept;
  ~MailSource();
};

// Opens a Maildir (it must have new/ and cur/). False with `error`.
bool mail_source_open_maildir(const std::string& dir, MailSource* source, std::string* error);

// Logs in to the IMAP server and checks the mailbox. False with `error`.
bool mail_source_open_imap(const ImapSettings& settings, MailSource* source, std::string* error);

// The mails to look at, in the order they arrived. `others` receives how
// many more mails the source holds that are certainly no response mails
// (IMAP finds response mails by their header field without fetching the
// rest). False with `error` when the source cannot be read.
bool mail_source_list(MailSource& source, std::vector<MailRef>* mails, size_t* others,
                      std::string* error);

enum class MailRead {
  ok,
  gone,    // no longer there: another collector took it since the listing
  failed,  // `error` says why
};

// The whole mail as delivered.
MailRead mail_source_read(MailSource& source, const MailRef& mail, std::string* bytes,
                          std::string* error);

// Moves processed mails to the done folder. A mail that is already gone
// (another collector moved it) counts as moved. Returns how many could not
// be moved (`error` says why); they are read again by the next pass.
size_t mail_source_mark_done(MailSource& source, const std::vector<const MailRef*>& mails,
                             std::string* error);

// Text for messages: the Maildir path or the IMAP URL.
std::string mail_source_name(const MailSource& source);

}  // namespace fwk
