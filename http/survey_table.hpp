// The table of installed surveys: the start page and one entry per survey
// configuration file (a ".ini" file) in the server root.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/limits.hpp"
#include "core/site.hpp"

namespace fwk {

// The table of the server root's surveys: entry 0 is the start page, then
// one entry per "*.ini" file other than "cgi.ini", in name order, at most 15.
// Each entry's title and description come from the file's section
// "database" (keys Title and Description, defaulting to those words); its
// link starts the survey in the forms engine.
SurveyTable build_survey_table(const std::string& root);

// Number of entries in use (the start page included).
int survey_table_count(const SurveyTable& table);

// A survey table kept up to date: built again when the root directory
// changes (a survey file added, removed or renamed) and at least every
// kSurveyRecheckMs (a title edited in place), so that the list follows the
// root within a second. Each thread that lists the surveys keeps its own.
struct SurveyList {
  std::string root;  // the server root, ending in "/"
  bool read = false;
  int64_t root_stamp = 0;   // modification time of the root when read (ns)
  uint32_t read_at_ms = 0;  // tick count when read
  SurveyTable table;
};

constexpr uint32_t kSurveyRecheckMs = 1000;

// Brings the list up to date; true when its table changed (or was read
// for the first time).
bool survey_list_refresh(SurveyList& list);

}  // namespace fwk
