// The record browser on a data file of 100,000 records (about 15 MB): the
// first page of the list, the last page of 50 rows, the last page with a
// query, and the view of the last row, each as a whole request (parameters,
// access check, configuration, data file, page).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "bench/bench_support.hpp"
#include "core/ini.hpp"
#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/site.hpp"
#include "core/text_buffer.hpp"
#include "records/list.hpp"

namespace {

namespace fs = std::filesystem;

constexpr int kRecords = 100000;
const char* const kCities[] = {"Oslo", "Rome", "Lima", "Kyiv", "Pune"};

struct DataSet {
  fs::path dir;
  fwk::SiteContext site;
  int64_t bytes = 0;
};

DataSet& data_set() {
  static DataSet set;
  return set;
}

// The form "survey", readable by everybody, and its data file: a header row
// with grouped columns and kRecords records, every tenth one retired.
fs::path create_data_set() {
  DataSet& set = data_set();
  set.dir = fwk_bench::make_scratch_dir("fwk_bench_list_");
  set.site.root = set.dir.string() + "/";
  fwk_bench::write_file(set.dir / "survey.ini",
                        "[DATABASE]\nTitle=Survey\n[access]\nPWDREAD=(allow)\n");

  std::string text =
      "_SESSION\tDATE\tTIME\tHOST\tNAME\tCITY\tAGE\tQ1_a\tQ1_b\tQ1_c\tQ2\tQ3\tCOMMENT\n";
  std::mt19937 numbers(11);
  for (int i = 0; i < kRecords; ++i) {
    if (i % 10 == 9) text += "#";
    text += "S" + std::to_string(1000000 + i) + "\t20261208\t" +
            std::to_string(100000 + i % 80000) + "\tunit-7\tPerson " + std::to_string(i) + "\t" +
            kCities[numbers() % 5] + "\t" + std::to_string(18 + numbers() % 60) + "\t" +
            std::to_string(numbers() % 2) + "\t" + std::to_string(numbers() % 2) + "\t" +
            std::to_string(numbers() % 2) + "\t" + std::to_string(numbers() % 5) + "\t" +
            std::to_string(numbers() % 10) +
            "\tA comment of some length <about the visit> & the staff, written on the device\n";
  }
  fwk_bench::write_file(set.dir / "survey.asc", text);
  set.bytes = static_cast<int64_t>(text.size());
  return set.dir;
}

// One request with the given "name=value" parameters; returns the page
// size in bytes.
size_t serve(const char* const* params, size_t n) {
  fwk::ParamListPtr params_list = fwk::kv_parse_array(n, params, 0);
  fwk::Request request;
  request.params = params_list.get();
  fwk::TextBuffer text = fwk::tbuf_new(64 * 1024);
  fwk::OutputSink sink;
  sink.text = &text;
  if (fwk::list_handle_request(data_set().site, request, &sink) != fwk::HandlerResult::ok) {
    std::abort();
  }
  return fwk::tbuf_length(text);
}

template <size_t N>
void run(benchmark::State& state, const char* const (&params)[N]) {
  size_t bytes = 0;
  for (auto _ : state) bytes = serve(params, N);
  state.counters["page_bytes"] = static_cast<double>(bytes);
  state.counters["file_MB"] = static_cast<double>(data_set().bytes) / 1e6;
}

void BM_ListFirstPage(benchmark::State& state) {
  const char* const params[] = {"DATABASE=survey", "_ACTION=LIST"};
  run(state, params);
}

void BM_ListLastPage(benchmark::State& state) {
  const char* const params[] = {"DATABASE=survey", "_ACTION=LIST", "_START=99950"};
  run(state, params);
}

void BM_ListLastPageWithQuery(benchmark::State& state) {
  const char* const params[] = {"DATABASE=survey", "_ACTION=LIST", "_START=99950",
                                "_QUERY=CITY eq 'Oslo' | Q2 > 2"};
  run(state, params);
}

void BM_ViewLastRow(benchmark::State& state) {
  const char* const params[] = {"DATABASE=survey", "_ACTION=View", "_ROWID=100000"};
  run(state, params);
}

BENCHMARK(BM_ListFirstPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ListLastPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListLastPageWithQuery)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ViewLastRow)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return fwk_bench::run_with_data_set(argc, argv, create_data_set);
}
