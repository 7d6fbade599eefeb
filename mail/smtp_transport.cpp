#include "mail/smtp_transport.hpp"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

namespace fwk {

namespace {

// What the conversation showed: the command last sent, the reply last
// received, and whether the login went through.
struct Conversation {
  std::string last_command;  // its verb only: arguments may hold credentials
  std::string last_reply;
  int last_code = 0;
  bool logged_in = false;
  bool data_sent = false;
  bool aborted_without_login = false;
  bool quitting = false;  // the goodbye says nothing about the message
};

struct Upload {
  std::string data;
  size_t at = 0;
  bool needs_login = false;
  Conversation* conversation = nullptr;
};

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

std::string verb_of(std::string_view line) {
  std::string verb;
  for (char c : line.substr(0, line.find_first_of(" \r\n"))) {
    verb += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return verb;
}

std::string trimmed_line(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  size_t last = text.rfind('\n');
  if (last != std::string_view::npos) text.remove_prefix(last + 1);
  return std::string(text);
}

int on_debug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  Conversation& conversation = *static_cast<Conversation*>(user);
  std::string_view text(data, size);
  if (conversation.quitting) return 0;
  if (type == CURLINFO_HEADER_OUT) {
    std::string verb = verb_of(text);
    if (verb == "QUIT") {
      conversation.quitting = true;
    } else {
      conversation.last_command = verb;
    }
  } else if (type == CURLINFO_HEADER_IN) {
    std::string line = trimmed_line(text);
    if (line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0]))) {
      conversation.last_reply = line;
      conversation.last_code = std::atoi(line.substr(0, 3).c_str());
      // 235: the login (one exchange for PLAIN, several for LOGIN) went through.
      if (conversation.last_code == 235) conversation.logged_in = true;
    }
  }
  return 0;
}

size_t on_read(char* buffer, size_t size, size_t count, void* user) {
  Upload& upload = *static_cast<Upload*>(user);
  // With a user name the message goes only to a relay that took the login.
  if (upload.needs_login && !upload.conversation->logged_in) {
    upload.conversation->aborted_without_login = true;
    return CURL_READFUNC_ABORT;
  }
  upload.conversation->data_sent = true;
  size_t n = std::min(size * count, upload.data.size() - upload.at);
  std::memcpy(buffer, upload.data.data() + upload.at, n);
  upload.at += n;
  return n;
}

// The argument of the record's HELO line: the name the conversation greets
// the relay with.
std::string greeting_name(const OutboxRecord& record) {
  for (const std::string& command : record.commands) {
    if (verb_of(command) == "HELO" || verb_of(command) == "EHLO") {
      std::string name = command.size() > 5 ? command.substr(5) : "";
      if (!name.empty()) return name;
    }
  }
  return record.relay.host;
}

// Only characters that need no escaping in a URL path reach it.
std::string url_path_safe(const std::string& name) {
  std::string safe;
  for (char c : name) {
    if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_') safe += c;
  }
  return safe.empty() ? "localhost" : safe;
}

bool refusal(int code) {
  return code >= 400 && code <= 599;
}

// What a failed transfer means for the message and its relay.
Delivery classify(CURLcode code, const Conversation& conversation, const char* error) {
  Delivery delivery;
  delivery.reply_code = conversation.last_code;
  std::string reply = conversation.last_reply;
  delivery.detail = *error != '\0' ? error : curl_easy_strerror(code);
  const std::string& verb = conversation.last_command;
  bool message_stage = verb == "MAIL" || verb == "RCPT" || verb == "DATA" || conversation.data_sent;
  if (conversation.aborted_without_login) {
    delivery.result = MailResult::relay_login_failed;
    delivery.detail = "the relay offers no login (AUTH); the message was not sent";
  } else if (code == CURLE_LOGIN_DENIED || verb == "AUTH") {
    delivery.result = MailResult::relay_login_failed;
    if (!reply.empty()) delivery.detail = reply;
  } else if (code == CURLE_USE_SSL_FAILED || code == CURLE_PEER_FAILED_VERIFICATION ||
             code == CURLE_SSL_CONNECT_ERROR || code == CURLE_SSL_CACERT_BADFILE ||
             code == CURLE_SSL_CERTPROBLEM) {
    delivery.result = MailResult::relay_insecure;
  } else if (code == CURLE_COULDNT_RESOLVE_HOST) {
    delivery.result = MailResult::relay_unresolved;
  } else if (code == CURLE_COULDNT_CONNECT ||
             (code == CURLE_OPERATION_TIMEDOUT && conversation.last_command.empty() &&
              conversation.last_code == 0)) {
    delivery.result = MailResult::relay_unreachable;
  } else if (message_stage && refusal(conversation.last_code) &&
             (code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR ||
              code == CURLE_WEIRD_SERVER_REPLY || code == CURLE_UPLOAD_FAILED)) {
    delivery.result = MailResult::relay_refused;
    delivery.detail = reply;
  } else {
    delivery.result = MailResult::relay_broken;
    if (refusal(conversation.last_code)) delivery.detail = reply;
  }
  return delivery;
}

