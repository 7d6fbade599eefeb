#include "template/directives.hpp"

#include <cstdint>
#include <utility>
#include <vector>

#include "core/ascii.hpp"
#include "core/connection.hpp"
#include "core/ini.hpp"
#include "core/limits.hpp"
#include "core/out.hpp"
#include "core/paths.hpp"
#include "core/status_log.hpp"
#include "platform/clock.hpp"
#include "store/record_query.hpp"
#include "script/script_token.hpp"
#include "template/template_scan.hpp"
#include "store/datafile.hpp"

namespace fwk {
namespace {

constexpr const char* kTagEnd = "%>";
constexpr const char* kSectionEnd = "/report";

void keep(std::string& word, std::size_t size, int c) {
  if (word.size() + 1 < size) word.push_back(static_cast<char>(c));
}

// An unquoted word ends at whitespace, or right before a "%>" that follows
// it directly (the tag's end stays to be read); "%>" alone is a word.
void read_plain(TemplateInput& in, std::string& word, std::size_t size, int c) {
  bool empty = true;
  while (c != kInputEnd && !ascii_is_space(c)) {
    if (c == '%') {
      int next = input_getc(in);
      if (next == '>') {
        if (empty) {
          word = kTagEnd;
        } else {
          input_seek(in, input_tell(in) - 2);
        }
        return;
      }
      keep(word, size, '%');
      empty = false;
      c = next;
      continue;
    }
    keep(word, size, c);
    empty = false;
    c = input_getc(in);
  }
}

// A child call of the processor: the same arguments one level deeper.
TemplateArgs nested(const TemplateArgs& args) {
  TemplateArgs child = args;
  child.depth = args.depth + 1;
  return child;
}

void skip_to_tag_end(const TemplateArgs& args) {
  input_skip_until(*args.input, nullptr, kTagEnd);
}

// The text of a %report condition: trimmed, unquoted, or the value of a
// "$" variable.
std::string report_condition(const std::string& raw, const ParamList* variables) {
  std::string text(text_trim(raw));
  if (text.empty()) return "";
  if (text[0] == '"' || text[0] == '\'') {
    std::size_t close = text.find(text[0], 1);
    return text.substr(1, close == std::string::npos ? std::string::npos : close - 1);
  }
  if (text[0] == '$') return plist_get(variables, text.c_str() + 1, "");
  return text;
}

void report_open_failure(const TemplateArgs& args, const std::string& path) {
  OutputSink* sink = args.sink;
  out_text(sink, "[Error: Unable to open the database ");
  out_text(sink, path.c_str());
  out_text(sink, "]");
  std::string message = "\nCGI_DATA: Unable to open the database: " + path;
  status_log(site_log(args.site), message.c_str());
}

// Runs the report section once per matching record. The template has been
// passed over once already and is left where the last rendering ended.
void render_records(const TemplateArgs& args, std::FILE* file, ParamList* record,
                    const std::string& condition, long section_start) {
  TemplateArgs row = nested(args);
  row.record = record;
  row.unplaced = nullptr;
  row.fill_fields = 0;
  const char* filter = condition.empty() ? nullptr : condition.c_str();
  long count = 0;
  while (record_next_matching(file, record, args.variables, filter, args.budget)) {
    plist_set(record, "#", std::to_string(++count).c_str());
    input_seek(*args.input, section_start);
    template_process(row, kSectionEnd);
  }
}

// The statistics list: COUNT entries, then SUM entries named key.SUM.
ParamListPtr read_statistics(const std::string& path) {
  ParamListPtr counts = ini_read_section(path.c_str(), "COUNT", 0);
  ParamListPtr sums = ini_read_section(path.c_str(), "SUM", 0);
  plist_each(sums.get(),
             [](Pair& entry) { entry.name = text_concat3(entry.name->c_str(), ".SUM", ""); });
  if (counts && sums) return plist_merge(*counts, sums.get(), 0);
  return counts ? std::move(counts) : std::move(sums);
}

// Shuffles the item positions as the device always has: a sum seeded from
// the session and host, advanced by each position and the tick count.
void shuffle_items(std::vector<long>& items, const ParamList* variables) {
  uint32_t sum = 452;
  for (const char* name : {"_SESSION", "HOST"}) {
    for (const char* p = plist_get(variables, name, ""); *p; ++p) {
      sum += static_cast<unsigned char>(*p);
    }
  }
  const std::size_t n = items.size();
  for (std::size_t j = 0; j < n; ++j) {
    sum += static_cast<uint32_t>(items[j]) + clock_tick_ms();
    int64_t signed_sum = static_cast<int32_t>(sum);
    if (signed_sum < 0) signed_sum = -signed_sum;
    sum = static_cast<uint32_t>(signed_sum);
    std::size_t k = static_cast<std::size_t>(signed_sum % static_cast<int64_t>(n));
    std::swap(items[j], items[k]);
  }
}

using Directive = int (*)(const TemplateArgs&);

Directive fwk_command(const std::string& word) {
  const std::pair<const char*, Directive> commands[] = {
      {"include", directive_include}, {"source", directive_source}, {"report", directive_report},
      {"random", directive_random},   {"stats", directive_stats},
  };
  for (const auto& [name, directive] : commands) {
    if (text_compare_nocase(word.c_str(), name) == 0) return directive;
  }
  return nullptr;
}

}  // namespace

int directive_word(TemplateInput& in, std::string& word, std::size_t size) {
  word.clear();
  int c;
  do {
    c = input_getc(in);
  } while (ascii_is_space(c));
  if (c == kInputEnd) return -1;
  if (c == '"' || c == '\'') {
    input_read_quoted(in, c, [&](int quoted) { keep(word, size, quoted); });
  } else {
    read_plain(in, word, size, c);
  }
  return c;
}

int directive_param(TemplateInput& in, std::string& word, std::size_t size) {
  if (directive_word(in, word, size) == -1 || word.empty()) return 0;
  if (word == kTagEnd) {
    word.clear();
    return 0;
  }
  return 1;
}

namespace {

// Where a checking pass notes a directive's problem: at its tag.
long tag_place(const TemplateArgs& args) {
  return args.check ? args.check->tag_at : 0;
}

}  // namespace

void directive_error(const TemplateArgs& args, const char* subject, const char* message) {
  const TemplateInput& in = *args.input;
  source_problem(args.check, tag_place(args), SourceSeverity::error,
                 std::string(subject) + ": " + message);
  OutputSink* sink = args.sink;
  if (!sink) return;
  out_text(sink, "<HR>Error in (");
  out_text(sink, subject);
  out_printf(sink, ")[%ld]: ", input_tell(in));
  out_text(sink, message);
  out_text(sink, "<HR>");
}

int directive_include(const TemplateArgs& args) {
  TemplateInput& in = *args.input;
  std::string name;
  if (!directive_param(in, name, kDirectiveNameArea)) {
    directive_error(args, "include", "parameter missing");
    return 0;
  }
  skip_to_tag_end(args);
  if (!budget_take_include(args.budget)) return 0;
  std::FILE* file = path_open_binary(args.base_path, name.c_str());
  if (!file) {
    if (args.check) {
      std::string path;
      path_join(args.base_path, path, name.c_str());
      source_problem(args.check, tag_place(args), SourceSeverity::error,
                     "<%include " + name + "> names " + path + ", which cannot be opened");
      return 0;
    }
    directive_error(args, name.c_str(), "cannot open file");
    return 0;
  }
  TemplateInput included = input_from_file(file);
  TemplateArgs child = nested(args);
  child.input = &included;
  child.unplaced = nullptr;
  child.fill_fields = 0;
  if (args.check) {
    std::string path;
    path_join(args.base_path, path, name.c_str());
    args.check->files.push_back(path);
  }
  template_process(child, nullptr);
  if (args.check) args.check->files.pop_back();
  std::fclose(file);
  return 1;
}

int directive_source(const TemplateArgs& args) {
  TemplateInput& in = *args.input;
  std::string name;
  if (!directive_param(in, name, kDirectiveNameArea)) {
    directive_error(args, "source", "parameter missing");
    return 0;
  }
  skip_to_tag_end(args);
  std::string path;
  if (args.check) {
    // Nothing is copied: the file only has to open.
    FilePtr file(path_open_binary(args.base_path, name.c_str()));
    if (file) return 1;
    path_join(args.base_path, path, name.c_str());
    source_problem(args.check, tag_place(args), SourceSeverity::error,
                   "<%source " + name + "> names " + path + ", which cannot be opened");
    return 0;
  }
  if (!path_join(args.base_path, path, name.c_str()) || !out_copy_file(args.sink, path.c_str())) {
    directive_error(args, path.empty() ? name.c_str() : path.c_str(), "cannot open file");
    return 0;
  }
  return 1;
}

int directive_report(const TemplateArgs& args) {
  TemplateInput& in = *args.input;
  std::string name;
  if (!directive_param(in, name, kDirectiveNameArea)) return 0;
  std::string raw;
  input_read_until(in, &raw, kConditionArea, kTagEnd);
  std::string condition = report_condition(raw, args.variables);

  std::string path;
  path_join(args.base_path, path, name.c_str());
  std::FILE* file = nullptr;
  ParamListPtr record;
  if (path.empty() || !datafile_open(path.c_str(), &file, &record, 1)) {
    source_problem(args.check, tag_place(args), SourceSeverity::error,
                   "<%report " + name + "> names the data file " + (path.empty() ? name : path) +
                       ", which cannot be opened or has no header row");
    report_open_failure(args, path.empty() ? name : path);
    return 3;
  }
  plist_rename(record.get(), "", "#");

  // One silent pass finds the section's end, where the template goes on
  // when no record matches.
  long section_start = input_tell(in);
  TemplateArgs silent = nested(args);
  silent.sink = nullptr;
  silent.variables = nullptr;
  silent.record = nullptr;
  silent.unplaced = nullptr;
  silent.fill_fields = 0;
  template_process(silent, kSectionEnd);
  // Without a sink the renderings would write nothing: the pass is enough.
  if (args.sink) render_records(args, file, record.get(), condition, section_start);
  datafile_close(file, std::move(record));
  return 0;
}

int directive_stats(const TemplateArgs& args) {
  TemplateInput& in = *args.input;
  std::string name;
  if (!directive_param(in, name, kDirectiveNameArea)) return 0;
  skip_to_tag_end(args);
  std::string path;
  path_join(args.base_path, path, name.c_str());
  ParamListPtr statistics = path.empty() ? nullptr : read_statistics(path);
  if (!statistics) {
    source_problem(args.check, tag_place(args), SourceSeverity::warning,
                   "<%stats " + name + ">: " + (path.empty() ? name : path) +
                       " has no COUNT or SUM section, so the section is shown with its braces");
  }
  TemplateArgs section = nested(args);
  section.record = statistics.get();
  section.unplaced = nullptr;
  section.fill_fields = 0;
  template_process(section, kSectionEnd);
  return 0;
}

int directive_random(const TemplateArgs& args) {
  TemplateInput& in = *args.input;
  std::string item_marker;
  std::string end_marker;
  if (!directive_param(in, item_marker, kDirectiveMarkerArea)) return 0;
  if (!directive_param(in, end_marker, kDirectiveMarkerArea)) return 0;
  skip_to_tag_end(args);
  std::string item_tag = "<" + item_marker + ">";
  std::string end_tag = "<" + end_marker + ">";
  if (item_tag.size() != end_tag.size()) return 0;

  // Item k starts after the k-th item tag; the text after the last item
  // tag belongs to no item.
  std::vector<long> items;
  long next_start = input_tell(in);
  while (items.size() < kRandomMaxItems &&
         input_copy_until(in, nullptr, item_tag.c_str(), end_tag.c_str()) == 1) {
    items.push_back(next_start);
    next_start = input_tell(in);
  }
  long end_position = input_tell(in);
  if (items.size() > 1) shuffle_items(items, args.variables);

  TemplateArgs item = nested(args);
  for (long start : items) {
    if (!budget_ok(args.budget)) break;
    input_seek(in, start);
    template_process(item, item_marker.c_str());
  }
  input_seek(in, end_position);
  return 0;
}

int directive_fwk_list(const TemplateArgs& args) {
  TemplateInput& in = *args.input;
  std::string word;
  while (directive_word(in, word, kDirectiveNameArea) != -1) {
    if (word == kTagEnd) return 0;
    if (Directive directive = fwk_command(word)) {
      // Every command reads its tag through "%>": the list ends with it.
      return directive(args);
    }
    directive_error(args, word.c_str(), "Unknown command");
  }
  return 0;
}

}  // namespace fwk
