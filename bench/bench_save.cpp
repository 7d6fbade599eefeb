// Saving a response into a data file of 100,000 records (about 20 MB) with
// an index file and the retirement of the session's earlier record: the
// first save after start (the data file is read in full once), the saves
// that follow (only what was appended since is read), and for comparison
// saves that read the whole file every time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "bench/bench_support.hpp"
#include "forms/form_config.hpp"
#include "forms/response_save.hpp"
#include "forms/session_index.hpp"
#include "core/plist.hpp"
#include "core/site.hpp"

namespace {

namespace fs = std::filesystem;
using fwk_bench::field;

constexpr int kRecords = 100000;
// Sessions of the steady-state saves: each already has a live record.
constexpr int kSavedSessions = 1000;

struct DataSet {
  fs::path dir;
  fwk::SiteContext site;
  fwk::FormConfig form;
  int64_t bytes = 0;
};

DataSet& data_set() {
  static DataSet set;
  return set;
}

std::string session_name(int i) {
  return "S" + std::to_string(1000000 + i);
}

// The form "survey": its data file with kRecords records of about 200 bytes
// (one live record per session), and an index file keyed by NAME.
fs::path create_data_set() {
  DataSet& set = data_set();
  set.dir = fwk_bench::make_scratch_dir("fwk_bench_save_");
  set.site.root = set.dir.string() + "/";

  std::string data = "HOST\tDATE\tTIME\t_SESSION\tNAME\tCITY\tAGE\tQ1\tQ2\tQ3\tCOMMENT\n";
  data.reserve(kRecords * 210);
  std::mt19937 numbers(7);
  for (int i = 0; i < kRecords; ++i) {
    data += field("192.168.0.17") + field("20041231") + field("235958");
    data += field(session_name(i)) + field("Respondent number " + std::to_string(i));
    data += field("Oslo") + field(std::to_string(18 + numbers() % 60));
    data += field(numbers() % 2 ? "yes" : "no") + field("a,b,c");
    data += field("Q3 answer with \"\"quotes\"\" inside");
    data += field("A free-text comment that makes the record about two hundred bytes.");
    data += "\r\n";
  }
  fwk_bench::write_file(set.dir / "survey.asc", data);
  fwk_bench::write_file(set.dir / "survey.idx", "NAME\t_POS\n");
  set.bytes = static_cast<int64_t>(data.size());
  fwk::ParamListPtr config = fwk::plist_copy(nullptr, 4);
  fwk::plist_set(config.get(), "SAVEDATA", "1");
  fwk::plist_set(config.get(), "SAVEINDEXNAME", "survey.idx");
  set.form = fwk::form_config_from(set.site.root, "survey", std::move(config), nullptr);
  return set.dir;
}

// One response of session i, as the engine hands it to the save.
fwk::ParamListPtr response(int i) {
  fwk::ParamListPtr request = fwk::plist_copy(nullptr, 16);
  const std::pair<const char*, std::string> fields[] = {
      {"HOST", "192.168.0.20"},
      {"DATE", "20261208"},
      {"TIME", "101500"},
      {"_SESSION", session_name(i)},
      {"NAME", "Saved again " + std::to_string(i)},
      {"CITY", "Rome"},
      {"AGE", "44"},
      {"Q1", "yes"},
      {"Q2", "b"},
      {"COMMENT", "Changed my mind."}};
  for (const auto& [name, value] : fields) fwk::plist_set(request.get(), name, value.c_str());
  return request;
}

void save(benchmark::State& state, int i) {
  fwk::ParamListPtr request = response(i);
  int result = fwk::response_save(data_set().site, data_set().form, request.get());
  if (result != 0) state.SkipWithError("save failed");
}

// The first save after start: nothing is known of the data file yet.
void BM_FirstSaveAfterStart(benchmark::State& state) {
  int i = 0;
  for (auto _ : state) {
    state.PauseTiming();
    data_set().site.session_index = std::make_shared<fwk::SessionIndex>();
    state.ResumeTiming();
    save(state, i++ % kSavedSessions);
  }
  state.counters["file_MB"] = static_cast<double>(data_set().bytes) / 1e6;
}

// The saves that follow: each retires its session's earlier record.
void BM_SteadySave(benchmark::State& state) {
  data_set().site.session_index = std::make_shared<fwk::SessionIndex>();
  save(state, kSavedSessions);  // the first save, not timed
  int i = 0;
  for (auto _ : state) save(state, i++ % kSavedSessions);
}

// For comparison: every save reads the whole data file.
void BM_SaveReadingWholeFile(benchmark::State& state) {
  data_set().site.session_index = nullptr;
  int i = 0;
  for (auto _ : state) save(state, i++ % kSavedSessions);
}

BENCHMARK(BM_FirstSaveAfterStart)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SteadySave)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_SaveReadingWholeFile)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  return fwk_bench::run_with_data_set(argc, argv, create_data_set);
}
