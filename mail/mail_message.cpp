#include "mail/mail_message.hpp"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "core/text_util.hpp"

namespace fwk {

namespace {

constexpr const char* kBoundary = "_Mime-Boundary_766C74";
constexpr const char* kMixedBoundary = "_Mime-Mixed_766C74";
// 57 bytes make one base64 line of 76 characters.
constexpr size_t kBase64LineBytes = 57;
// Lines of a header field are kept to this many characters where the text
// allows (the hard limit of a line is 998).
constexpr size_t kFoldWidth = 78;
// An encoded word, "=?UTF-8?B?" ... "?=", has at most 75 characters.
constexpr size_t kEncodedWordLimit = 75;
constexpr std::string_view kEncodedWordOpen = "=?UTF-8?B?";
constexpr std::string_view kEncodedWordClose = "?=";

bool needs_encoding(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80 || (c < 0x20 && c != '\t')) return true;
  }
  return false;
}

std::string base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                          reinterpret_cast<const unsigned char*>(bytes.data()),
                          static_cast<int>(bytes.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

// The longest prefix of `text` of at most `limit` bytes that does not end
// inside a UTF-8 character (at least one byte when text is not empty).
size_t whole_characters(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text.size();
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut > 0 ? cut : limit;
}

// Free text as encoded words, one per line: the first line holds "Name:".
std::string encoded_field(const std::string& name, std::string_view text) {
  std::string field = name + ":";
  size_t line_used = field.size();
  size_t payload_room = kEncodedWordLimit - kEncodedWordOpen.size() - kEncodedWordClose.size();
  do {
    // A word must also fit the line it starts on (one space before it).
    size_t room = std::min(payload_room, kFoldWidth - line_used - 1 - kEncodedWordOpen.size() -
                                             kEncodedWordClose.size());
    size_t take = whole_characters(text, room / 4 * 3);
    field += " ";
    field += kEncodedWordOpen;
    field += base64(text.substr(0, take));
    field += kEncodedWordClose;
    text.remove_prefix(take);
    if (!text.empty()) field += "\r\n";
    line_used = 0;
  } while (!text.empty());
  return field + "\r\n";
}

// Folds "Name: value" before runs of spaces so that lines stay within
// kFoldWidth where a run allows it. False when some word alone is too long.
bool folded_field(const std::string& name, std::string_view value, std::string* field) {
  *field = name + ":";
  size_t line_start = 0;
  bool fits = true;
  std::string text = " " + std::string(value);
  size_t at = 0;
  while (at < text.size()) {
    // A token: spaces, then the word after them.
    size_t word = text.find_first_not_of(' ', at);
    if (word == std::string::npos) break;  // trailing spaces are dropped
    size_t end = text.find(' ', word);
    if (end == std::string::npos) end = text.size();
    std::string_view token(text.data() + at, end - at);
    bool line_has_word = field->size() - line_start > name.size() + 1 || line_start > 0;
    if (field->size() - line_start + token.size() > kFoldWidth && line_has_word) {
      *field += "\r\n";
      line_start = field->size();
    }
    if (end - word + 1 > kFoldWidth) fits = false;
    *field += token;
    at = end;
  }
  *field += "\r\n";
  return fits;
}

std::string two_digits(int n) {
  std::string text = std::to_string(n < 0 ? 0 : n % 100);
  return text.size() < 2 ? "0" + text : text;
}

// 0 for Sunday (Sakamoto's method).
int weekday(int year, int month, int day) {
  static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + offsets[(month - 1) % 12] + day) % 7;
}

std::string domain_of(std::string_view address) {
  size_t at = address.rfind('@');
  std::string domain = at == std::string_view::npos ? "" : std::string(address.substr(at + 1));
  domain.erase(std::remove_if(domain.begin(), domain.end(),
                              [](char c) { return c == '>' || c == '<' || c == ' '; }),
               domain.end());
  return domain.empty() ? "formwick" : domain;
}

std::string hex(const unsigned char* bytes, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < n; ++i) {
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
  }
  return text;
}

bool is_html(std::string_view body) {
  return body.size() >= 5 && text_compare_nocase_n(std::string(body.substr(0, 5)).c_str(),
                                                    "<HTML", 5) == 0;
}

