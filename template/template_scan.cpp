#include "template/template_scan.hpp"

#include <cstring>
#include <string>

#include "core/ascii.hpp"

namespace fwk {

namespace {

bool equal_nocase(const char* a, const char* b, std::size_t n) {
  return text_equal_nocase({a, n}, {b, n});
}

// Reads up to and including the marker, appending at most `room` of the
// characters before it to *out (when given). At the end of the input the
// characters still held for matching are appended too.
int read_until_append(TextInput& in, std::string* out, std::size_t room, const char* marker) {
  const std::size_t m = std::strlen(marker);
  if (m == 0) return 1;
  const int first = ascii_fold(static_cast<unsigned char>(marker[0]));
  std::size_t kept = 0;
  auto keep = [&](char c) {
    if (out && kept < room) {
      out->push_back(c);
      ++kept;
    }
  };
  std::string window;  // candidate beginning of the marker
  while (true) {
    int c = input_getc(in);
    if (c == kInputEnd) {
      for (char w : window) keep(w);
      return 0;
    }
    if (window.empty() && ascii_fold(c) != first) {
      keep(static_cast<char>(c));
      continue;
    }
    window.push_back(static_cast<char>(c));
    if (window.size() < m) continue;
    if (equal_nocase(window.data(), marker, m)) return 1;
    keep(window[0]);
    window.erase(0, 1);
    // Drop leading bytes that cannot begin the marker.
    while (!window.empty() && ascii_fold(static_cast<unsigned char>(window[0])) != first) {
      keep(window[0]);
      window.erase(0, 1);
    }
  }
}

}  // namespace

int input_read_until(TextInput& in, std::string* buffer, std::size_t size, const char* marker) {
  if (buffer) buffer->clear();
  return read_until_append(in, buffer, size > 0 ? size - 1 : 0, marker);
}

void tag_read_rest(TextInput& in, std::string& buffer, std::size_t size, int delimiter,
                   const char* marker, const char* trim) {
  if (buffer.empty()) return;
  if (delimiter != 0 && delimiter != kInputEnd) buffer.push_back(static_cast<char>(delimiter));
  const std::size_t m = std::strlen(marker);
  if (buffer.size() > m && text_ends_nocase(buffer, {marker, m})) {
    buffer.resize(buffer.size() - m);
  } else if (buffer.size() < size) {
    std::size_t room = size - buffer.size();
    read_until_append(in, &buffer, room - 1, marker);
  } else {
    read_until_append(in, nullptr, 0, marker);
  }
  while (!buffer.empty() && std::strchr(trim, buffer.back()) && buffer.back() != '\0')
    buffer.pop_back();
}

int input_copy_until(TextInput& in, OutputSink* sink, const char* marker1, const char* marker2) {
  const std::size_t m = std::strlen(marker1);
  if (m == 0) return 0;
  // A second marker of another length could never fill the window.
  const bool use2 = std::strlen(marker2) == m;
  std::string window;
  for (std::size_t i = 0; i < m; ++i) {
    int c = input_getc(in);
    if (c == kInputEnd) return 0;
    window.push_back(static_cast<char>(c));
  }
  const int first1 = ascii_fold(static_cast<unsigned char>(marker1[0]));
  const int first2 = ascii_fold(static_cast<unsigned char>(marker2[0]));
  std::string passed;  // bytes passed over, written in pieces
  int found = 0;
  while (true) {
    int head = ascii_fold(static_cast<unsigned char>(window[0]));
    if (head == first1 && equal_nocase(window.data(), marker1, m)) {
      found = 1;
      break;
    }
    if (use2 && head == first2 && equal_nocase(window.data(), marker2, m)) {
      found = 2;
      break;
    }
    if (sink) {
      passed.push_back(window[0]);
      if (passed.size() >= 4096) {
        sink_write(sink, passed.data(), passed.size());
        passed.clear();
      }
    }
    int c = input_getc(in);
    if (c == kInputEnd) break;
    window.erase(0, 1);
    window.push_back(static_cast<char>(c));
  }
  if (sink && !passed.empty()) sink_write(sink, passed.data(), passed.size());
  return found;
}

int input_skip_until(TextInput& in, OutputSink* sink, const char* marker) {
  return input_copy_until(in, sink, marker, marker);
}

}  // namespace fwk
