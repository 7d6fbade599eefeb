#include "http/request.hpp"

#include <cstring>

#include "core/ascii.hpp"
#include "core/text_util.hpp"

namespace fwk {

namespace {

// Offset just after the first blank line at or after `from`, or npos.
size_t find_body_start(std::string_view text, size_t from) {
  for (size_t i = text.find('\n', from); i != std::string_view::npos; i = text.find('\n', i + 1)) {
    if (i + 1 < text.size() && text[i + 1] == '\n') return i + 2;
    if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
      // "\n\r\n" closes a blank line only after "\r" ("\r\n\r\n").
      if (i > 0 && text[i - 1] == '\r') return i + 3;
    }
  }
  return std::string_view::npos;
}

// A header name or value without the blanks around it (and the CR of its
// line end).
std::string_view trim(std::string_view text) {
  return text_trim(text, " \t\r");
}

// The value of the first header line called `name`, or nullopt-like "npos"
// data() == nullptr when there is none.
std::string_view header_value(std::string_view head, std::string_view name) {
  size_t line_start = head.find('\n');  // skip the request line
  while (line_start != std::string_view::npos && line_start + 1 < head.size()) {
    ++line_start;
    size_t line_end = head.find('\n', line_start);
    std::string_view line =
        head.substr(line_start, line_end == std::string_view::npos ? std::string_view::npos
                                                                   : line_end - line_start);
    size_t colon = line.find(':');
    if (colon != std::string_view::npos && text_equal_nocase(trim(line.substr(0, colon)), name)) {
      return trim(line.substr(colon + 1));
    }
    line_start = line_end;
  }
  return {};
}

long long parse_length(std::string_view digits) {
  if (digits.empty() || digits.size() > 15) return -1;
  long long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::string request_header_value(std::string_view text, std::string_view name) {
  const size_t body_start = find_body_start(text, 0);
  return std::string(header_value(text.substr(0, body_start), name));
}

RequestShape request_shape(std::string_view text) {
  RequestShape shape;
  shape.body_start = find_body_start(text, 0);
  if (shape.body_start != std::string_view::npos) {
    std::string_view head = text.substr(0, shape.body_start);
    std::string_view length = header_value(head, "Content-Length");
    shape.content_length = parse_length(length);
    if (header_value(head, "Transfer-Encoding").data() != nullptr) {
      shape.framing = BodyFraming::transfer_coded;
    } else if (length.data() != nullptr) {
      shape.framing =
          shape.content_length >= 0 ? BodyFraming::length : BodyFraming::invalid_length;
    }
  }
  return shape;
}

size_t request_body_start(std::string_view text, size_t from) {
  return find_body_start(text, from);
}

bool request_expects_continue(std::string_view text) {
  size_t body_start = find_body_start(text, 0);
  if (body_start == std::string_view::npos) return false;
  return text_equal_nocase(header_value(text.substr(0, body_start), "Expect"), "100-continue");
}

RequestLine split_request_line(char* text) {
  RequestLine line;
  line.method = text;
  char* end = text + std::strlen(text);
  line.path = end;
  line.rest = end;
  char* space = std::strchr(text, ' ');
  if (space != nullptr) {
    *space = '\0';
    line.path = space + 1;
    char* second = std::strchr(line.path, ' ');
    if (second != nullptr) {
      *second = '\0';
      line.rest = second + 1;
    }
  }
  if (*line.path != '\0') ++line.path;
  return line;
}

char* split_query(char* path) {
  char* mark = std::strchr(path, '?');
  if (mark == nullptr) return nullptr;
  *mark = '\0';
  return mark + 1;
}

char* find_parameter_text(const RequestLine& line) {
  if (std::strcmp(line.method, "GET") == 0) return line.query;
  if (std::strcmp(line.method, "POST") != 0) return nullptr;
  size_t body = find_body_start(line.rest, 0);
  if (body == std::string_view::npos) return nullptr;
  return line.rest + body;
}

ParamListPtr parse_form_data(int reserved, char* text, size_t length, int free_slots) {
  if (text == nullptr || length == 0) return nullptr;
  char* end = text + length;
  size_t separators = 0;
  for (char* p = text; p < end; ++p) separators += (*p == '&');
  ParamListPtr list = plist_alloc(reserved + separators + free_slots + 1);
  for (int i = reserved; i < reserved + free_slots; ++i) {
    Pair& slot = *plist_at(list.get(), static_cast<size_t>(i));
    slot.name.emplace();
    slot.value.emplace();
  }
  size_t next = static_cast<size_t>(reserved + free_slots);
  char* segment = text;
  for (;;) {
    char* amp = static_cast<char*>(std::memchr(segment, '&', static_cast<size_t>(end - segment)));
    char* segment_end = amp != nullptr ? amp : end;
    *segment_end = '\0';
    text_replace_char(segment, '+', ' ');
    char* value = segment_end;
    char* equals = std::strchr(segment, '=');
    if (equals != nullptr) {
      *equals = '\0';
      value = equals + 1;
    }
    url_decode(segment);
    url_decode(value);
    if (*segment != '\0') {
      Pair& entry = *plist_at(list.get(), next++);
      entry.name = segment;
      entry.value = value;
    }
    if (amp == nullptr) break;
    segment = amp + 1;
  }
  return list;
}

size_t url_decode(char* text) {
  char* to = text;
  const char* from = text;
  while (*from != '\0') {
    if (*from == '%' && from[1] != '\0' && from[2] != '\0') {
      // A NUL would end the text: every store would keep only what comes
      // before it. It is kept as a space instead.
      const int byte = hex_pair_value(from[1], from[2]);
      *to++ = byte == 0 ? ' ' : static_cast<char>(byte);
      from += 3;
    } else {
      *to++ = *from++;
    }
  }
  *to = '\0';
  return static_cast<size_t>(to - text);
}

int hex_pair_value(char c1, char c2) {
  auto digit = [](char c) {
    int v = static_cast<signed char>(c);
    return v < 'A' ? v - '0' : (v & 0xDF) - 55;
  };
  return (digit(c1) * 16 + digit(c2)) & 0xFF;
}

}  // namespace fwk
