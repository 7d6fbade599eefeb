// Writers on top of the output sink. Every writer accepts an absent sink and
// then writes nothing.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

#include "core/limits.hpp"
#include "core/plist.hpp"
#include "core/sink.hpp"

namespace fwk {

// printf-style output. A sink with a file gets the text formatted straight
// into the file (uncut). A conversion left incomplete at the end of the
// format is written as it stands.
void out_printf(OutputSink* sink, const char* format, ...) __attribute__((format(printf, 2, 3)));
void out_vprintf(OutputSink* sink, const char* format, va_list args);

// Writes a text without its terminating zero (nothing when absent).
void out_text(OutputSink* sink, const char* text);

// Writes n bytes.
void out_bytes(OutputSink* sink, const char* bytes, size_t n);

// Writes a text with <, >, & and " replaced by their HTML entities.
void out_html(OutputSink* sink, const char* text);

// The same escaping appended to a text, for a caller that writes a whole
// tag at once (nothing for an absent text).
void html_append(std::string& out, const char* text);

// A text made safe for any place in a page, inside an element or an
// attribute value in either kind of quotes: <, >, &, " and ' become
// entities. What the template language's html() writes.
std::string html_text(const char* text);

// Writes a text percent-encoded for a link's query string: every byte but
// the unreserved ones (ASCII letters, digits, "-", "_", "." and "~") becomes
// "%XX". The result holds no character that HTML would read as markup.
void out_url(OutputSink* sink, const char* text);

// Copies an open stream to the sink in pieces of up to 1024 bytes until a
// read yields nothing. The stream stays open.
void out_copy_stream(OutputSink* sink, std::FILE* stream);

// Copies a file (opened for text reading) to the sink. 1 when copied; 0
// when the sink is absent or the file does not open.
int out_copy_file(OutputSink* sink, const char* path);

// Writes each used entry of the first block as "name=value\n" ("name\n"
// for an absent value), skipping free slots.
void out_param_lines(OutputSink* sink, const ParamList* list);

}  // namespace fwk
