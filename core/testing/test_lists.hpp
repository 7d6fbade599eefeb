// Test support: name/value lists written as literals.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <utility>

#include "core/plist.hpp"

namespace fwk {

using TestPairs = std::initializer_list<std::pair<const char*, const char*>>;

// A one-block list holding the entries in order (a null name or value stays
// absent), then `spare` entries with absent names.
ParamListPtr test_list(TestPairs entries, size_t spare = 0);

// Adds one entry at the end of a one-block list's block (a null name or
// value stays absent) and returns it.
Pair& test_list_add(ParamList& list, const char* name, const char* value);

// Number of entries of the first block, used or not.
size_t test_list_slots(const ParamList* list);

}  // namespace fwk
