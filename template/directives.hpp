// Template directives: tags that pull other material into a page.
//
//   <%include file %>        another template, processed here
//   <%source file %>         a file copied as it is
//   <%report file cond %> ... </report>
//                            the section written once per data-file record
//                            that satisfies cond ({field} and {#} inside)
//   <%stats file %> ... </report>
//                            the section written once with the counts and
//                            sums of a statistics file ({key}, {key.SUM})
//   <%random item end %> ... <item> ... <item> ... <end>
//                            the items in a random order
//   <%fwk command ... %>     one of the commands above without its "%"
//
// The template processor hands each handler its own arguments with the input
// positioned right after the tag name; the handler reads its parameters,
// consumes the tag through "%>" and does its work, calling the processor
// again (one level deeper) for sections and other files. Problems are
// written into the page as "<HR>Error in (...)" messages.
#pragma once

#include <cstddef>
#include <string>

#include "core/limits.hpp"
#include "core/sink.hpp"
#include "template/template.hpp"

namespace fwk {

// Reads one word: whitespace is skipped; a word in double or single quotes
// runs to the matching quote (\n \r \t give LF CR TAB, a backslash before
// any other character gives that character); any other word runs to the
// next whitespace or "%>" (which is left to be read next). The word keeps
// at most size - 1 characters. Returns its first character (the quote for
// a quoted word), or -1 at the end of the input.
int directive_word(TemplateInput& in, std::string& word, std::size_t size);

// Reads a parameter: 1 when a non-empty word other than "%>" was read;
// otherwise 0 with the word emptied (a "%>" read here has ended the tag).
int directive_param(TemplateInput& in, std::string& word, std::size_t size);

// Writes "<HR>Error in (subject)[position]: message<HR>" (nothing without
// a sink); a checking pass notes it as a problem.
void directive_error(const TemplateArgs& args, const char* subject, const char* message);

// The handlers. Each returns the result of its directive: include and
// source 1 when the file was used, report 3 when the data file does not
// open, and 0 otherwise.
int directive_include(const TemplateArgs& args);
int directive_source(const TemplateArgs& args);
int directive_report(const TemplateArgs& args);
int directive_stats(const TemplateArgs& args);
int directive_random(const TemplateArgs& args);
int directive_fwk_list(const TemplateArgs& args);

}  // namespace fwk
