#include "http/survey_table.hpp"

#include <string>
#include <vector>

#include "core/text_convert.hpp"
#include "forms/form_config.hpp"
#include "platform/clock.hpp"
#include "platform/dirsearch.hpp"

namespace fwk {

namespace {

void fill_start_page(SurveyEntry& entry) {
  entry = SurveyEntry{};
  entry.in_use = true;
  entry.title = u"Formwick start page";
}

// The survey's name is the file name cut before its first ".ini" (exact
// case: "SALES.INI" keeps its extension).
void fill_survey(SurveyEntry& entry, const std::string& root, const std::string& file_name) {
  entry = SurveyEntry{};
  entry.in_use = true;
  std::string link = "fwk?database=" + file_name.substr(0, file_name.find(".ini"));
  entry.link = utf8_to_wide(link, kSurveyLinkLimit);

  // A path beyond the limit is not cut to a different name: the survey is
  // then listed like one whose file cannot be read.
  FormConfig form;
  if (root.size() + file_name.size() <= kSurveyPathLimit)
    form = form_config_read_file(root, file_name);
  entry.title = utf8_to_wide(form.title, kSurveyTextLimit);
  entry.description = utf8_to_wide(form.description, kSurveyTextLimit);
}

bool survey_tables_equal(const SurveyTable& a, const SurveyTable& b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].in_use != b[i].in_use || a[i].title != b[i].title ||
        a[i].description != b[i].description || a[i].link != b[i].link)
      return false;
  }
  return true;
}

}  // namespace

SurveyTable build_survey_table(const std::string& root) {
  std::vector<std::string> names = dir_search(root, "*.ini");
  SurveyTable table;
  fill_start_page(table[0]);

  int next = 1;
  for (const std::string& name : names) {
    if (next >= kSurveyTableSize) break;
    if (name == "cgi.ini") continue;  // the server's own settings
    fill_survey(table[next++], root, name);
  }
  return table;
}

bool survey_list_refresh(SurveyList& list) {
  int64_t stamp = 0;
  if (!path_modified_ns(list.root, &stamp)) stamp = -1;
  const uint32_t now = clock_tick_ms();
  if (list.read && stamp == list.root_stamp && now - list.read_at_ms < kSurveyRecheckMs)
    return false;
  SurveyTable table = build_survey_table(list.root);
  const bool changed = !list.read || !survey_tables_equal(table, list.table);
  list.table = std::move(table);
  list.read = true;
  list.root_stamp = stamp;
  list.read_at_ms = now;
  return changed;
}

int survey_table_count(const SurveyTable& table) {
  int count = 0;
  while (count < kSurveyTableSize && table[count].in_use) ++count;
  return count;
}

}  // namespace fwk
