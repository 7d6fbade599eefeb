#include "template/form_fill.hpp"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/ascii.hpp"
#include "core/list_text.hpp"
#include "core/out.hpp"
#include "expr/expr.hpp"
#include "expr/expr_scan.hpp"
#include "template/tag_attrs.hpp"
#include "template/template.hpp"
#include "template/template_scan.hpp"

namespace fwk {

namespace {

constexpr int kElementAttrs = 32;

enum class Element { kNone, kInput, kSelect, kOption, kTextarea, kTextareaEnd };

bool is(const char* name, const char* word) {
  return text_compare_nocase(name, word) == 0;
}

bool is(std::string_view name, const char* word) {
  return text_equal_nocase(name, word);
}

// Element names hold no zero byte, so the length tells most names apart.
Element element_of(std::string_view name) {
  if (name.empty()) return Element::kNone;
  const std::size_t n = name.size();
  switch (ascii_fold(static_cast<unsigned char>(name[0]))) {
    case 'i':
      if (n == 5 && is(name, "INPUT")) return Element::kInput;
      break;
    case 'o':
      if (n == 6 && is(name, "OPTION")) return Element::kOption;
      break;
    case 's':
      if (n == 6 && is(name, "SELECT")) return Element::kSelect;
      break;
    case 't':
      if (n == 8 && is(name, "TEXTAREA")) return Element::kTextarea;
      break;
    case '/':
      if (n == 9 && is(name, "/TEXTAREA")) return Element::kTextareaEnd;
      break;
  }
  return Element::kNone;
}

// True when the text of `stored` (up to its first zero byte) is the n-byte
// `name`, ignoring case; lengths are compared first.
// The element being rewritten: its attributes and the values it needs.
// The texts point into the attributes and the variables, which keep their
// values while the element is handled (removing an attribute only clears
// its name).
struct Fields {
  ParamList& attrs;
  const char* type = "";
  const char* name = "";
  const char* value = "";    // the authored VALUE
  const char* current = "";  // the value held for NAME
};

Fields read_fields(int delimiter, TemplateInput& in, const ParamList* variables, ParamList& attrs) {
  if (delimiter == '>') {
    plist_resize(attrs, 0);
  } else {
    tag_read_attrs_into(in, kElementAttrs, attrs);
  }
  Fields e{attrs};
  e.type = plist_get(&attrs, "TYPE", "");
  e.name = plist_get(&attrs, "NAME", "");
  e.value = plist_get(&attrs, "VALUE", "");
  if (*e.name) e.current = plist_get(variables, e.name, "");
  return e;
}

void remove_attr(Fields& e, const char* attr) {
  plist_rename(&e.attrs, attr, nullptr);
}

// Strikes the element's name from the unplaced list: every entry of that
// name in the whole list (in one pass), or only the first.
void strike_unplaced(ParamList* unplaced, const char* name, bool every) {
  if (!unplaced || !*name) return;
  if (!every) {
    plist_rename(unplaced, name, nullptr);
    return;
  }
  const std::size_t n = std::strlen(name);
  plist_each(unplaced, [&](Pair& entry) {
    if (pair_name_is(entry, name, n)) pair_set_name(entry, nullptr);
  });
}

void append_open(std::string& out, const char* tag, const Fields& e, const char* extra) {
  out.append(tag);
  out.append(extra);
  attrs_append(out, &e.attrs);
  out.push_back('>');
}

// A check box or radio button: 1 when some value held for its name lists
// its VALUE (a browser sends one entry per checked box), 2 when values are
// held but none lists it, 0 when none is held (the template decides).
int choice_state(const ParamList* variables, const char* name, const char* value) {
  if (*name == '\0') return 0;
  const std::size_t n = std::strlen(name);
  int state = 0;
  // The whole list: every entry of the name counts.
  plist_each(variables, [&](const Pair& entry) {
    if (!entry.value || entry.value->empty() || !pair_name_is(entry, name, n)) return true;
    state = 2;
    if (*value && list_contains_exact(entry.value->c_str(), value)) {
      state = 1;
      return false;
    }
    return true;
  });
  return state;
}

void fill_input(Fields& e, std::string& out, const ParamList* variables, ParamList* unplaced) {
  strike_unplaced(unplaced, e.name, true);
  out.append("<INPUT");
  bool choice = is(e.type, "RADIO") || is(e.type, "CHECKBOX");
  if (!choice) {
    remove_attr(e, "VALUE");
    out.append(" VALUE=\"");
    if (*e.current) {
      html_append(out, e.current);
    } else {
      out.append(e.value);
    }
    out.push_back('"');
  } else {
    int state = choice_state(variables, e.name, e.value);
    if (state == 1) {
      out.append(" CHECKED");
    } else if (state == 2) {
      remove_attr(e, "CHECKED");
    }
  }
  attrs_append(out, &e.attrs);
  out.push_back('>');
}

// 1: some variable named like the select lists the option's value; 2: such
// variables exist but none lists it; 0: there is none. Only the first block
// of the variables is asked: the request's own parameters live there.
int selected_state(const ParamList* variables, const std::string& select_name,
                   const char* option_value) {
  const char* select = select_name.c_str();
  const std::size_t n = std::strlen(select);
  int state = 0;
  plist_each_in_first_block(variables, [&](const Pair& entry) {
    if (entry.name->empty() || !pair_name_is(entry, select, n)) return true;
    state = 2;
    if (entry.value && *option_value && list_contains_exact(entry.value->c_str(), option_value)) {
      state = 1;
      return false;
    }
    return true;
  });
  return state;
}

// A checking pass notes the element, and an option's query.
void note_element(FormFillState& state, const char* element, const Fields& e) {
  SourceCheck* check = state.check;
  check->elements.push_back({source_place(*check, state.tag_at), element, e.name, e.type, e.value,
                             *element == 'O' ? state.select_name : std::string()});
  const char* query = plist_get(&e.attrs, "query", "");
  if (*element == 'O' && *query) source_condition(check, state.tag_at, query, "hides the option");
}

// False when the option is dropped (with its text) by its query.
bool fill_option(Fields& e, TemplateInput& in, std::string& out, const ParamList* variables,
                 const std::string& select_name, bool checking) {
  const char* query = plist_get(&e.attrs, "query", "");
  if (*query && !checking && expr_condition(query, variables, nullptr) != 1) {
    input_read_until(in, nullptr, 0, "</OPTION>");
    return false;
  }
  int state = selected_state(variables, select_name, e.value);
  if (state == 0) remove_attr(e, "SELECTED");
  append_open(out, "<OPTION", e, state == 1 ? " SELECTED " : "");
  return true;
}

void fill_textarea(Fields& e, std::string& out, ParamList* unplaced) {
  strike_unplaced(unplaced, e.name, false);
  append_open(out, "<TEXTAREA", e, "");
  html_append(out, *e.current ? e.current : e.value);
  out.append("</TEXTAREA>");
}

}  // namespace

int form_element_is_fillable(std::string_view name) {
  return element_of(name) != Element::kNone;
}

int form_element_is_fillable(const char* name) {
  return element_of(name) != Element::kNone;
}

void form_element_fill(const char* name, int delimiter, TemplateInput& in, OutputSink* sink,
                       const ParamList* variables, ParamList* unplaced, FormFillState& state) {
  const Element kind = element_of(name);
  Fields e = read_fields(delimiter, in, variables, state.attrs);
  std::string& out = state.out;
  out.clear();
  if (state.check && kind != Element::kTextareaEnd && kind != Element::kNone) {
    constexpr const char* kNames[] = {"", "INPUT", "SELECT", "OPTION", "TEXTAREA"};
    note_element(state, kNames[static_cast<int>(kind)], e);
  }
  switch (kind) {
    case Element::kInput:
      fill_input(e, out, variables, unplaced);
      break;
    case Element::kSelect:
      strike_unplaced(unplaced, e.name, false);
      state.select_name.assign(e.name, std::min(std::strlen(e.name), kSelectNameArea - 1));
      append_open(out, "<SELECT", e, "");
      break;
    case Element::kOption:
      fill_option(e, in, out, variables, state.select_name, state.check != nullptr);
      break;
    case Element::kTextarea:
      fill_textarea(e, out, unplaced);
      // The template's own text up to the closing tag is replaced.
      input_skip_until(in, nullptr, "</TEXTAREA>");
      break;
    case Element::kTextareaEnd:  // met by itself: consumed, nothing written
    case Element::kNone:
      break;
  }
  if (!out.empty()) sink_write(sink, out.data(), out.size());
}

}  // namespace fwk
