#include "collect/imap_session.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

#include "core/stamp.hpp"

namespace fwk {

namespace {

constexpr const char* kDoneMailbox = "done";

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};

size_t on_write(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

long seconds_for(int ms) {
  return std::max(1L, static_cast<long>((ms + 999) / 1000));
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

struct ImapSession {
  ImapSettings settings;
  std::string server;   // scheme://user@host[:port]
  std::string mailbox;  // as written in the URL (URL-encoded)
  std::unique_ptr<CURL, EasyDeleter> handle;
};

MailSource::MailSource() = default;
MailSource::MailSource(MailSource&&) noexcept = default;
MailSource& MailSource::operator=(MailSource&&) noexcept = default;
MailSource::~MailSource() = default;

namespace {

// Runs one request: a custom command (on the mailbox's URL, so that it is
// selected first, or on the server's) or, with `command` empty, a fetch of
// `url`. The untagged response (or the fetched mail) goes to `out`.
bool perform(ImapSession& session, const std::string& url, const std::string& command,
             std::string* out, std::string* error, CURLcode* code_out = nullptr) {
  CURL* curl = session.handle.get();
  std::array<char, CURL_ERROR_SIZE> message{};
  out->clear();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, command.empty() ? nullptr : command.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, on_write);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, out);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message.data());
  CURLcode code = curl_easy_perform(curl);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  if (code_out != nullptr) *code_out = code;
  if (code == CURLE_OK) return true;
  *error = imap_name(session) + ": " + (command.empty() ? "fetch" : command.substr(0, command.find(' '))) +
           ": " + (message[0] != '\0' ? message.data() : curl_easy_strerror(code));
  return false;
}

std::string mailbox_url(const ImapSession& session) {
  return session.server + "/" + session.mailbox;
}

// Splits "imaps://user@host:993/INBOX" into server and mailbox; refuses a
// password in the URL and anything but imap and imaps.
bool split_url(const std::string& url, ImapSession* session, std::string* error) {
  const bool tls = url.rfind("imaps://", 0) == 0;
  if (!tls && url.rfind("imap://", 0) != 0) {
    *error = "the IMAP address must begin with imaps:// or imap://";
    return false;
  }
  const size_t host = url.find("://") + 3;
  const size_t slash = url.find('/', host);
  const std::string authority = url.substr(host, slash == std::string::npos ? std::string::npos : slash - host);
  const size_t at = authority.rfind('@');
  if (at == std::string::npos || at == 0) {
    *error = "the IMAP address names no user (imaps://user@host/INBOX)";
    return false;
  }
  if (authority.substr(0, at).find(':') != std::string::npos) {
    *error = "the IMAP address may not hold a password: give it in a file or the environment";
    return false;
  }
  std::string mailbox = slash == std::string::npos ? "" : url.substr(slash + 1);
  while (!mailbox.empty() && mailbox.back() == '/') mailbox.pop_back();
  if (mailbox.empty() || mailbox.find('/') != std::string::npos || mailbox.find(';') != std::string::npos) {
    *error = "the IMAP address must name one mailbox (imaps://user@host/INBOX)";
    return false;
  }
  session->server = url.substr(0, slash);
  session->mailbox = mailbox;
  return true;
}

void configure(ImapSession& session) {
  CURL* curl = session.handle.get();
  const ImapSettings& settings = session.settings;
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "imap,imaps");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!settings.ca_file.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, settings.ca_file.c_str());
  curl_easy_setopt(curl, CURLOPT_PASSWORD, settings.password.c_str());
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.timeout_ms));
  curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds_for(settings.timeout_ms));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, seconds_for(settings.timeout_ms));
}

// Makes the done mailbox unless the server lists it already.
bool ensure_done_mailbox(ImapSession& session, std::string* error) {
  std::string listing;
  if (!perform(session, session.server + "/", std::string("LIST \"\" \"") + kDoneMailbox + "\"",
               &listing, error))
    return false;
  if (listing.find("* LIST") != std::string::npos) return true;
  std::string ignored;
  return perform(session, session.server + "/", std::string("CREATE ") + kDoneMailbox, &ignored,
                 error);
}

}  // namespace

bool imap_open(const ImapSettings& settings, std::unique_ptr<ImapSession>* out,
               std::string* error) {
  auto session = std::make_unique<ImapSession>();
  session->settings = settings;
  if (!split_url(settings.url, session.get(), error)) return false;
  session->handle.reset(curl_easy_init());
  if (!session->handle) {
    *error = "the mail library could not start";
    return false;
  }
  configure(*session);
  // Logs in, checks the mailbox exists, and makes the done folder.
  std::string status;
  if (!perform(*session, session->server + "/",
               "STATUS \"" + session->mailbox + "\" (MESSAGES)", &status, error) ||
      !ensure_done_mailbox(*session, error))
    return false;
  *out = std::move(session);
  return true;
}

