#include "core/testing/test_lists.hpp"

namespace fwk {

ParamListPtr test_list(TestPairs entries, size_t spare) {
  ParamListPtr list = plist_alloc(entries.size() + spare);
  size_t i = 0;
  for (const auto& [name, value] : entries) {
    Pair& entry = *plist_at(list.get(), i++);
    if (name) entry.name = name;
    if (value) entry.value = value;
  }
  return list;
}

Pair& test_list_add(ParamList& list, const char* name, const char* value) {
  size_t at = test_list_slots(&list);
  plist_resize(list, at + 1);
  Pair& entry = *plist_at(&list, at);
  if (name) entry.name = name;
  if (value) entry.value = value;
  return entry;
}

size_t test_list_slots(const ParamList* list) {
  size_t n = 0;
  while (plist_at(list, n)) ++n;
  return n;
}

}  // namespace fwk
