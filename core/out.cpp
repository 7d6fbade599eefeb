#include "core/out.hpp"

#include <array>
#include <cstring>
#include <string>

#include "core/paths.hpp"

namespace fwk {

namespace {

// Length of the part of a format whose conversions are complete: a "%"
// (with its flags, width, precision and length) that runs into the end of
// the format starts a tail that is written as it stands.
size_t complete_format_length(const char* format) {
  size_t i = 0;
  while (format[i]) {
    if (format[i] != '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (format[j] && std::strchr("-+ #0123456789.*'hlLqjzt", format[j])) ++j;
    if (!format[j]) return i;
    i = j + 1;
  }
  return i;
}

void write_cut(OutputSink* sink, const std::string& text) {
  sink_write(sink, text.data(), std::min(text.size(), kFormatArea - 1));
}

}  // namespace

void out_vprintf(OutputSink* sink, const char* format, va_list args) {
  if (!sink || !format) return;
  size_t complete = complete_format_length(format);
  std::string head(format, complete);
  const char* tail = format + complete;
  if (sink->file) {
    std::vfprintf(sink->file, head.c_str(), args);
    std::fputs(tail, sink->file);
    return;
  }
  std::string area(kFormatArea, '\0');
  std::vsnprintf(area.data(), area.size(), head.c_str(), args);
  area.resize(std::strlen(area.c_str()));
  area += tail;
  write_cut(sink, area);
}

void out_printf(OutputSink* sink, const char* format, ...) {
  if (!sink) return;
  va_list args;
  va_start(args, format);
  out_vprintf(sink, format, args);
  va_end(args);
}

namespace {

const char* html_entity(char c) {
  switch (c) {
    case '"':
      return "&quot;";
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '\'':
      return "&#39;";
  }
  return nullptr;
}

// The characters out_html replaces, and those html_text replaces.
constexpr const char* kHtmlSpecial = "<>&\"";
constexpr const char* kHtmlSpecialWithApostrophe = "<>&\"'";

// Hands each run of plain text and each entity of `text` to emit(bytes, n).
template <class Emit>
void html_escape(const char* text, const char* special, Emit&& emit) {
  while (*text) {
    size_t n = std::strcspn(text, special);
    if (n > 0) emit(text, n);
    text += n;
    const char* entity = html_entity(*text);
    if (!entity) return;  // end of text
    emit(entity, std::strlen(entity));
    ++text;
  }
}

}  // namespace

void out_text(OutputSink* sink, const char* text) {
  if (!sink || !text) return;
  sink_write(sink, text, std::strlen(text));
}

void out_bytes(OutputSink* sink, const char* bytes, size_t n) {
  if (!sink || !bytes) return;
  sink_write(sink, bytes, n);
}

void out_html(OutputSink* sink, const char* text) {
  if (!sink || !text) return;
  html_escape(text, kHtmlSpecial, [&](const char* bytes, size_t n) { sink_write(sink, bytes, n); });
}

void html_append(std::string& out, const char* text) {
  if (!text) return;
  html_escape(text, kHtmlSpecial, [&](const char* bytes, size_t n) { out.append(bytes, n); });
}

std::string html_text(const char* text) {
  std::string out;
  if (!text) return out;
  html_escape(text, kHtmlSpecialWithApostrophe,
              [&](const char* bytes, size_t n) { out.append(bytes, n); });
  return out;
}

void out_url(OutputSink* sink, const char* text) {
  if (!sink || !text) return;
  static constexpr char kHex[] = "0123456789ABCDEF";
  while (*text) {
    size_t n =
        std::strspn(text, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~");
    sink_write(sink, text, n);
    text += n;
    if (!*text) return;
    auto byte = static_cast<unsigned char>(*text++);
    const char escape[3] = {'%', kHex[byte >> 4], kHex[byte & 15]};
    sink_write(sink, escape, 3);
  }
}

void out_copy_stream(OutputSink* sink, std::FILE* stream) {
  if (!sink || !stream) return;
  std::array<char, 1024> piece;
  for (;;) {
    size_t n = std::fread(piece.data(), 1, piece.size(), stream);
    if (n == 0) break;
    sink_write(sink, piece.data(), n);
    if (budget_spent(sink->budget)) break;
  }
}

int out_copy_file(OutputSink* sink, const char* path) {
  if (!sink) return 0;
  FilePtr file = file_open(path, "rt");
  if (!file) return 0;
  out_copy_stream(sink, file.get());
  return 1;
}

void out_param_lines(OutputSink* sink, const ParamList* list) {
  if (!sink) return;
  plist_each_in_first_block(list, [&](const Pair& entry) {
    if (entry.name->empty()) return;
    out_text(sink, entry.name->c_str());
    if (entry.value) {
      sink_write(sink, "=", 1);
      out_text(sink, entry.value->c_str());
    }
    sink_write(sink, "\n", 1);
  });
}

}  // namespace fwk
