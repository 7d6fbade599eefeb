#include "script/record_query.hpp"

#include <cstring>

#include "script/expr.hpp"
#include "store/datafile.hpp"

namespace fwk {
namespace {

bool fields_equal(const ParamList* record, const ParamList* criteria) {
  for (const ParamList* block = criteria; block; block = block->next.get()) {
    for (const Pair& criterion : block->entries) {
      if (!criterion.name) break;
      if (criterion.name->empty()) continue;
      const Pair* field = plist_find(record, criterion.name->c_str());
      if (!field) continue;
      const std::string& wanted = criterion.value ? *criterion.value : std::string();
      const std::string& held = field->value ? *field->value : std::string();
      if (wanted != held) return false;
    }
  }
  return true;
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