// Index of the first byte of a UTF-8 character at or before `cut` within
// `line`, no further back than a character can reach; `cut` itself when the
// bytes there are not UTF-8.
size_t character_start(std::string_view line, size_t cut, size_t floor) {
  size_t start = cut;
  while (start > floor && cut - start < 3 &&
         (static_cast<unsigned char>(line[start]) & 0xC0) == 0x80) {
    --start;
  }
  bool lead = (static_cast<unsigned char>(line[start]) & 0xC0) != 0x80;
  return lead && start > floor ? start : cut;
}

// Appends one stored line as sent lines ending in CR LF: a line longer than
// relays accept is cut into pieces that stay within the limit once a
// leading "." is doubled, between characters.
void append_data_line(std::string& data, std::string_view line) {
  size_t at = 0;
  do {
    bool dot = at < line.size() && line[at] == '.';
    size_t room = kSmtpLineLimit - (dot ? 1 : 0);
    size_t cut = line.size();
    if (cut - at > room) cut = character_start(line, at + room, at);
    data.append(line, at, cut - at);
    data += "\r\n";
    at = cut;
  } while (at < line.size());
}

long seconds_for(int ms) {
  return std::max<long>(1, (static_cast<long>(ms) + 999) / 1000);
}

}  // namespace

void smtp_transport_start() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

std::string smtp_transport_version() {
  return curl_version();
}

std::string smtp_data_text(std::string_view message) {
  std::string data;
  data.reserve(message.size() + message.size() / 32 + 8);
  size_t at = 0;
  while (at <= message.size()) {
    size_t end = message.find_first_of("\r\n", at);
    if (end == std::string_view::npos) end = message.size();
    append_data_line(data, message.substr(at, end - at));
    if (end == message.size()) break;
    at = end + (message.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return data;
}

Delivery smtp_deliver(const OutboxRecord& record, const std::string& password,
                      const TransportSettings& settings) {
  std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
  if (!handle) return Delivery{MailResult::relay_broken, 0, "the mail library did not start"};
  CURL* curl = handle.get();

  Conversation conversation;
  Upload upload;
  upload.data = smtp_data_text(record.message);
  upload.needs_login = !record.user.empty();
  upload.conversation = &conversation;

  std::unique_ptr<curl_slist, ListDeleter> recipients;
  std::string sender;
  for (const std::string& command : record.commands) {
    std::string to = record_command_address(command, "RCPT TO:");
    if (!to.empty() || verb_of(command) == "RCPT") {
      recipients.reset(curl_slist_append(recipients.release(), ("<" + to + ">").c_str()));
    }
    if (verb_of(command) == "MAIL") sender = record_command_address(command, "MAIL FROM:");
  }
  std::string url = relay_url(record.relay) + "/" + url_path_safe(greeting_name(record));
  char error[CURL_ERROR_SIZE] = "";

  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
  curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, on_debug);
  curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &conversation);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings.timeout_ms));
  curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, seconds_for(settings.timeout_ms));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, seconds_for(settings.timeout_ms));
  // A plain relay stays plain; a STARTTLS relay, and any relay given a
  // user name, must switch to TLS before anything else is said.
  bool plain = record.relay.security == RelaySecurity::plain && record.user.empty();
  curl_easy_setopt(curl, CURLOPT_USE_SSL, plain ? static_cast<long>(CURLUSESSL_NONE)
                                                : static_cast<long>(CURLUSESSL_ALL));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!settings.ca_file.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, settings.ca_file.c_str());
  if (!record.user.empty()) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, record.user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS, "AUTH=PLAIN;AUTH=LOGIN");
  }
  curl_easy_setopt(curl, CURLOPT_MAIL_FROM, ("<" + sender + ">").c_str());
  curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, on_read);
  curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(upload.data.size()));

  CURLcode code = curl_easy_perform(curl);
  if (code == CURLE_OK) return Delivery{MailResult::ok, conversation.last_code, ""};
  return classify(code, conversation, error);
}

}  // namespace fwk
