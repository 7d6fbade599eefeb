// Reading a large data file: a %report with a condition over 100,000
// records (about 20 MB), and record_next_equal scanning the same file, beside
// the time to merely read the file and to read its records.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_support.hpp"
#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/text_buffer.hpp"
#include "store/datafile.hpp"
#include "store/record_query.hpp"
#include "template/template.hpp"

namespace {

namespace fs = std::filesystem;
using fwk_bench::field;

constexpr int kRecords = 100000;
const char* const kCities[] = {"Oslo", "Rome", "Lima", "Kyiv", "Pune"};

struct DataSet {
  fs::path dir;
  std::string data_path;
  std::string page_path;
  int64_t bytes = 0;
  int matching = 0;  // records the report's condition selects
};

DataSet& data_set() {
  static DataSet set;
  return set;
}

// Builds the data file: a header row and kRecords records of about 200
// bytes, every tenth one retired.
fs::path create_data_set() {
  DataSet& set = data_set();
  set.dir = fwk_bench::make_scratch_dir("fwk_bench_report_");
  set.data_path = (set.dir / "survey.asc").string();
  set.page_path = (set.dir / "report.html").string();

  fwk::FilePtr file(std::fopen(set.data_path.c_str(), "wb"));
  std::string header = "_SESSION\tDATE\tTIME\tHOST\tNAME\tCITY\tAGE\tQ1\tQ2\tQ3\tQ4\tCOMMENT\n";
  std::fputs(header.c_str(), file.get());
  std::mt19937 numbers(7);
  std::string line;
  for (int i = 0; i < kRecords; ++i) {
    const char* city = kCities[numbers() % 5];
    line.clear();
    line += field(std::string("S").append(std::to_string(1000000 + i)));
    line += field("20041231") + field("235958") + field("192.168.0.17");
    line += field("Respondent number " + std::to_string(i));
    line += field(city);
    line += field(std::to_string(18 + numbers() % 60));
    line += field(numbers() % 2 ? "yes" : "no");
    line += field(std::to_string(numbers() % 5 + 1));
    line += field("Q3 answer with \"\"quotes\"\" inside");
    line += field("a,b,c");
    line += field("A free-text comment that makes the record about two hundred bytes long.");
    line += "\r\n";
    if (i % 10 == 9) line[0] = '#';
    bool retired = i % 10 == 9;
    if (!retired && std::string(city) == "Oslo") ++set.matching;
    std::fwrite(line.data(), 1, line.size(), file.get());
  }
  file.reset();
  set.bytes = static_cast<int64_t>(fs::file_size(set.data_path));

  fwk_bench::write_file(
      set.page_path,
      "<table><%report survey.asc CITY eq 'Oslo' %><tr><td>{#}</td><td>{NAME}</td>"
      "<td>{AGE}</td></tr>\n</report></table>\n");
  return set.dir;
}

void count(benchmark::State& state, int64_t records) {
  state.SetItemsProcessed(state.iterations() * records);
  state.SetBytesProcessed(state.iterations() * data_set().bytes);
}

// The floor: the file's bytes read in large blocks.
void BM_ReadFileBytes(benchmark::State& state) {
  std::vector<char> block(1 << 16);
  for (auto _ : state) {
    fwk::FilePtr file(std::fopen(data_set().data_path.c_str(), "rb"));
    size_t total = 0;
    while (size_t n = std::fread(block.data(), 1, block.size(), file.get())) total += n;
    benchmark::DoNotOptimize(total);
  }
  count(state, kRecords);
}

// Every line read into the header list.
void BM_ReadRecords(benchmark::State& state) {
  for (auto _ : state) {
    fwk::FilePtr file;
    fwk::ParamListPtr header;
    fwk::datafile_open(data_set().data_path.c_str(), &file, &header, 0);
    int records = 0;
    while (fwk::datafile_read_record(file.get(), header.get(), nullptr)) ++records;
    if (records != kRecords) state.SkipWithError("wrong record count");
  }
  count(state, kRecords);
}

// A report page: one row per record of the city Oslo.
void BM_ReportWithCondition(benchmark::State& state) {
  size_t output = 0;
  const fwk::SiteContext site;
  for (auto _ : state) {
    fwk::TextBuffer buffer = fwk::tbuf_new(1 << 20);
    fwk::OutputSink sink;
    sink.text = &buffer;
    fwk::FilePtr page(std::fopen(data_set().page_path.c_str(), "rb"));
    fwk::TextInput input = fwk::input_from_file(page.get());
    fwk::template_process(
        {.site = &site, .base_path = data_set().page_path.c_str(), .sink = &sink, .input = &input},
        nullptr);
    output = fwk::tbuf_length(buffer);
  }
  state.counters["rows"] = data_set().matching;
  state.counters["output_bytes"] = static_cast<double>(output);
  count(state, kRecords);
}

// Looking for the session of the last record: a scan of the whole file.
void BM_RecordNextEqualScan(benchmark::State& state) {
  fwk::ParamListPtr criteria = fwk::plist_copy(nullptr, 1);
  std::string last_session = std::string("S").append(std::to_string(1000000 + kRecords - 1));
  fwk::plist_set(criteria.get(), "_SESSION", last_session.c_str());
  for (auto _ : state) {
    fwk::FilePtr file;
    fwk::ParamListPtr header;
    fwk::datafile_open(data_set().data_path.c_str(), &file, &header, 0);
    int64_t position = 0;
    int found = 0;
    while (fwk::record_next_equal(file.get(), header.get(), criteria.get(), &position)) ++found;
    if (found != 0) state.SkipWithError("the last record is retired and must not match");
  }
  count(state, kRecords);
}

BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadRecords)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReportWithCondition)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RecordNextEqualScan)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return fwk_bench::run_with_data_set(argc, argv, create_data_set);
}
