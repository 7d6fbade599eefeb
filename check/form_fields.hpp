// What a form fills and where it leads, as its checking passes read it:
// the fields its pages place, the answers its page scripts compute, and the
// routes from page to page.
#pragma once

#include <string>
#include <vector>

#include "check/form_sources.hpp"
#include "forms/form_config.hpp"
#include "script/source_check.hpp"

namespace fwk {

// The page-script entry run at every final save; its routes lead on from
// any page.
inline constexpr const char* kSubmitEntry = "SUBMIT";

// Names compared as the engine compares them (ASCII case ignored).
bool same_name(const std::string& a, const std::string& b);

// The items of a page list or a field list: names separated by "," and " ".
std::vector<std::string> list_items(const std::string& text);

// A name that carries an answer, and where it was first met.
struct Field {
  std::string name;
  SourcePlace place;
};

// Adds `name` unless a field of that name (any case) is there already.
void add_field(std::vector<Field>& fields, const std::string& name, const SourcePlace& place);

// A page (or group of pages) named as the next one: by a field of a page,
// or by a page script.
struct Route {
  std::string from;  // the page it leads from; SUBMIT: every final save
  std::string text;  // the names, "," and " " between them
  SourcePlace place;
  std::string how;      // for the message: "the field _PAGESKIP", "showpage()"
  bool literal = true;  // written out (not computed from variables)
};

std::vector<Route> form_routes(const FormSources& sources);

// Pages in the order a respondent can meet them: from the start page along
// the routes (each page's routes in the order written), then the pages no
// route reaches, by name. `reached_count` (may be null) receives how many
// the routes reach.
std::vector<const PageSource*> form_pages_in_order(const FormConfig& form,
                                                   const FormSources& sources,
                                                   const std::vector<Route>& routes,
                                                   std::size_t* reached_count);

// The ID fields, when respondents log in (the login page posts them).
std::vector<std::string> form_id_fields(const FormConfig& form);

// What the form's pages (or template) place, in the order a respondent
// meets them: every INPUT, SELECT and TEXTAREA but buttons, and names that
// are the engine's (a leading "_", DATABASE).
std::vector<Field> form_placed_fields(const FormConfig& form, const FormSources& sources);

// The answers page scripts compute: names they set that no script or
// template reads (a name that is read is a working variable).
std::vector<Field> form_computed_fields(const FormSources& sources);

// A column the engine fills itself (names with a leading "_", HOST, DATE,
// TIME), or one a page script sets, read or not.
bool form_fills_otherwise(const std::string& column, const FormSources& sources);

}  // namespace fwk
