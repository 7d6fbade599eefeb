// An IMAP mailbox read through libcurl: over TLS only (imaps://, or
// imap:// with STARTTLS required), certificates verified against the
// system's authorities (and a file of further ones) and the server's name.
// Response mails are found by their X-Formwick-Form field (SEARCH HEADER),
// so other mails are never downloaded; processed ones are moved to the
// mailbox "done" (created when missing) with MOVE.
#pragma once

#include <string>
#include <vector>

#include "collect/mail_source.hpp"

namespace fwk {

bool imap_open(const ImapSettings& settings, std::unique_ptr<ImapSession>* session,
               std::string* error);
bool imap_list(ImapSession& session, std::vector<MailRef>* mails, size_t* others,
               std::string* error);
MailRead imap_fetch(ImapSession& session, const std::string& uid, std::string* bytes,
                    std::string* error);
bool imap_move_done(ImapSession& session, const std::vector<const MailRef*>& mails,
                    std::string* error);
std::string imap_name(const ImapSession& session);

// The arrival time of an IMAP INTERNALDATE ("08-Dec-2026 06:37:52 +0100")
// in microseconds since 1970; false when it is not one.
bool imap_date_us(const std::string& text, int64_t* us);

// The UIDs and INTERNALDATEs of the untagged FETCH lines of a response.
std::vector<MailRef> imap_fetch_dates(const std::string& response);

// The numbers of the untagged SEARCH lines of a response.
std::vector<std::string> imap_search_uids(const std::string& response);

}  // namespace fwk
