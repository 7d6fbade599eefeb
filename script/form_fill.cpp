#include "script/form_fill.hpp"

#include <cstring>
#include <string>

#include "core/list_text.hpp"
#include "core/out.hpp"
#include "script/expr.hpp"
#include "script/expr_scan.hpp"
#include "script/tag_attrs.hpp"
#include "script/template.hpp"

namespace fwk {

namespace {

constexpr int kElementAttrs = 32;

bool is(const char* name, const char* word) {
  return text_compare_nocase(name, word) == 0;
}

// The element being rewritten: its attributes and the values it needs.
struct Element {
  ParamListPtr attrs;
  std::string type;
  std::string name;
  std::string value;    // the authored VALUE
  std::string current;  // the value held for NAME
};

Element read_element(int delimiter, TemplateInput& in, const ParamList* variables) {
  Element e;
  e.attrs = delimiter == '>' ? plist_alloc(0) : tag_read_attrs(in, kElementAttrs);
  e.type = plist_get(e.attrs.get(), "TYPE", "");
  e.name = plist_get(e.attrs.get(), "NAME", "");
  e.value = plist_get(e.attrs.get(), "VALUE", "");
  if (!e.name.empty()) e.current = plist_get(variables, e.name.c_str(), "");
  return e;
}

void remove_attr(Element& e, const char* attr) {
  plist_rename(e.attrs.get(), attr, nullptr);
}

// Strikes the element's name from the unplaced list: every entry of that
// name (in one pass over the blocks), or only the first.
void strike_unplaced(ParamList* unplaced, const std::string& name, bool every) {
  if (!unplaced || name.empty()) return;
  if (!every) {
    plist_rename(unplaced, name.c_str(), nullptr);
    return;
  }
  const int first = scan_fold(static_cast<unsigned char>(name[0]));
  for (ParamList* block = unplaced; block; block = block->next.get()) {
    for (Pair& entry : block->entries) {
      if (!entry.name) break;
      if (entry.name->empty() || scan_fold(static_cast<unsigned char>((*entry.name)[0])) != first)
        continue;
      if (text_compare_nocase(entry.name->c_str(), name.c_str()) == 0)
        pair_set_name(entry, nullptr);
    }
  }
}

void write_open(OutputSink* sink, const char* tag, const Element& e, const char* extra) {
  out_text(sink, tag);
  out_text(sink, extra);
  attrs_write(sink, e.attrs.get());
  out_text(sink, ">");
}

void fill_input(Element& e, OutputSink* sink, ParamList* unplaced) {
  strike_unplaced(unplaced, e.name, true);
  out_text(sink, "<INPUT");
  bool choice = is(e.type.c_str(), "RADIO") || is(e.type.c_str(), "CHECKBOX");
  if (!choice) {
    remove_attr(e, "VALUE");
    out_text(sink, " VALUE=\"");
    if (!e.current.empty()) {
      out_html(sink, e.current.c_str());
    } else {
      out_text(sink, e.value.c_str());
    }
    out_text(sink, "\"");
  } else if (!e.current.empty()) {
    if (!e.value.empty() && list_contains_exact(e.current.c_str(), e.value.c_str())) {
      out_text(sink, " CHECKED");
    } else {
      remove_attr(e, "CHECKED");
    }
  }
  attrs_write(sink, e.attrs.get());
  out_text(sink, ">");
}

// 1: some variable named like the select lists the option's value; 2: such
// variables exist but none lists it; 0: there is none.
int selected_state(const ParamList* variables, const std::string& select_name,
                   const std::string& option_value) {
  if (!variables) return 0;
  int state = 0;
  for (const Pair& entry : variables->entries) {
    if (!entry.name) break;
    if (entry.name->empty() || text_compare_nocase(entry.name->c_str(), select_name.c_str()) != 0)
      continue;
    state = 2;
    if (entry.value && !option_value.empty() &&
        list_contains_exact(entry.value->c_str(), option_value.c_str()))
      return 1;
  }
  return state;
}

void fill_option(Element& e, TemplateInput& in, OutputSink* sink, const ParamList* variables,
                 const std::string& select_name) {
  const char* query = plist_get(e.attrs.get(), "query", "");
  if (*query && expr_condition(query, variables, nullptr) != 1) {
    file_read_until(in, nullptr, 0, "</OPTION>");
    return;
  }
  int state = selected_state(variables, select_name, e.value);
  if (state == 0) remove_attr(e, "SELECTED");
  write_open(sink, "<OPTION", e, state == 1 ? " SELECTED " : "");
}

void fill_textarea(Element& e, TemplateInput& in, OutputSink* sink, ParamList* unplaced) {
  strike_unplaced(unplaced, e.name, false);
  write_open(sink, "<TEXTAREA", e, "");
  out_html(sink, e.current.empty() ? e.value.c_str() : e.current.c_str());
  out_text(sink, "</TEXTAREA>");
  file_skip_until(in, nullptr, "</TEXTAREA>");
}

}  // namespace

int form_element_is_fillable(const char* name) {
  const std::size_t n = std::strlen(name);
  switch (scan_fold(static_cast<unsigned char>(name[0]))) {
    case 'i':
      return n == 5 && is(name, "INPUT");
    case 'o':
      return n == 6 && is(name, "OPTION");
    case 's':
      return n == 6 && is(name, "SELECT");
    case 't':
      return n == 8 && is(name, "TEXTAREA");
    case '/':
      return n == 9 && is(name, "/TEXTAREA");
  }
  return 0;
}

void form_element_fill(const char* name, int delimiter, TemplateInput& in, OutputSink* sink,
                       const ParamList* variables, ParamList* unplaced, std::string& select_name) {
  Element e = read_element(delimiter, in, variables);
  if (is(name, "INPUT")) {
    fill_input(e, sink, unplaced);
  } else if (is(name, "SELECT")) {
    strike_unplaced(unplaced, e.name, false);
    select_name = e.name.substr(0, kSelectNameArea - 1);
    write_open(sink, "<SELECT", e, "");
  } else if (is(name, "OPTION")) {
    fill_option(e, in, sink, variables, select_name);
  } else if (is(name, "TEXTAREA")) {
    fill_textarea(e, in, sink, unplaced);
  }
  // "/TEXTAREA" met by itself: consumed, nothing written.
}

}  // namespace fwk