bool imap_list(ImapSession& session, std::vector<MailRef>* mails, size_t* others,
               std::string* error) {
  std::string all;
  std::string responses;
  std::string dates;
  if (!perform(session, mailbox_url(session), "UID SEARCH ALL", &all, error) ||
      !perform(session, mailbox_url(session), "UID SEARCH HEADER X-Formwick-Form \"\"",
               &responses, error))
    return false;
  const std::vector<std::string> every = imap_search_uids(all);
  const std::vector<std::string> wanted = imap_search_uids(responses);
  *others = every.size() > wanted.size() ? every.size() - wanted.size() : 0;
  if (wanted.empty()) return true;
  if (!perform(session, mailbox_url(session), "UID FETCH 1:* (INTERNALDATE)", &dates, error))
    return false;
  std::unordered_map<std::string, int64_t> arrived;
  for (const MailRef& mail : imap_fetch_dates(dates)) arrived[mail.id] = mail.received_us;
  for (const std::string& uid : wanted) {
    MailRef mail;
    mail.id = uid;
    auto found = arrived.find(uid);
    mail.received_us = found == arrived.end() ? 0 : found->second;
    mails->push_back(std::move(mail));
  }
  std::stable_sort(mails->begin(), mails->end(), [](const MailRef& a, const MailRef& b) {
    return a.received_us < b.received_us;
  });
  return true;
}

MailRead imap_fetch(ImapSession& session, const std::string& uid, std::string* bytes,
                    std::string* error) {
  CURLcode code = CURLE_OK;
  if (perform(session, mailbox_url(session) + "/;UID=" + uid, "", bytes, error, &code)) {
    // A UID that another collector moved away meanwhile fetches nothing.
    return bytes->empty() ? MailRead::gone : MailRead::ok;
  }
  return code == CURLE_REMOTE_FILE_NOT_FOUND ? MailRead::gone : MailRead::failed;
}

bool imap_move_done(ImapSession& session, const std::vector<const MailRef*>& mails,
                    std::string* error) {
  std::string set;
  for (const MailRef* mail : mails) {
    if (!set.empty()) set += ",";
    set += mail->id;
  }
  std::string ignored;
  return perform(session, mailbox_url(session), "UID MOVE " + set + " " + kDoneMailbox, &ignored,
                 error);
}

std::string imap_name(const ImapSession& session) {
  return session.server + "/" + session.mailbox;
}

bool imap_date_us(const std::string& text, int64_t* us) {
  // "dd-Mon-yyyy hh:mm:ss +zzzz", the day possibly with a leading space.
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::string t = text;
  if (!t.empty() && t[0] == ' ') t[0] = '0';
  if (t.size() != 26 || t[2] != '-' || t[6] != '-' || t[11] != ' ' || t[14] != ':' ||
      t[17] != ':' || t[20] != ' ' || (t[21] != '+' && t[21] != '-'))
    return false;
  for (size_t i : {0, 1, 7, 8, 9, 10, 12, 13, 15, 16, 18, 19, 22, 23, 24, 25}) {
    if (!is_digit(t[i])) return false;
  }
  auto number = [&](size_t at, size_t n) { return std::stoi(t.substr(at, n)); };
  DateTime when;
  when.day = number(0, 2);
  when.month = 0;
  for (int m = 0; m < 12; ++m) {
    if (t.compare(3, 3, months[m]) == 0) when.month = m + 1;
  }
  if (when.month == 0) return false;
  when.year = number(7, 4);
  when.hour = number(12, 2);
  when.minute = number(15, 2);
  when.second = number(18, 2);
  int offset = number(22, 2) * 60 + number(24, 2);
  if (t[21] == '-') offset = -offset;
  *us = (unix_seconds_of_utc(when) - offset * 60) * 1000000;
  return true;
}

std::vector<MailRef> imap_fetch_dates(const std::string& response) {
  std::vector<MailRef> mails;
  size_t at = 0;
  while (at < response.size()) {
    size_t end = response.find('\n', at);
    if (end == std::string::npos) end = response.size();
    const std::string line = response.substr(at, end - at);
    at = end + 1;
    if (line.rfind("* ", 0) != 0 || line.find(" FETCH (") == std::string::npos) continue;
    size_t uid = line.find("UID ");
    size_t date = line.find("INTERNALDATE \"");
    if (uid == std::string::npos || date == std::string::npos) continue;
    uid += 4;
    size_t uid_end = uid;
    while (uid_end < line.size() && is_digit(line[uid_end])) ++uid_end;
    date += 14;
    size_t date_end = line.find('"', date);
    MailRef mail;
    mail.id = line.substr(uid, uid_end - uid);
    if (mail.id.empty() || date_end == std::string::npos ||
        !imap_date_us(line.substr(date, date_end - date), &mail.received_us))
      continue;
    mails.push_back(std::move(mail));
  }
  return mails;
}

std::vector<std::string> imap_search_uids(const std::string& response) {
  std::vector<std::string> uids;
  size_t at = 0;
  while ((at = response.find("* SEARCH", at)) != std::string::npos) {
    at += 8;
    while (at < response.size() && response[at] != '\r' && response[at] != '\n') {
      while (at < response.size() && response[at] == ' ') ++at;
      size_t end = at;
      while (end < response.size() && is_digit(response[end])) ++end;
      if (end == at) break;
      uids.push_back(response.substr(at, end - at));
      at = end;
    }
  }
  return uids;
}

}  // namespace fwk