// The text a person reads: its Content-Type field, a blank line and the
// body (an HTML body inside a one-part multipart/alternative).
std::string body_entity(const std::string& body) {
  if (!is_html(body)) return "Content-Type: text/plain; charset=utf-8\r\n\r\n" + body;
  std::string text = "Content-Type: multipart/alternative; boundary=\"";
  text += std::string(kBoundary) + "\"\r\n\r\n";
  text += "  This is a multi-part message in MIME format.\r\n\r\n--";
  text += std::string(kBoundary) + "\r\nContent-Type: text/html; charset=\"utf-8\"\r\n";
  text += "Content-Transfer-Encoding: 8bit\r\n\r\n";
  text += body;
  // The line break before the closing delimiter belongs to the delimiter:
  // without it the delimiter would not be recognised as one.
  text += "\r\n--" + std::string(kBoundary) + "--";
  return text;
}

// An attachment in base64, in lines of 76 characters.
std::string attachment_entity(const MailAttachment& attachment) {
  std::string name = mail_one_line(attachment.file_name);
  std::string text = "Content-Type: " + mail_one_line(attachment.content_type) + "; name=\"" +
                     name + "\"\r\n";
  text += "Content-Disposition: attachment; filename=\"" + name + "\"\r\n";
  text += "Content-Transfer-Encoding: base64\r\n\r\n";
  std::string_view data = attachment.data;
  while (!data.empty()) {
    size_t take = std::min<size_t>(data.size(), kBase64LineBytes);
    text += base64(data.substr(0, take)) + "\r\n";
    data.remove_prefix(take);
  }
  return text;
}

}  // namespace

std::string mail_one_line(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return line;
}

std::string mail_header_field(const MailHeader& header) {
  std::string value = mail_one_line(header.value);
  std::string field;
  bool fits = folded_field(header.name, value, &field);
  if (header.free_text && (!fits || needs_encoding(value))) {
    return encoded_field(header.name, value);
  }
  return field;
}

std::string mail_message_text(const MailMessage& message) {
  std::string address = mail_one_line(message.address);
  std::string text = mail_header_field({"Subject", message.subject, true});
  text += mail_header_field({"From", "<" + address + ">"});
  text += mail_header_field({"To", "<" + address + ">"});
  text += mail_header_field({"Date", message.date});
  text += mail_header_field({"Message-ID", message.message_id});
  for (const MailHeader& header : message.extra_headers) text += mail_header_field(header);
  text += "MIME-Version: 1.0\r\n";
  if (message.attachment.file_name.empty()) return text + body_entity(message.body);
  // The boundary may appear nowhere in what it encloses.
  std::string boundary = kMixedBoundary;
  while (message.body.find(boundary) != std::string::npos) boundary += "_";
  text += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
  text += "  This is a multi-part message in MIME format.\r\n\r\n--" + boundary + "\r\n";
  text += body_entity(message.body);
  text += "\r\n--" + boundary + "\r\n";
  text += attachment_entity(message.attachment);
  text += "\r\n--" + boundary + "--\r\n";
  return text;
}

std::string mail_date_text(const DateTime& t, int utc_offset_minutes) {
  static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int month = t.month >= 1 && t.month <= 12 ? t.month : 1;
  int offset = utc_offset_minutes < 0 ? -utc_offset_minutes : utc_offset_minutes;
  std::string text = days[weekday(t.year, month, t.day)];
  text += ", " + two_digits(t.day) + " " + months[month - 1] + " " + std::to_string(t.year);
  text += " " + two_digits(t.hour) + ":" + two_digits(t.minute) + ":" + two_digits(t.second);
  text += utc_offset_minutes < 0 ? " -" : " +";
  text += two_digits(offset / 60) + two_digits(offset % 60);
  return text;
}

std::string mail_date_now() {
  int offset = 0;
  DateTime now = clock_local_time(&offset);
  return mail_date_text(now, offset);
}

std::string mail_random_id(std::string_view address) {
  int offset = 0;
  DateTime now = clock_local_time(&offset);
  std::random_device random;
  uint64_t noise = (static_cast<uint64_t>(random()) << 32) ^ random();
  char unique[96];
  std::snprintf(unique, sizeof unique, "%04d%02d%02d%02d%02d%02d.%016llx", now.year, now.month,
                now.day, now.hour, now.minute, now.second,
                static_cast<unsigned long long>(noise));
  return "<" + std::string(unique) + "@" + domain_of(mail_one_line(address)) + ">";
}

std::string mail_derived_id(std::string_view form, std::string_view session,
                            std::string_view address, std::string_view subject,
                            std::string_view body) {
  // Each part with its length first, so that no two different lists of
  // parts run together into the same bytes.
  std::string parts;
  for (std::string_view part : {form, session, address, subject, body}) {
    parts += std::to_string(part.size()) + ":";
    parts += part;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(parts.data(), parts.size(), digest, &length, EVP_sha256(), nullptr);
  return "<" + hex(digest, std::min(length, 16u)) + ".fwk@" + domain_of(mail_one_line(address)) +
         ">";
}

}  // namespace fwk
