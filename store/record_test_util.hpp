// Unit-test support for the store: records built from name/value pairs.
#pragma once

#include <initializer_list>
#include <utility>

#include "core/plist.hpp"

namespace fwk {

// A record list holding the given entries in order (a null value stays
// absent), followed by `spare` entries with absent names.
inline ParamListPtr make_record(std::initializer_list<std::pair<const char*, const char*>> entries,
                                size_t spare = 0) {
  ParamListPtr list = plist_alloc(entries.size() + spare);
  size_t i = 0;
  for (const auto& [name, value] : entries) {
    list->entries[i].name = name;
    if (value) list->entries[i].value = value;
    ++i;
  }
  return list;
}

}  // namespace fwk
