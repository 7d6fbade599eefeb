#include "store/record_query.hpp"

#include <cstring>

#include "expr/expr.hpp"
#include "store/datafile.hpp"

namespace fwk {
namespace {

// Every criterion of the whole list is checked.
bool fields_equal(const ParamList* record, const ParamList* criteria) {
  static const std::string kNone;
  return plist_each(criteria, [&](const Pair& criterion) {
    if (criterion.name->empty()) return true;
    const Pair* field = plist_find(record, criterion.name->c_str());
    if (!field) return true;
    const std::string& wanted = criterion.value ? *criterion.value : kNone;
    const std::string& held = field->value ? *field->value : kNone;
    return wanted == held;
  });
}

}  // namespace

int record_next_matching(std::FILE* file, ParamList* record, const ParamList* variables,
                         const char* condition, PageBudget* budget) {
  bool filtered = condition && *condition;
  for (;;) {
    if (!budget_take_records(budget, 1)) return 0;
    int kind = kRecordPlain;
    if (!datafile_read_record(file, record, &kind)) return 0;
    if (kind == kRecordMarked) continue;
    if (!filtered || expr_condition(condition, record, variables) != 0) return 1;
  }
}

int record_next_equal(std::FILE* file, ParamList* record, const ParamList* criteria,
                      int64_t* position_out) {
  for (;;) {
    if (position_out) *position_out = std::ftell(file);
    int kind = kRecordPlain;
    if (!datafile_read_record(file, record, &kind)) return 0;
    if (kind == kRecordMarked) continue;
    if (!criteria || fields_equal(record, criteria)) return 1;
  }
}

}  // namespace fwk
