#include "check/form_fields.hpp"

#include <algorithm>
#include <set>

#include "core/ascii.hpp"
#include "core/list_text.hpp"

namespace fwk {

namespace {

// A name that carries an answer: the engine's own parameters begin with
// "_", and DATABASE names the form.
bool is_answer_name(const std::string& name) {
  return !name.empty() && name[0] != '_' && text_compare_nocase(name.c_str(), "DATABASE") != 0;
}

// An element that posts an answer under its name (buttons do not count).
bool posts_answer(const SourceElement& element) {
  if (element.element == "OPTION" || !is_answer_name(element.name)) return false;
  if (element.element != "INPUT") return true;
  return !list_contains_nocase("submit,reset,button,image", element.type.c_str());
}

bool is_navigation_field(const std::string& name) {
  return same_name(name, "_PAGESKIP") || same_name(name, "_PAGENEXT");
}

// Values written in the page (not produced by a template tag).
bool written_out(const std::string& value) {
  return value.find("<%") == std::string::npos && value.find('{') == std::string::npos;
}

// The words of everything the templates and scripts evaluate: a name among
// them is read somewhere.
std::set<std::string> read_names(const FormSources& sources) {
  std::set<std::string> words;
  auto add_words = [&](const SourceCheck& notes) {
    for (const std::string& text : notes.reads) {
      std::string word;
      for (std::size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : ' ';
        const bool in_word =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (in_word) {
          word.push_back(static_cast<char>(ascii_fold(static_cast<unsigned char>(c))));
        } else if (!word.empty()) {
          words.insert(word);
          word.clear();
        }
      }
    }
  };
  for (const PageSource& page : sources.pages) add_words(page.notes);
  for (const PageSource& page : sources.templates) add_words(page.notes);
  for (const ScriptSource& script : sources.scripts) add_words(script.notes);
  return words;
}

std::string folded(const std::string& name) {
  std::string out;
  for (char c : name) out.push_back(static_cast<char>(ascii_fold(static_cast<unsigned char>(c))));
  return out;
}

}  // namespace

bool same_name(const std::string& a, const std::string& b) {
  return text_compare_nocase(a.c_str(), b.c_str()) == 0;
}

// The items of a page list: names separated by "," and " ".
std::vector<std::string> list_items(const std::string& text) {
  std::vector<std::string> items;
  std::string item;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] != ',' && text[i] != ' ') {
      item.push_back(text[i]);
    } else if (!item.empty()) {
      items.push_back(item);
      item.clear();
    }
  }
  return items;
}

void add_field(std::vector<Field>& fields, const std::string& name, const SourcePlace& place) {
  for (const Field& field : fields) {
    if (same_name(field.name, name)) return;
  }
  fields.push_back({name, place});
}

std::vector<Route> form_routes(const FormSources& sources) {
  std::vector<Route> routes;
  for (const PageSource& page : sources.pages) {
    for (const SourceElement& element : page.notes.elements) {
      const std::string& field = element.element == "OPTION" ? element.select : element.name;
      if (element.element == "SELECT" || !is_navigation_field(field)) continue;
      if (element.value.empty() || !written_out(element.value)) continue;
      routes.push_back({page.name, element.value, element.place, "the field " + field, true});
    }
  }
  for (const ScriptSource& script : sources.scripts) {
    for (const SourceAssignment& assignment : script.notes.assignments) {
      if (!is_navigation_field(assignment.target) || assignment.value.empty()) continue;
      routes.push_back({script.page, assignment.value, assignment.place,
                        "the page script's " + assignment.target, assignment.literal});
    }
    for (const SourceCall& call : script.notes.calls) {
      if (!same_name(call.function, "showpage") || call.args.empty() || call.args[0].empty())
        continue;
      routes.push_back({script.page, call.args[0], call.place, "showpage()", true});
    }
  }
  return routes;
}

std::vector<const PageSource*> form_pages_in_order(const FormConfig& form,
                                                   const FormSources& sources,
                                                   const std::vector<Route>& routes,
                                                   std::size_t* reached_count) {
  std::vector<const PageSource*> order;
  auto visit = [&](const PageSource* page) {
    if (page && std::find(order.begin(), order.end(), page) == order.end()) order.push_back(page);
  };
  if (!form.multipage) {
    for (const PageSource& page : sources.pages) visit(&page);
    if (reached_count) *reached_count = order.size();
    return order;
  }
  visit(form_page_named(sources, form.start_page));
  for (std::size_t i = 0; i <= order.size(); ++i) {
    // Routes of the final save lead on from any page.
    const std::string from = i < order.size() ? order[i]->name : kSubmitEntry;
    for (const Route& route : routes) {
      if (route.from != from) continue;
      for (const std::string& item : list_items(route.text)) visit(form_page_named(sources, item));
    }
  }
  if (reached_count) *reached_count = order.size();
  for (const PageSource& page : sources.pages) visit(&page);
  return order;
}

// The ID fields, when respondents log in: the login page posts them.
std::vector<std::string> form_id_fields(const FormConfig& form) {
  std::vector<std::string> names;
  if (!form.has_uid) return names;
  for (const std::string& name : list_items(form.id_fields)) {
    if (std::find_if(names.begin(), names.end(),
                     [&](const std::string& n) { return same_name(n, name); }) == names.end())
      names.push_back(name);
  }
  return names;
}

// What the form's pages place, in the order a respondent meets them.
std::vector<Field> form_placed_fields(const FormConfig& form, const FormSources& sources) {
  std::vector<Field> fields;
  for (const PageSource* page : form_pages_in_order(form, sources, form_routes(sources), nullptr)) {
    for (const SourceElement& element : page->notes.elements) {
      if (posts_answer(element)) add_field(fields, element.name, element.place);
    }
  }
  return fields;
}

// The answers page scripts compute: names they set that nothing reads (a
// name a script or template reads is a working variable).
std::vector<Field> form_computed_fields(const FormSources& sources) {
  std::vector<Field> fields;
  const std::set<std::string> read = read_names(sources);
  for (const ScriptSource& script : sources.scripts) {
    for (const SourceAssignment& assignment : script.notes.assignments) {
      if (!is_answer_name(assignment.target) || read.count(folded(assignment.target))) continue;
      add_field(fields, assignment.target, assignment.place);
    }
  }
  return fields;
}

// Names the engine fills itself, and names scripts set (read or not).
bool form_fills_otherwise(const std::string& column, const FormSources& sources) {
  if (column.empty() || column[0] == '_' || list_contains_nocase("HOST,DATE,TIME", column.c_str()))
    return true;
  for (const ScriptSource& script : sources.scripts) {
    for (const SourceAssignment& assignment : script.notes.assignments) {
      if (same_name(assignment.target, column)) return true;
    }
  }
  return false;
}

}  // namespace fwk
