// Lists written as text ("a, b, c"): items separated by runs of "," and " ".
// Page lists and option values are kept this way inside parameter values,
// and the operations that change them do so in place, so that later readers
// of the parameter see what is left.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/plist.hpp"

namespace fwk {

// 1 when `word` is one of the list's items (exact: letter case counts;
// otherwise ASCII case is ignored). When index_out is given it receives 1
// plus the number of separator characters before the item (every separator
// character counts). An empty word never matches.
int list_contains(const char* list, const char* word, int* index_out, bool exact);
int list_contains_exact(const char* list, const char* word, int* index_out = nullptr);
int list_contains_nocase(const char* list, const char* word, int* index_out = nullptr);

// The items of the list, in order (pieces of `list`).
std::vector<std::string_view> list_items(std::string_view list);

// Removes the first item equal to word (letter case counts) together with
// the separators directly after it. Separators before it stay.
void list_remove_item(std::string& list, const char* word);

// Splits off the first item: the text before the first `sep` (0: the first
// "," or " "). The text keeps what follows that one separator character.
// No separator: nothing happens and the result is empty (none).
std::optional<std::string> list_text_pop(std::string& text, char sep);

// Pops the first item of a list text: leading separators are dropped, the
// first item is split off (as list_text_pop), trailing separators of the
// rest are dropped; the text keeps the rest. A text with a single item
// gives that item and becomes "".
std::string list_pop_item(std::string& text, char sep);

// list_pop_item on the value of `name`. A missing entry or an absent value
// gives "" and changes nothing.
std::string plist_pop_item(ParamList* list, const char* name, char sep);

}  // namespace fwk
