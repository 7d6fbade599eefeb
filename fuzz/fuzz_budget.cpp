// Fuzzes the page budget: the input is split at lines "----" into a page,
// two templates it may include ("a.html", "b.html") and a data file
// ("data.asc") its reports may read, written to a directory of their own.
// The page is processed with a small budget. However the files include and
// report on each other, the run must end within its time, never write more
// than the budget allows, and, when the budget ran out, end with the note.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/page_budget.hpp"
#include "core/plist.hpp"
#include "core/sink.hpp"
#include "core/text_buffer.hpp"
#include "template/template.hpp"

namespace {

namespace fs = std::filesystem;

constexpr const char* kNames[] = {"page.html", "a.html", "b.html", "data.asc"};
constexpr std::string_view kSeparator = "\n----\n";
constexpr long kIncludes = 64;
constexpr long kBytes = 1 << 16;
constexpr long kRecords = 256;
constexpr uint32_t kMillis = 300;
// Far more than any budgeted page may take, even under the sanitizers.
constexpr auto kHardLimit = std::chrono::seconds(5);

const fs::path& work_directory() {
  static const fs::path dir = [] {
    fs::path d = fs::temp_directory_path() / ("fwk-fuzz-budget-" + std::to_string(std::rand()));
    fs::create_directories(d);
    return d;
  }();
  return dir;
}

void write_file(const fs::path& path, std::string_view bytes) {
  fwk::FilePtr file(std::fopen(path.c_str(), "wb"));
  if (!file) std::abort();
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const fs::path& dir = work_directory();
  for (const char* name : kNames) {
    size_t cut = input.find(kSeparator);
    write_file(dir / name, input.substr(0, cut));
    input =
        cut == std::string_view::npos ? std::string_view() : input.substr(cut + kSeparator.size());
  }

  fwk::ParamListPtr vars = fwk::plist_copy(nullptr, 4);
  fwk::plist_set(vars.get(), "a", "1");
  fwk::plist_set(vars.get(), "name", "a.html");
  fwk::TextBuffer buffer = fwk::tbuf_new(1024);
  fwk::OutputSink sink;
  sink.text = &buffer;
  fwk::PageBudget budget = fwk::page_budget_start(&sink, nullptr);
  budget.includes_left = kIncludes;
  budget.bytes_left = kBytes;
  budget.records_left = kRecords;
  budget.allowed_ms = kMillis;
  sink.budget = &budget;

  const std::string page = (dir / "page.html").string();
  fwk::FilePtr file(std::fopen(page.c_str(), "rb"));
  if (!file) std::abort();
  auto started = std::chrono::steady_clock::now();
  fwk::TextInput page_input = fwk::input_from_file(file.get());
  int result = fwk::template_process(
      {.base_path = page.c_str(), .sink = &sink, .input = &page_input, .variables = vars.get()},
      nullptr);
  file.reset();
  if (std::chrono::steady_clock::now() - started > kHardLimit) std::abort();
  if (result != 0 && result != -1) std::abort();

  std::string out = fwk::tbuf_to_text(buffer);
  if (budget.includes_left < 0 || budget.records_left < 0 || budget.bytes_left < 0) std::abort();
  if (fwk::budget_spent(&budget)) {
    std::string note = fwk::budget_note(budget.end);
    if (out.size() > static_cast<size_t>(kBytes) + note.size()) std::abort();
    if (out.size() < note.size() || out.compare(out.size() - note.size(), note.size(), note) != 0)
      std::abort();
  } else if (out.size() > static_cast<size_t>(kBytes)) {
    std::abort();
  }
  return 0;
}
