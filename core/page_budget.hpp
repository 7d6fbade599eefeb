// The budget of one page: how much work a request may cause while its
// templates, scripts and reports run. A template that includes itself twice,
// a report nested in a report, or an include of an endless file would
// otherwise keep the server (and every other client) busy for minutes.
//
// The budget counts included files, bytes written to the page's sinks and
// records read by reports, and allows a fixed wall time; it also runs out
// shortly after the server is asked to stop (an ordinary page, or a save,
// still finishes; a long page does not hold the shutdown up). Once it has
// run out, the page ends: the
// note saying why is written to the page's response sink, every later write
// to a sink carrying the budget is dropped, template inputs read as ended,
// and the processor, scripts and directives unwind.
//
// The budget lives with the request that made it and reaches the work
// through the response sink, the template arguments and the script context.
// Work without a budget (absent) is not limited.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace fwk {

struct OutputSink;

// The limits of an ordinary page.
constexpr long kPageMaxIncludes = 10000;
constexpr long kPageMaxBytes = 32L * 1024 * 1024;
constexpr long kPageMaxRecords = 1000000;
constexpr uint32_t kPageMaxMs = 10000;
// How long a page may go on once the server is asked to stop.
constexpr uint32_t kPageStopGraceMs = 500;

enum class BudgetEnd {
  none,      // not run out
  includes,  // too many included files
  bytes,     // too much output
  records,   // too many records read by reports
  time,      // the wall time is used up
  stopped,   // the server is stopping
};

struct PageBudget {
  long includes_left = kPageMaxIncludes;
  long bytes_left = kPageMaxBytes;
  long records_left = kPageMaxRecords;
  uint32_t started_ms = 0;  // tick count at the start
  uint32_t allowed_ms = kPageMaxMs;
  // Raised by another thread when the server should stop; may be absent.
  const std::atomic<int>* stop = nullptr;
  uint32_t stop_grace_ms = kPageStopGraceMs;
  bool stopping = false;     // the stop has been seen
  uint32_t stop_end_ms = 0;  // elapsed time at which the stop ends the page
  // The response sink, which receives the note; may be absent.
  OutputSink* page = nullptr;
  BudgetEnd end = BudgetEnd::none;
  // Calls of budget_ok since the clock was last read.
  unsigned calls_since_clock = 0;
};

// A fresh budget with the ordinary limits, started now.
PageBudget page_budget_start(OutputSink* page, const std::atomic<int>* stop);

// True while the budget lasts (always for an absent budget). Reads the clock
// every few calls, so it is cheap enough to call per tag, statement or
// record.
bool budget_ok(PageBudget* budget);

// Spend one included file / n records / n written bytes. False (and the
// budget ends) when that is more than what is left.
bool budget_take_include(PageBudget* budget);
bool budget_take_records(PageBudget* budget, long n);
bool budget_take_bytes(PageBudget* budget, std::size_t n);

// Ends the budget for `why` (once; later calls change nothing) and writes
// the note to the page.
void budget_end(PageBudget* budget, BudgetEnd why);

// True when the budget has run out.
inline bool budget_spent(const PageBudget* budget) {
  return budget && budget->end != BudgetEnd::none;
}

// The note written where the page ends: "<HR>Error in (page): " and why.
std::string budget_note(BudgetEnd why);

// Why the budget ended, in words ("it took longer than 10 seconds").
std::string budget_reason(BudgetEnd why);

}  // namespace fwk
