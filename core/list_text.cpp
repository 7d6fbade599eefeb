#include "core/list_text.hpp"

#include <cstring>

#include "core/ascii.hpp"

namespace fwk {

namespace {

bool is_separator(char c) {
  return c == ',' || c == ' ';
}

// True when the item [item, item + length) equals word.
bool item_equals(const char* item, size_t length, const char* word, bool exact) {
  if (std::strlen(word) != length) return false;
  for (size_t i = 0; i < length; ++i) {
    bool same = exact ? item[i] == word[i] : ascii_fold(item[i]) == ascii_fold(word[i]);
    if (!same) return false;
  }
  return true;
}

// Offset of the first item equal to word, or npos. Counts separator
// characters met after the leading ones into *separators when given.
size_t find_item(const char* list, const char* word, bool exact, int* separators) {
  if (!list || !word || !*word) return std::string::npos;
  const char* p = list;
  while (is_separator(*p)) ++p;
  while (*p) {
    if (is_separator(*p)) {
      ++p;
      if (separators) ++*separators;
      continue;
    }
    const char* end = p;
    while (*end && !is_separator(*end)) ++end;
    if (item_equals(p, static_cast<size_t>(end - p), word, exact)) {
      return static_cast<size_t>(p - list);
    }
    p = end;
  }
  return std::string::npos;
}

void trim_leading_separators(std::string& text) {
  size_t n = 0;
  while (n < text.size() && is_separator(text[n])) ++n;
  text.erase(0, n);
}

void trim_trailing_separators(std::string& text) {
  while (!text.empty() && is_separator(text.back())) text.pop_back();
}

}  // namespace

int list_contains(const char* list, const char* word, int* index_out, bool exact) {
  int index = 1;
  bool found = find_item(list, word, exact, &index) != std::string::npos;
  if (index_out) *index_out = index;
  return found ? 1 : 0;
}

int list_contains_exact(const char* list, const char* word, int* index_out) {
  return list_contains(list, word, index_out, true);
}

int list_contains_nocase(const char* list, const char* word, int* index_out) {
  return list_contains(list, word, index_out, false);
}

std::vector<std::string_view> list_items(std::string_view list) {
  std::vector<std::string_view> items;
  size_t at = 0;
  while (at < list.size()) {
    if (is_separator(list[at])) {
      ++at;
      continue;
    }
    size_t end = at;
    while (end < list.size() && !is_separator(list[end])) ++end;
    items.push_back(list.substr(at, end - at));
    at = end;
  }
  return items;
}

void list_remove_item(std::string& list, const char* word) {
  size_t at = find_item(list.c_str(), word, true, nullptr);
  if (at == std::string::npos) return;
  size_t k = std::strlen(word);
  while (at + k < list.size() && is_separator(list[at + k])) ++k;
  list.erase(at, k);
}

std::optional<std::string> list_text_pop(std::string& text, char sep) {
  size_t at = sep ? text.find(sep) : text.find_first_of(", ");
  if (at == std::string::npos) return std::nullopt;
  std::string item = text.substr(0, at);
  text.erase(0, at + 1);
  return item;
}

std::string list_pop_item(std::string& text, char sep) {
  trim_leading_separators(text);
  std::optional<std::string> item = list_text_pop(text, sep);
  trim_trailing_separators(text);
  if (item) return *item;
  std::string whole = text;
  text.clear();
  return whole;
}

std::string plist_pop_item(ParamList* list, const char* name, char sep) {
  Pair* entry = plist_find(list, name);
  if (!entry || !entry->value) return std::string();
  return list_pop_item(*entry->value, sep);
}

}  // namespace fwk
