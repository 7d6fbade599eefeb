// Showing a form: one page of a multi-page form, with the engine's FORM tag
// and the hidden fields that carry the answers not placed on the page, or
// the one template of a single-page form. Both fill the form's fields with
// the values held so far. The caller has written the response header.
#pragma once

#include <string>

#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"
#include "script/template_input.hpp"

namespace fwk {

// Results of the page display.
constexpr int kPageShown = 0;
constexpr int kPageMissing = 2;
constexpr int kPageBadName = 104;

// Shows page `page_name` of form `form_name` from the page directory,
// filled from `request`, with `back_list` as the _PAGEBACK hidden field. A
// page name beginning with "P" (a group's page) is changed to "p" in place.
// Deletes _PAGE, _PAGESKIP and _PAGEBACK from the request list. Returns
// kPageShown, kPageMissing (with an error text) or kPageBadName (nothing
// written).
int page_show(const SiteContext& site, OutputSink* sink, const char* form_name, ParamList* request,
              const char* back_list, std::string& page_name);

// Shows the template `template_name` of the server root filled from
// `values`: as named when its extension is "html" or "htm", else (or when
// that does not open) with ".html" added. kPageShown, or kPageMissing with
// nothing written when the name is empty or no file opens.
int form_template_show(const SiteContext& site, OutputSink* sink, const char* template_name,
                       ParamList* values);

// The path of the template form_template_show opens for `template_name`
// in `root`; "" when none opens.
std::string form_template_path(const std::string& root, const char* template_name);

// The attributes of page `page_name`'s entry in the page-script file of
// form `form_name`, or none when the file or the entry is missing.
ParamListPtr page_entry_attrs(const std::string& root, const char* form_name,
                              const std::string& page_name);

// Reads the three preamble lines a page file begins with when its entry
// has no ACTION attribute (a line of name=value pairs the engine does not
// use, a skipped line, and the name of the file to insert after the
// engine's FORM tag) and returns that name.
std::string page_read_preamble(TemplateInput& in);

}  // namespace fwk
