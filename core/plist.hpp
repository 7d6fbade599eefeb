// Name/value lists: the one associative container of the system.
//
// A list is a first block of entries plus a chain of continuation blocks.
// Names are compared ignoring ASCII case; the name "" marks a free slot and
// an absent name ends the used part of a block. A deleted entry keeps its
// slot and its old value. Lookups return the first match in block order.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

namespace fwk {

// One entry. An absent name ends the used part of its block; "" is a free
// slot. Values may be absent (never set) or "".
struct Pair {
  std::optional<std::string> name;
  std::optional<std::string> value;
};

// One block: `entries` are its usable entries (the count given to
// plist_alloc); `next` is the continuation block, if any.
struct ParamList {
  std::vector<Pair> entries;
  std::unique_ptr<ParamList> next;
};

using ParamListPtr = std::unique_ptr<ParamList>;

// Copy of a text; an absent text gives "".
std::string text_dup(const char* text);
// The first n bytes of text, stopping early at its end; absent gives "".
std::string text_dup_n(const char* text, size_t n);

// ASCII case-insensitive comparison; 0 when equal, otherwise the difference
// of the first differing (folded) characters. Absent texts count as "".
int text_compare_nocase(const char* a, const char* b);

// A new block of n usable entries, names and values absent.
ParamListPtr plist_alloc(size_t n);

// Number of used entries of the first block (up to the first absent name).
size_t plist_used_count(const ParamList* list);

// First entry named `name` (any case) across all blocks; "" finds the first
// free slot. Absent list or name: nullptr.
Pair* plist_find(ParamList* list, const char* name);
const Pair* plist_find(const ParamList* list, const char* name);
inline const Pair* plist_find(std::nullptr_t, const char*) {
  return nullptr;
}

// True when the entry's name (up to a zero byte in it) is the n-byte text
// `name`, ignoring ASCII case: the test every lookup makes.
bool pair_name_is(const Pair& entry, const char* name, size_t n);

// Value of `name`, or `dflt` itself when the name is missing or its value is
// absent or "". The result points into the list (or is dflt).
const char* plist_get(const ParamList* list, const char* name, const char* dflt);

// Replace the name / value in place; an absent text empties the string
// (for a name: the entry becomes a free slot and keeps its value).
void pair_set_name(Pair& entry, const char* name);
void pair_set_value(Pair& entry, const char* value);

// Rename the first entry called `name`; an absent new name deletes it.
// 1 when found, 0 otherwise. Renaming "" claims the first free slot.
int plist_rename(ParamList* list, const char* name, const char* new_name);

// Set the value of `name`, claiming the first free slot when it is missing.
// 0 (nothing changed) only when it is missing and no free slot exists.
int plist_set(ParamList* list, const char* name, const char* value);

// Append a continuation block of `count` free slots (names "", values
// absent) after the last block. An absent list is left alone.
void plist_extend(ParamList* list, size_t count);

// New list: `spare` free slots (name "" and value ""), then copies of the
// used entries of the first block only.
ParamListPtr plist_copy(const ParamList* list, size_t spare);

// New list: `spare` free slots (name "", value absent), copies of first's
// used entries, then those of second's whose names first does not hold.
// First blocks only.
ParamListPtr plist_merge(const ParamList& first, const ParamList* second, size_t spare);

// Building a list in place (parsed requests, file headers, tag
// attributes): entry `index` of the first block, nullptr beyond it.
Pair* plist_at(ParamList* list, size_t index);
const Pair* plist_at(const ParamList* list, size_t index);
// Gives the first block exactly n entries (new ones with name and value
// absent; kept ones unchanged, so their text buffers are reused) and drops
// the continuation blocks.
void plist_resize(ParamList& list, size_t n);

// Visiting the used entries of a list (free slots "" included, up to the
// first absent name of each block). `visit` takes a Pair& (const Pair& for
// a const list) and returns void, or bool: false stops the walk. Both
// return false when the visitor stopped the walk, true otherwise.
//  - plist_each: the whole list, every block in order.
//  - plist_each_in_first_block: the first block only, for the operations
//    the design defines on it (copies, parameter lines, the XML writer, the
//    OPTION state of form filling).
template <class List, class Visit>
bool plist_each_in_block(List& block, Visit&& visit) {
  for (auto& entry : block.entries) {
    if (!entry.name) break;
    if constexpr (std::is_same_v<decltype(visit(entry)), bool>) {
      if (!visit(entry)) return false;
    } else {
      visit(entry);
    }
  }
  return true;
}

template <class List, class Visit>
bool plist_each(List* list, Visit&& visit) {
  for (List* block = list; block; block = block->next.get())
    if (!plist_each_in_block(*block, visit)) return false;
  return true;
}

template <class List, class Visit>
bool plist_each_in_first_block(List* list, Visit&& visit) {
  return list ? plist_each_in_block(*list, visit) : true;
}

}  // namespace fwk
