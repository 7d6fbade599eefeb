#include "core/page_budget.hpp"

#include "core/sink.hpp"
#include "platform/clock.hpp"

namespace fwk {

namespace {

// budget_ok reads the clock once per this many calls.
constexpr unsigned kCallsPerClockRead = 16;

}  // namespace

std::string budget_reason(BudgetEnd why) {
  switch (why) {
    case BudgetEnd::includes:
      return "it includes more than " + std::to_string(kPageMaxIncludes) + " files";
    case BudgetEnd::bytes:
      return "it is larger than " + std::to_string(kPageMaxBytes / (1024 * 1024)) + " MB";
    case BudgetEnd::records:
      return "its reports read more than " + std::to_string(kPageMaxRecords) + " records";
    case BudgetEnd::time:
      return "it took longer than " + std::to_string(kPageMaxMs / 1000) + " seconds";
    case BudgetEnd::stopped:
      return "the server is shutting down";
    case BudgetEnd::none:
      break;
  }
  return "";
}

std::string budget_note(BudgetEnd why) {
  return std::string("<HR>Error in (page): the page was cut short here because ") +
         budget_reason(why) + ".<HR>";
}

PageBudget page_budget_start(OutputSink* page, const std::atomic<int>* stop) {
  PageBudget budget;
  budget.started_ms = clock_tick_ms();
  budget.page = page;
  budget.stop = stop;
  return budget;
}

void budget_end(PageBudget* budget, BudgetEnd why) {
  if (!budget || budget->end != BudgetEnd::none || why == BudgetEnd::none) return;
  budget->end = why;
  if (!budget->page) return;
  // The note itself is not counted: the page sink is written without the
  // budget that has just run out.
  OutputSink note_sink = *budget->page;
  note_sink.budget = nullptr;
  std::string note = budget_note(why);
  sink_write(&note_sink, note.data(), note.size());
}

bool budget_ok(PageBudget* budget) {
  if (!budget) return true;
  if (budget->end != BudgetEnd::none) return false;
  bool stop_seen =
      !budget->stopping && budget->stop && budget->stop->load(std::memory_order_relaxed) != 0;
  if (!stop_seen && ++budget->calls_since_clock < kCallsPerClockRead) return true;
  budget->calls_since_clock = 0;
  uint32_t elapsed = clock_tick_ms() - budget->started_ms;
  if (stop_seen) {
    budget->stopping = true;
    budget->stop_end_ms = elapsed + budget->stop_grace_ms;
  }
  if (budget->stopping && elapsed >= budget->stop_end_ms) {
    budget_end(budget, BudgetEnd::stopped);
    return false;
  }
  if (elapsed >= budget->allowed_ms) {
    budget_end(budget, BudgetEnd::time);
    return false;
  }
  return true;
}

bool budget_take_include(PageBudget* budget) {
  if (!budget_ok(budget)) return false;
  if (!budget) return true;
  if (budget->includes_left < 1) {
    budget_end(budget, BudgetEnd::includes);
    return false;
  }
  --budget->includes_left;
  return true;
}

bool budget_take_records(PageBudget* budget, long n) {
  if (!budget_ok(budget)) return false;
  if (!budget) return true;
  if (budget->records_left < n) {
    budget_end(budget, BudgetEnd::records);
    return false;
  }
  budget->records_left -= n;
  return true;
}

bool budget_take_bytes(PageBudget* budget, std::size_t n) {
  if (!budget) return true;
  if (budget->end != BudgetEnd::none) return false;
  if (static_cast<std::size_t>(budget->bytes_left) < n) {
    budget_end(budget, BudgetEnd::bytes);
    return false;
  }
  budget->bytes_left -= static_cast<long>(n);
  return true;
}

}  // namespace fwk
