// Walking a data file record by record: the next record that satisfies a
// condition (reports, hasRecord) and the next record whose fields equal
// given values (logins and sessions). Both pass over marked lines (retired
// records) and stop at the end of the file or at an empty line.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/page_budget.hpp"
#include "core/plist.hpp"

namespace fwk {

// Reads records into `record` (the data file's header list) until one
// satisfies `condition` (absent or empty: every record). In the condition,
// plain names are the record's fields and "$" names are the variables; a
// condition that cannot be evaluated lets the record through. 1 when a
// record was found, 0 at the end. Every line read counts against the page
// budget (when given); when it runs out the walk ends as at the end.
int record_next_matching(std::FILE* file, ParamList* record, const ParamList* variables,
                         const char* condition, PageBudget* budget = nullptr);

// Reads records into `record` until one whose fields equal the criteria
// (exactly, letter case counting; a field the line leaves out counts as "";
// criteria naming fields the file lacks are ignored; absent criteria match
// every record). `position_out` (may be null) receives the offset where the
// returned record starts. 1 when found, 0 at the end.
int record_next_equal(std::FILE* file, ParamList* record, const ParamList* criteria,
                      int64_t* position_out);

}  // namespace fwk
